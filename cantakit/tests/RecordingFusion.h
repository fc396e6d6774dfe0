#pragma once

#include "CFusion.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <thread>
#include <vector>

// A presenter for tests: remembers every message and answers questions from a script (No when
// the script is empty). Registers itself for its lifetime.
class CRecordingFusion : public CFusion {
public:
    CRecordingFusion();
    ~CRecordingFusion() override;

    int ShowMessage(QString text, unsigned int style, QString caption) override;
    void ShowWaiting(QWidget* owner, bool show) override;

    void Answer(int answer) { m_answers.push_back(answer); }

    QStringList texts;
    QList<unsigned int> styles;
    QStringList captions;
    std::vector<std::thread::id> threads;
    bool waiting = false;

private:
    std::deque<int> m_answers;
};
