#include "CCliSession.h"

#include "CCheckUSBdev.h"
#include "CFavouriteFile.h"
#include "CLast.h"
#include "CManage.h"
#include "CVeskToy.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineTypes.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal is written into a socket pair, the one thing a handler may safely do; the event
// loop reads it.
int g_signalPipe[2] = {-1, -1};
std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

CCliSession::CCliSession() = default;

CCliSession::~CCliSession() {
    Finish();
}

bool CCliSession::Interrupted() const {
    return g_interrupted;
}

bool CCliSession::Start() {
    // Working files are made relative to the current directory; they belong in the program
    // folder, as the window's do.
    const QString home = CVeskToy().GenuinePath();
    if (!QDir().mkpath(home) || !QDir::setCurrent(home)) {
        std::fprintf(stderr, "cantavo-cli: cannot use the program folder %s\n",
                     QFile::encodeName(home).constData());
        return false;
    }
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        m_signals = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_signals.get(), &QSocketNotifier::activated, [] {
            char bytes[16];
            [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[0], bytes, sizeof bytes);
        });
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGHUP, OnSignal);
    }

    m_manage = std::make_unique<CManage>();
    CLast::InitManage(m_manage.get());
    CLast::InitSysinfo(m_manage.get());
    m_manage->Create(nullptr);
    m_manage->SetStereo(this);
    m_manage->SetSeqFile(&m_midi);
    m_manage->SetAudFile(&m_audio);
    // The piano keeps what it was last given, by the window or the command line; starting
    // the command line must not reset it to the defaults.
    if (CFavouriteFile::Exists(CFavouriteFile::kLastExit)) {
        CFavouriteFile::Load(*m_manage, CFavouriteFile::kLastExit, false);
    }
    m_manage->Initialize();
    m_manage->Refresh();
    CWinMsg::PumpMessages();
    return true;
}

bool CCliSession::WaitForPiano() {
    QElapsedTimer waited;
    waited.start();
    while (CCheckUSBdev::LastStatus() != ZQ31_Connected && waited.elapsed() < 3000 &&
           !Interrupted()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return CCheckUSBdev::LastStatus() == ZQ31_Connected;
}

CCliSession::Ended CCliSession::RunUntil(const std::function<bool()>& done,
                                         std::optional<double> seconds,
                                         const std::function<void()>& progress) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    Ended ended = Ended::Done;
    bool finished = false;
    QTimer check;
    const auto test = [&] {
        if (Interrupted()) {
            ended = Ended::Interrupted;
        } else if (done()) {
            ended = Ended::Done;
        } else if (seconds && clock.elapsed() >= *seconds * 1000.0) {
            ended = Ended::TimeUp;
        } else {
            if (progress) {
                progress();
            }
            return;
        }
        finished = true;
        loop.quit();
    };
    QObject::connect(&check, &QTimer::timeout, test);
    check.start(100);
    if (m_signals) {
        QObject::connect(m_signals.get(), &QSocketNotifier::activated, &loop, test);
    }
    test();
    if (!finished) {
        loop.exec();
    }
    return ended;
}

bool CCliSession::Finish() {
    if (m_finished || m_manage == nullptr) {
        return true;
    }
    m_finished = true;
    CFavouriteFile::Save(*m_manage, CFavouriteFile::kLastExit, false);
    bool kept = false;
    if (m_manage->Terminate() != ERR_VESK_OK) {
        kept = true;
        std::fprintf(stderr, "cantavo-cli: the take that was not saved is kept in %s\n",
                     QFile::encodeName(CVeskToy().TempPath()).constData());
    }
    CWinMsg::PumpMessages();
    WriteVirtualPianoLog();
    m_manage->SetStereo(nullptr);
    m_manage->SetSeqFile(nullptr);
    m_manage->SetAudFile(nullptr);
    CLast::InitManage(nullptr);
    CLast::InitSysinfo(nullptr);
    m_manage.reset();
    return !kept;
}

void CCliSession::WriteVirtualPianoLog() {
    const QByteArray path = qgetenv("CANTAVO_VIRTUAL_LOG");
    const std::shared_ptr<CVirtualPiano> piano = mmxVirtualPiano();
    if (path.isEmpty() || piano == nullptr) {
        return;
    }
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        std::fprintf(stderr, "cantavo-cli: cannot write %s\n", path.constData());
        return;
    }
    for (const CVirtualPiano::ReceivedMidi& message : piano->Received()) {
        QByteArray line;
        for (const std::uint8_t byte : message.bytes) {
            line += QByteArray::number(byte, 16).rightJustified(2, '0').toUpper() + ' ';
        }
        file.write(line.trimmed() + '\n');
    }
}

LRESULT CCliSession::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_AUDLEVEL) {
        unsigned int left = 0;
        unsigned int right = 0;
        CVeskToy::DivideMessage(left, right, static_cast<unsigned int>(wParam));
        m_left = left;
        m_right = right;
    }
    return 0;
}
