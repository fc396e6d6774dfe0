// How far the note display lags behind the virtual ZQ31 in a fast passage, and what it costs:
// a recording runs while a thread plays 20 notes a second (each held for three notes, so
// four sound at once) for the given time; the window thread checks the keyboard and the
// dancing notes each time it has handled its messages, and takes the time from each press
// at the piano to the key drawn pressed and to its note shown. The lag is given for the
// first and the last five seconds too, so a lag that grows shows. Processor time of the
// window thread and of the whole process (the piano, its MIDI input and the recorder too).
//   build/dev/bin/note_display_lag [seconds, default 30] [notes per second, default 20]
#include "CDanceNoteDlg.h"
#include "CHeadlessTake.h"
#include "CIconWndButton.h"
#include "CKeyboardDlg.h"
#include "CLast.h"
#include "CManage.h"
#include "CTrade.h"
#include "CVeskToy.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

// The passage: up and down two octaves of a C major scale, so that a note sounds again only
// long after it was released.
int NoteOf(int i) {
    static const int scale[] = {48, 50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67, 69, 71, 72};
    constexpr int n = sizeof scale / sizeof scale[0];
    const int step = i % (2 * n - 2);
    return scale[step < n ? step : 2 * n - 2 - step];
}

struct Press {
    std::atomic<std::int64_t> at{0}; // nanoseconds since the start; 0 until played
    double keyLag = -1;              // milliseconds, -1 until seen
    double noteLag = -1;
};

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(0.2, std::atof(argv[1])) : 30.0;
    const double rate = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 20.0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    QApplication application(argc, argv);
    const QString home = CVeskToy().GenuinePath();
    if (!QDir().mkpath(home) || !QDir::setCurrent(home)) {
        std::fprintf(stderr, "note_display_lag: cannot use the program folder\n");
        return 1;
    }

    CTrade trade;
    CLast::InitTrade(&trade);
    auto manage = std::make_unique<CManage>();
    CLast::InitManage(manage.get());
    CLast::InitSysinfo(manage.get());
    manage->Create(nullptr);
    CHeadlessTake midi(QStringLiteral(".mid"));
    CHeadlessTake audio(QStringLiteral(".wav"));
    manage->SetSeqFile(&midi);
    manage->SetAudFile(&audio);
    manage->Initialize();
    manage->Refresh();

    {
        QWidget host;
        host.resize(738, 160);
        auto* keyboard = new CKeyboardDlg(&host, QRect(10, 10, 718, 55));
        auto* notes = new CDanceNoteDlg(&host, QPoint(10, 80));
        host.show();
        CVeskToy::PumpMessages();
        if (manage->SeqRec() != ERR_VESK_OK) {
            std::fprintf(stderr, "note_display_lag: the recording does not start\n");
            return 1;
        }

        const int count = static_cast<int>(seconds * rate);
        const auto period = std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 / rate));
        std::vector<Press> presses(static_cast<std::size_t>(count));
        const Clock::time_point start = Clock::now();
        std::atomic<bool> done{false};
        std::thread player([&] {
            for (int i = 0; i <= count + 2; ++i) {
                std::this_thread::sleep_until(start + i * period);
                if (i >= 3) {
                    piano->ReleaseKey(static_cast<std::uint8_t>(NoteOf(i - 3)));
                }
                if (i < count) {
                    presses[static_cast<std::size_t>(i)].at.store(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start)
                            .count());
                    piano->PressKey(static_cast<std::uint8_t>(NoteOf(i)), 100);
                }
            }
            done = true;
        });

        // Presses not yet seen on the keyboard or the staff, oldest first.
        std::size_t firstOpen = 0;
        const auto check = [&] {
            const double now =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            for (std::size_t i = firstOpen; i < presses.size(); ++i) {
                Press& press = presses[i];
                const std::int64_t at = press.at.load();
                if (at == 0) {
                    break;
                }
                const int key = NoteOf(static_cast<int>(i)) - 21;
                if (press.keyLag < 0 && keyboard->Key(key)->Checkd() != 0) {
                    press.keyLag = now - static_cast<double>(at) / 1e6;
                }
                if (press.noteLag < 0 && notes->Note(key)->isVisible()) {
                    press.noteLag = now - static_cast<double>(at) / 1e6;
                }
            }
            // A press the display never showed while its key was held is given up on after
            // its release (three notes later) and counted as missed.
            while (firstOpen < presses.size() && presses[firstOpen].at.load() != 0 &&
                   ((presses[firstOpen].keyLag >= 0 && presses[firstOpen].noteLag >= 0) ||
                    (firstOpen + 3 < presses.size() && presses[firstOpen + 3].at.load() != 0))) {
                ++firstOpen;
            }
        };
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, check);
        QTimer finish;
        QObject::connect(&finish, &QTimer::timeout, [&] {
            if (done) {
                application.quit();
            }
        });
        finish.start(50);
        const double threadCpu0 = ThreadCpu();
        const double processCpu0 = ProcessCpu();
        application.exec();
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const double threadCpu = ThreadCpu() - threadCpu0;
        const double processCpu = ProcessCpu() - processCpu0;
        player.join();
        QObject::disconnect(QAbstractEventDispatcher::instance(), nullptr, nullptr, nullptr);

        std::vector<double> keyLags;
        std::vector<double> noteLags;
        std::vector<double> firstKeys;
        std::vector<double> lastKeys;
        int missed = 0;
        const int window = static_cast<int>(std::min(5.0, seconds / 3) * rate);
        for (int i = 0; i < count; ++i) {
            const Press& press = presses[static_cast<std::size_t>(i)];
            if (press.keyLag < 0 || press.noteLag < 0) {
                ++missed;
                continue;
            }
            keyLags.push_back(press.keyLag);
            noteLags.push_back(press.noteLag);
            if (i < window) {
                firstKeys.push_back(std::max(press.keyLag, press.noteLag));
            } else if (i >= count - window) {
                lastKeys.push_back(std::max(press.keyLag, press.noteLag));
            }
        }
        std::printf("note display at %.0f notes/s for %.0f s: key lag median %.2f ms, key lag "
                    "p99 %.2f ms, key lag max %.2f ms, note lag median %.2f ms, note lag p99 "
                    "%.2f ms, note lag max %.2f ms, lag median first %.1f s %.2f ms, lag median "
                    "last %.1f s %.2f ms, lag max last %.1f s %.2f ms, window thread cpu %.2f %%, "
                    "process cpu %.2f %%, presses missed %d of %d\n",
                    rate, seconds, Percentile(keyLags, 0.5), Percentile(keyLags, 0.99),
                    Percentile(keyLags, 1.0), Percentile(noteLags, 0.5), Percentile(noteLags, 0.99),
                    Percentile(noteLags, 1.0), window / rate, Percentile(firstKeys, 0.5),
                    window / rate, Percentile(lastKeys, 0.5), window / rate,
                    Percentile(lastKeys, 1.0), 100 * threadCpu / elapsed,
                    100 * processCpu / elapsed, missed, count);
        manage->SeqStop();
        if (midi.GetFileFlag() == MODIFIED_DIRTY) {
            midi.DeleteFileA();
        }
    }
    manage->Terminate();
    manage->SetSeqFile(nullptr);
    manage->SetAudFile(nullptr);
    CLast::InitManage(nullptr);
    CLast::InitSysinfo(nullptr);
    manage.reset();
    CLast::InitTrade(nullptr);
    mmxUseSystemDevices();
    return 0;
}
