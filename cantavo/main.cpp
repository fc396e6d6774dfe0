#include "CAboutText.h"
#include "CCheckUSBdev.h"
#include "CHeadlessTake.h"
#include "CLast.h"
#include "CManage.h"
#include "CTrace.h"
#include "CVeskToy.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal ends the event loop through a socket pair, the one thing a handler may safely do.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // The virtual ZQ31 with --virtual-piano (or CANTAVO_DEVICES=virtual), else the machine's
    // own devices.
    mmxChooseDevices(argc, argv);
    QCoreApplication application(argc, argv);

    // Working files are made relative to the current directory; they belong in the program
    // folder, never in the folder the user started the program from.
    const QString home = CVeskToy().GenuinePath();
    if (!QDir().mkpath(home) || !QDir::setCurrent(home)) {
        std::fprintf(stderr, "Cantavo: cannot use the program folder %s\n",
                     QFile::encodeName(home).constData());
        return 1;
    }

    const QString about = CAboutText::Text();
    CLast::Trace() << "Application Main Thread."
                   << "\n"
                   << about << "\n\n";
    const QByteArray text = CAboutText::ForTerminal(about).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
    std::printf("Devices: %s\n", mmxBackendName().c_str());

    // The engine: the manager is the shared state and the event receiver; the two takes are
    // the program's, handed to it before it starts.
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

    // Until the main window exists the engine runs until it is asked to end (a signal), or
    // ends at once after starting with --exit-after-start.
    int status = 0;
    if (!HasOption(argc, argv, "--exit-after-start")) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
            QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
            QObject::connect(&notifier, &QSocketNotifier::activated, &application,
                             &QCoreApplication::quit);
            std::signal(SIGINT, OnSignal);
            std::signal(SIGTERM, OnSignal);
            std::signal(SIGHUP, OnSignal);
            status = application.exec();
        }
    }

    // Takes that were not saved stay in the temporary folder; the engine ends either way.
    if (manage.Terminate() != ERR_VESK_OK) {
        std::fprintf(stderr, "Cantavo: an unsaved take is kept in %s\n",
                     QFile::encodeName(CVeskToy().TempPath()).constData());
    }
    manage.SetSeqFile(nullptr);
    manage.SetAudFile(nullptr);
    return std::fflush(stdout) == 0 ? status : 1;
}
