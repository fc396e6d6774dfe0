#pragma once

#include "CIconWndButton.h"
#include "CMessageReceiver.h"

#include <QDialog>

class QPlainTextEdit;

// "メモ": the memo of the MIDI take, written into the take's file when confirmed.
class CMemoDlg : public CMessageReceiver<QDialog> {
public:
    static constexpr unsigned int WM_MEMO_OK = 1086;
    static constexpr unsigned int WM_MEMO_CANCEL = 1087;

    explicit CMemoDlg(QWidget* parent = nullptr);
    ~CMemoDlg() override;

    QPlainTextEdit* Edit() const { return m_edit; }
    CIconWndButton* OkButton() const { return m_ok; }
    CIconWndButton* CancelButton() const { return m_cancel; }

    // Why the take's file cannot keep this memo as it is, or empty when it can.
    static QString Refusal(const QString& memo);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnOK();

    QPlainTextEdit* m_edit = nullptr;
    CIconWndButton* m_ok = nullptr;
    CIconWndButton* m_cancel = nullptr;
};
