#pragma once

#include "CFusion.h"
#include "CMessageReceiver.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <deque>

class CWaitDlg;

// The program's presenter: every message of every library reaches the user through it, in
// a CMessageDlg.
//
// ShowMessage on the window thread runs the box modally in a nested event loop, so the
// engine's posted messages keep flowing while it is open. From any other thread the message
// is handed to the window thread: a question (any style but OK alone) waits there for the
// answer; an OK-only message is queued and the caller goes on at once with IDOK (its answer
// carries nothing), so a worker is never held up by a user reading a message. Other threads'
// messages are shown one at a time, in the order they arrived. The engine asks
// its questions on the window thread only, so no worker waits for a user. The hand-over is a
// posted window message (CWinMsg), whose lock makes it visible to ThreadSanitizer.
//
// The presenter lives until the process ends and is never destroyed: libraries may still ask
// for it while the statics of the process go.
class CMessagePresenter : public CMessageReceiver<QObject>, public CFusion {
public:
    // The one presenter, created on first use and registered with CLast::InitFusion (again
    // at every call, so that it is the registered one after a stand-in was removed).
    static CMessagePresenter& Install();

    int ShowMessage(QString text, unsigned int style, QString caption) override;
    // true: the waiting window over owner, running, and owner disabled; false: owner enabled
    // and the waiting window destroyed. A second true while one is shown only keeps it.
    void ShowWaiting(QWidget* owner, bool show) override;

    // Unattended (the program is being ended by a signal, nobody may be at the screen): no
    // box is shown; a message stays in the trace, a question gets no answer (0), which is
    // neither Yes nor No, and whoever asked keeps what it was about.
    void SetUnattended(bool unattended) { m_unattended = unattended; }

    // The waiting window shown now, null when none.
    CWaitDlg* Waiting() const { return m_waiting; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CMessagePresenter() = default;
    ~CMessagePresenter() override = default;
    int ShowHere(const QString& text, unsigned int style, const QString& caption);
    LRESULT OnForeignMessage(WPARAM wParam, LPARAM lParam);
    void ShowForeign(void* message);

    QPointer<CWaitDlg> m_waiting;
    QPointer<QWidget> m_disabledOwner;
    // Other threads' messages waiting for the one open now (window thread only).
    std::deque<WPARAM> m_foreign;
    bool m_showingForeign = false;
    std::atomic<bool> m_unattended{false};
};
