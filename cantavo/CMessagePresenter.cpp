#include "CMessagePresenter.h"

#include "CLast.h"
#include "CMessageDlg.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CWaitDlg.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace {

bool OnWindowThread() {
    QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

} // namespace

CMessagePresenter& CMessagePresenter::Install() {
    static CMessagePresenter presenter;
    CLast::InitFusion(&presenter);
    return presenter;
}

int CMessagePresenter::ShowHere(const QString& text, unsigned int style, const QString& caption) {
    CMessageDlg box(nullptr);
    box.SetText(text, style, caption);
    return box.DoModal();
}

int CMessagePresenter::ShowMessage(QString text, unsigned int style, QString caption) {
    const CScorp scope("CMessagePresenter", "ShowMessage", CLast::Trace());
    QCoreApplication* application = QCoreApplication::instance();
    if (OnWindowThread()) {
        return ShowHere(text, style, caption);
    }
    if (application == nullptr) {
        // No window thread to show it: the message must not vanish.
        CLast::Trace() << "ShowMessage without a window thread: " << text << "\n";
        return style == MB_OK ? IDOK : IDNO;
    }
    if (style == MB_OK) {
        QMetaObject::invokeMethod(
            application, [this, text, style, caption] { ShowHere(text, style, caption); },
            Qt::QueuedConnection);
        return IDOK;
    }
    int answer = IDNO;
    QMetaObject::invokeMethod(
        application, [&] { answer = ShowHere(text, style, caption); },
        Qt::BlockingQueuedConnection);
    return answer;
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
    delete m_waiting.data();
    m_waiting = nullptr;
}
