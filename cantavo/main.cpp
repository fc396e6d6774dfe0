#include "CAboutText.h"
#include "CCantavoApp.h"
#include "CCheckUSBdev.h"
#include "CHeadlessTake.h"
#include "CLast.h"
#include "CMainFrame.h"
#include "CManage.h"
#include "CMessagePresenter.h"
#include "CPlayAlong.h"
#include "CTrace.h"
#include "CVeskToy.h"
#include "CWaitDlg.h"
#include "mmsystemx.h"

#include <QApplication>
#include <QDir>
#include <QLibrary>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal ends the program through a socket pair, the one thing a handler may safely do.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// Qt ends the process with an abort when no platform can show a window. Without a display in
// the environment (a console, a remote shell), or with an X display nobody answers at (a stale
// DISPLAY, a lost forwarding), the user is told so instead; empty when the window can be shown
// or the choice is Qt's (a platform other than X named by the user, Wayland).
std::string DisplayProblem(int argc, char** argv) {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // Qt takes its options with one dash or two, -platform before QT_QPA_PLATFORM; an X display
    // named by -display is the one its X platform connects to, whatever DISPLAY says.
    std::string platform;
    const char* named = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* option = std::strncmp(argv[i], "--", 2) == 0 ? argv[i] + 1 : argv[i];
        if (std::strcmp(option, "-platform") == 0 && i + 1 < argc) {
            platform = argv[++i];
        } else if (std::strncmp(option, "-platform=", 10) == 0) {
            platform = option + 10;
        } else if (std::strcmp(option, "-display") == 0 && i + 1 < argc) {
            named = argv[++i];
        }
    }
    if (platform.empty() && set("QT_QPA_PLATFORM")) {
        platform = std::getenv("QT_QPA_PLATFORM");
    }
    // X named outright ("xcb", or with its options "xcb:...") aborts the same way.
    const bool x = platform == "xcb" || platform.rfind("xcb:", 0) == 0;
    if ((!platform.empty() && !x) || (!x && set("WAYLAND_DISPLAY"))) {
        return {};
    }
    if (named == nullptr && !set("DISPLAY")) {
        return x ? "there is no X display to show the window on (DISPLAY is not set)"
                 : "there is no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
                   "not set)";
    }
    // The X connection Qt would make, made once beforehand; without libxcb Qt says its own.
    struct Connection;
    struct Setup;
    using Connect = Connection* (*)(const char*, int*);
    using Check = int (*)(Connection*);
    QLibrary xcb(QStringLiteral("xcb"), 1);
    const auto connect = reinterpret_cast<Connect>(xcb.resolve("xcb_connect"));
    const auto failed = reinterpret_cast<Check>(xcb.resolve("xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<void (*)(Connection*)>(xcb.resolve("xcb_disconnect"));
    const auto setup =
        reinterpret_cast<const Setup* (*)(Connection*)>(xcb.resolve("xcb_get_setup"));
    const auto screens =
        reinterpret_cast<int (*)(const Setup*)>(xcb.resolve("xcb_setup_roots_length"));
    if (connect == nullptr || failed == nullptr || disconnect == nullptr || setup == nullptr ||
        screens == nullptr) {
        return {};
    }
    const std::string display = named != nullptr ? named : std::getenv("DISPLAY");
    int screen = 0;
    Connection* connection = connect(display.c_str(), &screen);
    // A screen the server lacks (":0.3" on a server of one) makes Qt abort; libxcb refuses it
    // (error 6) or, when older, connects all the same.
    constexpr int kInvalidScreen = 6;
    const int error = failed(connection);
    const bool hasScreen =
        error == 0 ? screen >= 0 && screen < screens(setup(connection)) : error != kInvalidScreen;
    disconnect(connection);
    if (!hasScreen) {
        return "the display " + display + " has no such screen";
    }
    return error == 0 ? std::string() : "the display " + display + " cannot be reached";
}

bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0) {
            return true;
        }
    }
    return false;
}

// Calls `end` on the window thread when the process gets SIGINT, SIGTERM or SIGHUP.
void OnTerminationSignals(QObject* context, std::function<void()> end) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, std::move(end));
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
}

void PrintVersions(const QString& about) {
    const QByteArray text = CAboutText::ForTerminal(about).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
    std::printf("Devices: %s\n", mmxBackendName().c_str());
    std::fflush(stdout);
}

// The engine without windows: runs until a signal, or ends at once with --exit-after-start.
int RunHeadless(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString about = CAboutText::Text();
    CLast::Trace() << "Application Main Thread."
                   << "\n"
                   << about << "\n\n";
    PrintVersions(about);
    static CManage manage;
    CLast::InitManage(&manage);
    CLast::InitSysinfo(&manage);
    manage.Create(nullptr);
    static CHeadlessTake midiTake(QStringLiteral(".mid"));
    static CHeadlessTake audioTake(QStringLiteral(".wav"));
    manage.SetSeqFile(&midiTake);
    manage.SetAudFile(&audioTake);
    manage.Initialize();
    manage.Refresh();
    std::printf("ZQ31: %s\n", CCheckUSBdev::StatusName(CCheckUSBdev::LastStatus()));
    std::fflush(stdout);
    int status = 0;
    if (!HasOption(argc, argv, "--exit-after-start")) {
        OnTerminationSignals(&application, [] { QCoreApplication::quit(); });
        status = application.exec();
    }
    if (manage.Terminate() != ERR_VESK_OK) {
        std::fprintf(stderr, "Cantavo: an unsaved take is kept in %s\n",
                     QFile::encodeName(CVeskToy().TempPath()).constData());
    }
    manage.SetSeqFile(nullptr);
    manage.SetAudFile(nullptr);
    return std::fflush(stdout) == 0 ? status : 1;
}

} // namespace

int main(int argc, char** argv) {
    // The virtual ZQ31 with --virtual-piano (or CANTAVO_DEVICES=virtual), else the machine's
    // own devices. The window does not wait for the virtual piano's sound font: nobody can
    // record in the moment it takes to load, and the window shows that much sooner.
    const bool headless = HasOption(argc, argv, "--headless");
    if (const std::string problem = headless ? std::string() : DisplayProblem(argc, argv);
        !problem.empty()) {
        std::fprintf(stderr, "Cantavo: %s; cantavo-cli works without one\n", problem.c_str());
        return 1;
    }
    mmxChooseDevices(argc, argv, headless ? MmxVoice::Now : MmxVoice::InBackground);

    // Working files are made relative to the current directory; they belong in the program
    // folder, never in the folder the user started the program from.
    const QString home = CVeskToy().GenuinePath();
    if (!QDir().mkpath(home) || !QDir::setCurrent(home)) {
        std::fprintf(stderr, "Cantavo: cannot use the program folder %s\n",
                     QFile::encodeName(home).constData());
        return 1;
    }
    if (headless) {
        return RunHeadless(argc, argv);
    }

    QApplication application(argc, argv);
    // Every message from here on reaches the user in the program's message box.
    CMessagePresenter::Install();
    CCantavoApp program;
    const QString about = CAboutText::Text();
    PrintVersions(about);
    switch (program.StartProcess(about)) {
    case CCantavoApp::Start::Run:
        break;
    case CCantavoApp::Start::OtherRaised:
        std::printf("Cantavo already runs; its window was brought forward.\n");
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CCantavoApp::Start::Refused:
        return 1;
    }
    if (!program.InitInstance()) {
        return 1;
    }
    std::printf("ZQ31: %s\n", CCheckUSBdev::StatusName(CCheckUSBdev::LastStatus()));
    std::fflush(stdout);

    CMainFrame* frame = program.MainFrame();
    // Without the instrument, the computer's keyboard plays the virtual ZQ31 (the frame owns it).
    if (const std::shared_ptr<CVirtualPiano> piano = mmxVirtualPiano()) {
        new CPlayAlong(frame, piano);
    }
    // A signal closes the window the orderly way; when that is refused or would wait for a
    // user, the program ends anyway: ending its event loops ends every open box unanswered,
    // and an unsaved take is kept in the temporary folder.
    OnTerminationSignals(frame, [frame] {
        if (!frame->EndBySignal()) {
            // The end that follows asks nobody: an unsaved take is kept.
            CMessagePresenter::Install().SetUnattended(true);
            QCoreApplication::quit();
        }
    });
    if (HasOption(argc, argv, "--exit-after-start")) {
        QTimer::singleShot(0, frame, [frame] {
            if (!frame->close()) {
                QCoreApplication::exit(1);
            }
        });
    }
    const int status = application.exec();
    mmxWaitForVoice();
    if (!frame->HasTerminated() && program.Manage().Terminate() != ERR_VESK_OK) {
        std::fprintf(stderr, "Cantavo: an unsaved take is kept in %s\n",
                     QFile::encodeName(CVeskToy().TempPath()).constData());
    }
    return std::fflush(stdout) == 0 ? status : 1;
}
