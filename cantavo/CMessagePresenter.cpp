#include "CMessagePresenter.h"

#include "CLast.h"
#include "CMessageDlg.h"
#include "CMessageMap.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CWaitDlg.h"
#include "CWinMsg.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <mutex>
#include <string>

namespace {

// A message asked for on another thread: wParam is its ForeignMessage.
constexpr UINT WM_FOREIGNMESSAGE = WM_USER + 60;

// The texts travel as standard strings, so that nothing of Qt's own reference counting is
// shared between the threads.
struct ForeignMessage {
    std::u16string text;
    std::u16string caption;
    unsigned int style = MB_OK;
    // A question's asker waits for `done`; an OK-only message belongs to the window thread.
    bool question = false;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int answer = IDNO;
};

QThread* WindowThread() {
    QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr ? application->thread() : nullptr;
}

} // namespace

CMessagePresenter& CMessagePresenter::Install() {
    // Never destroyed: see the header.
    static CMessagePresenter* const presenter = [] {
        auto* made = new CMessagePresenter;
        if (QThread* thread = WindowThread(); thread != nullptr && thread != made->thread()) {
            made->moveToThread(thread);
        }
        return made;
    }();
    CLast::InitFusion(presenter);
    return *presenter;
}

int CMessagePresenter::ShowHere(const QString& text, unsigned int style, const QString& caption) {
    CMessageDlg box(nullptr);
    box.SetText(text, style, caption);
    return box.DoModal();
}

int CMessagePresenter::ShowMessage(QString text, unsigned int style, QString caption) {
    const CScorp scope("CMessagePresenter", "ShowMessage", CLast::Trace());
    if (m_unattended) {
        CLast::Trace() << "ShowMessage while nobody is asked: " << text << "\n";
        return style == MB_OK ? IDOK : 0;
    }
    QThread* windowThread = WindowThread();
    if (windowThread == QThread::currentThread()) {
        return ShowHere(text, style, caption);
    }
    if (windowThread == nullptr) {
        // No window thread to show it on: the message at least stays in the trace.
        CLast::Trace() << "ShowMessage without a window thread: " << text << "\n";
        return style == MB_OK ? IDOK : IDNO;
    }
    if (style == MB_OK) {
        auto* message = new ForeignMessage;
        message->text = text.toStdU16String();
        message->caption = caption.toStdU16String();
        message->style = style;
        if (!CWinMsg::PostMessage(this, WM_FOREIGNMESSAGE, reinterpret_cast<WPARAM>(message), 0)) {
            delete message;
            CLast::Trace() << "ShowMessage could not reach the window thread: " << text << "\n";
        }
        return IDOK;
    }
    ForeignMessage question;
    question.text = text.toStdU16String();
    question.caption = caption.toStdU16String();
    question.style = style;
    question.question = true;
    if (!CWinMsg::PostMessage(this, WM_FOREIGNMESSAGE, reinterpret_cast<WPARAM>(&question), 0)) {
        CLast::Trace() << "ShowMessage could not reach the window thread: " << text << "\n";
        return IDNO;
    }
    std::unique_lock<std::mutex> lock(question.lock);
    question.done.wait(lock, [&] { return question.finished; });
    return question.answer;
}

LRESULT CMessagePresenter::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CMessagePresenter> map{
        {WM_FOREIGNMESSAGE, &CMessagePresenter::OnForeignMessage},
    };
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CMessagePresenter::OnForeignMessage(WPARAM wParam, LPARAM) {
    // The messages of other threads wait their turn: one box at a time, however many arrive
    // while it is open (each would otherwise open a box in the loop of the one before).
    m_foreign.push_back(wParam);
    if (m_showingForeign) {
        return 0;
    }
    m_showingForeign = true;
    while (!m_foreign.empty()) {
        auto* message = reinterpret_cast<ForeignMessage*>(m_foreign.front());
        m_foreign.pop_front();
        ShowForeign(message);
    }
    m_showingForeign = false;
    return 0;
}

void CMessagePresenter::ShowForeign(void* foreign) {
    auto* message = static_cast<ForeignMessage*>(foreign);
    const int answer = ShowHere(QString::fromStdU16String(message->text), message->style,
                                QString::fromStdU16String(message->caption));
    if (!message->question) {
        delete message;
        return;
    }
    // The asker owns the question and may end it as soon as it sees `finished`: nothing of it
    // is touched after the notification, which is given under the lock.
    const std::lock_guard<std::mutex> lock(message->lock);
    message->answer = answer;
    message->finished = true;
    message->done.notify_all();
}

void CMessagePresenter::ShowWaiting(QWidget* owner, bool show) {
    const CScorp scope("CMessagePresenter", "ShowWaiting", CLast::Trace());
    if (show) {
        if (m_waiting != nullptr) {
            return;
        }
        m_waiting = new CWaitDlg(owner);
        m_waiting->ResizeDlg();
        m_waiting->show();
        m_waiting->StartAnimation(200);
        if (owner != nullptr) {
            owner->setEnabled(false);
            m_disabledOwner = owner;
            // A window among the owner's children would be disabled with it; the waiting
            // window must still show the messages it is sent.
            m_waiting->setEnabled(true);
        }
        return;
    }
    if (m_disabledOwner != nullptr) {
        m_disabledOwner->setEnabled(true);
        m_disabledOwner = nullptr;
    }
    if (CWaitDlg* waiting = m_waiting.data()) {
        m_waiting = nullptr;
        waiting->Dismiss();
    }
}
