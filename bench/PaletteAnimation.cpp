// What the animated metronome character costs: the main window's piece with the palette over
// the piano picture and the character on it, the real engine and the virtual ZQ31, the
// metronome at 300 BPM (a new pose every 100 ms). Reports the processor time of the window
// thread and of the whole process, and the poses drawn.
//
//   palette_animation [seconds, default 10]
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (under Xvfb the X
// server's drawing is outside this process).

#include "CLast.h"
#include "MainPiece.h"
#include "WindowRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace {

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    CWindowRig rig;
    CMainPiece piece(*rig.manage);
    piece.view.show();
    rig.manage->SetMetroCharType(MET_CHAR_2, nullptr);
    rig.manage->SetTempo(300, nullptr);
    CWinMsg::PumpMessages();
    if (rig.manage->MetroStartStop().GetCode() != 0) {
        std::fprintf(stderr, "palette_animation: the metronome does not start\n");
        return 1;
    }
    const unsigned int posesBefore = piece.character.PoseChanges();
    const double threadBefore = ThreadCpuMs();
    const double processBefore = ProcessCpuMs();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = static_cast<double>(wall.elapsed());
    const double thread = ThreadCpuMs() - threadBefore;
    const double process = ProcessCpuMs() - processBefore;
    const unsigned int poses = piece.character.PoseChanges() - posesBefore;
    rig.manage->MetroStartStop();
    CWinMsg::PumpMessages();
    std::printf("palette_animation at 300 BPM for %.1f s: window thread CPU %.3f %%, process CPU "
                "%.3f %%, %u poses drawn, %.3f ms window thread per pose\n",
                elapsed / 1000.0, 100.0 * thread / elapsed, 100.0 * process / elapsed, poses,
                poses != 0 ? thread / poses : 0.0);
    return 0;
}
