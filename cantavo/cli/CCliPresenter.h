#pragma once

#include "CCliArguments.h"
#include "CFusion.h"

#include <QStringList>

// The engine's messages on the command line: each is printed on stderr in the engine's own
// words; a question is answered by --yes or --no, else asked on the terminal, and refused
// when there is no terminal to ask on. Registers itself for its lifetime.
class CCliPresenter : public CFusion {
public:
    explicit CCliPresenter(CCliArguments::Answer answer);
    ~CCliPresenter() override;
    CCliPresenter(const CCliPresenter&) = delete;
    CCliPresenter& operator=(const CCliPresenter&) = delete;

    int ShowMessage(QString text, unsigned int style, QString caption) override;
    // The command line shows progress of its own.
    void ShowWaiting(QWidget* owner, bool show) override;

    // Every text shown, in order.
    QStringList Shown() const { return m_shown; }

private:
    int Answer(unsigned int style);

    CCliArguments::Answer m_answer;
    QStringList m_shown;
};
