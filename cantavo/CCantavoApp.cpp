#include "CCantavoApp.h"

#include "CAboutDlg.h"
#include "CAboutText.h"
#include "CCantavoView.h"
#include "CFusion.h"
#include "CLast.h"
#include "CMainFrame.h"
#include "CManage.h"
#include "CPrivateAction.h"
#include "CTrace.h"
#include "CTrade.h"
#include "CVeskToy.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <cstdio>

const QString CCantavoApp::kOrganisation = QStringLiteral("Tolvarine");
const QString CCantavoApp::kApplication = QStringLiteral("Cantavo");

namespace {

// The lock the device watch thread holds while it runs.
constexpr unsigned int kWatchLock = 71;

} // namespace

CCantavoApp::CCantavoApp() = default;

CCantavoApp::~CCantavoApp() {
    // Windows first (the view hands back the takes and unregisters its windows), then the
    // engine's manager, then the skin.
    m_frame.reset();
    if (m_manage != nullptr) {
        if (m_manage->IsInitialized()) {
            m_manage->Terminate();
        }
        CLast::InitSysinfo(nullptr);
        CLast::InitManage(nullptr);
        m_manage.reset();
    }
    if (m_trade != nullptr) {
        CLast::InitTrade(nullptr);
        m_trade.reset();
    }
    m_instance.reset();
    const CPrivateAction watchGone(kWatchLock, "CCantavoApp", "~CCantavoApp");
}

CCantavoApp::Start CCantavoApp::StartProcess(const QString& about) {
    CLast::Trace() << "Application Main Thread."
                   << "\n"
                   << about << "\n\n";
    m_trade = std::make_unique<CTrade>();
    CLast::InitTrade(m_trade.get());
    m_manage = std::make_unique<CManage>();
    CLast::InitManage(m_manage.get());
    CLast::InitSysinfo(m_manage.get());

    m_instance = std::make_unique<CSingleInstance>(CVeskToy().GenuinePath());
    switch (m_instance->Acquire()) {
    case CSingleInstance::Claim::First:
        break;
    case CSingleInstance::Claim::RaisedOther:
        return Start::OtherRaised;
    case CSingleInstance::Claim::OtherSilent:
        std::fprintf(stderr, "Cantavo: another Cantavo uses this program folder but does not "
                             "answer; it was left alone\n");
        return Start::Refused;
    case CSingleInstance::Claim::Failed:
        std::fprintf(stderr, "Cantavo: cannot make the lock %s\n",
                     qPrintable(m_instance->LockPath()));
        return Start::Refused;
    }
    m_instance->SetRaiseHandler([this] {
        ++m_raises;
        CLast::Trace() << "Raised by a later start.\n";
        std::printf("Raised by a later start.\n");
        std::fflush(stdout);
        if (m_frame != nullptr) {
            m_frame->BringForward();
        }
    });
    return Start::Run;
}

void CCantavoApp::SetApplicationFont() {
    const QString family = QStringLiteral("IPAPGothic");
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), family);
    if (QFontDatabase::families().contains(family)) {
        QFont font(family);
        font.setPointSize(QApplication::font().pointSize());
        QApplication::setFont(font);
    }
}

bool CCantavoApp::InitInstance() {
    QCoreApplication::setOrganizationName(kOrganisation);
    QCoreApplication::setApplicationName(kApplication);
    SetApplicationFont();
    m_doc.OnNewDocument();
    m_frame = std::make_unique<CMainFrame>();
    m_frame->View()->OnInitialUpdate();
    // Keeps the computer awake while the program runs; without logind it runs without.
    if (!m_inhibitor.Acquire()) {
        CLast::Trace() << "No sleep inhibitor: " << m_inhibitor.Reason() << "\n";
    }
    m_frame->show();
    return true;
}

void CCantavoApp::OnAppAbout(QWidget* owner) {
    CAboutDlg about(owner);
    about.exec();
}
