// How quickly the engine answers the player, measured at the virtual ZQ31: from SeqPlay to the
// first note it receives, from AudPlay to the first audio it receives, from MetroStartStop to
// the first click; and how long the engine takes to start (Initialize and the first Refresh)
// and how much memory it then holds.
//   build/bench/bin/manage_timing [rounds, default 20]
#include "CFusion.h"
#include "CLast.h"
#include "CManage.h"
#include "CSoundFile.h"
#include "CVeskToy.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CQuietFusion : public CFusion {
public:
    int ShowMessage(QString text, unsigned int, QString) override {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        return IDNO;
    }
    void ShowWaiting(QWidget*, bool) override {}
};

class CTake : public CSoundFile {
public:
    using CSoundFile::CSoundFile;

protected:
    int OnSaveFileDefine(int) override { return 1; }
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename Condition>
bool WaitFor(Condition done) {
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        CWinMsg::PumpMessages();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

QByteArray Le(std::uint32_t v, int bytes) {
    QByteArray out;
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    return out;
}

QString WriteSong() {
    // One note at once, then quarter notes: the first note is due at tick 0.
    QByteArray events;
    for (int i = 0; i < 64; ++i) {
        events += QByteArray::fromHex(i == 0 ? "00903C50" : "30903C50");
        events += QByteArray::fromHex("30803C40");
    }
    events += QByteArray::fromHex("00FF2F00");
    QByteArray file = QByteArray::fromHex("4D546864000000060000000100604D54726B");
    const auto size = static_cast<std::uint32_t>(events.size());
    file += QByteArray(1, static_cast<char>(size >> 24)) +
            QByteArray(1, static_cast<char>(size >> 16)) +
            QByteArray(1, static_cast<char>(size >> 8)) + QByteArray(1, static_cast<char>(size));
    file += events;
    const QString path = CVeskToy().DataFile(QStringLiteral("timing.mid"));
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(file);
    return path;
}

QString WriteWav() {
    const std::uint32_t bytes = 44100 * 4 * 10;
    QByteArray file = "RIFF" + Le(36 + bytes, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(2, 2) +
                      Le(44100, 4) + Le(44100 * 4, 4) + Le(4, 2) + Le(16, 2) + "data" +
                      Le(bytes, 4);
    file += QByteArray(static_cast<qsizetype>(bytes), '\x10');
    const QString path = CVeskToy().DataFile(QStringLiteral("timing.wav"));
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(file);
    return path;
}

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return 0;
}

struct Stats {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Median() {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
    double Max() { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QCoreApplication application(argc, argv);
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    CQuietFusion fusion;
    CLast::InitFusion(&fusion);
    CTake midi(QStringLiteral(".mid"));
    CTake audio(QStringLiteral(".wav"));
    const QString song = WriteSong();
    const QString wav = WriteWav();

    auto* manage = new CManage;
    CLast::InitManage(manage);
    CLast::InitSysinfo(manage);
    manage->SetSeqFile(&midi);
    manage->SetAudFile(&audio);
    const auto started = Clock::now();
    manage->Initialize();
    manage->Refresh();
    const double startup = Ms(Clock::now() - started);
    const double resident = ResidentMiB();

    manage->SetSeqFileName(song);
    manage->SetAudFileName(wav);
    Stats seq, aud, metro;
    for (int i = 0; i < rounds; ++i) {
        piano->ClearReceived();
        const auto t0 = Clock::now();
        if (manage->SeqPlay() != 0) {
            return 1;
        }
        const auto firstNote = [&] {
            for (const auto& r : piano->Received()) {
                if (r.bytes.size() == 3 && r.bytes[0] == 0x90 && r.bytes[2] != 0) {
                    return r.time;
                }
            }
            return Clock::time_point{};
        };
        if (!WaitFor([&] { return firstNote() != Clock::time_point{}; })) {
            return 1;
        }
        seq.Add(Ms(firstNote() - t0));
        manage->SeqStop();
        manage->SeqFirst();

        const std::size_t before = piano->ReceivedAudioBlocks().size();
        const auto t1 = Clock::now();
        if (manage->AudPlay() != 0) {
            return 1;
        }
        if (!WaitFor([&] { return piano->ReceivedAudioBlocks().size() > before; })) {
            return 1;
        }
        // A block is handed over once played: its start is its time less its own length.
        const auto block = piano->ReceivedAudioBlocks()[before];
        const double blockMs = static_cast<double>(block.bytes.size()) * 1000.0 /
                               (block.rate * block.channels * (block.bits / 8));
        aud.Add(Ms(block.time - t1) - blockMs);
        manage->AudStop();
        manage->AudFirst();

        const std::size_t clicks = piano->ReceivedAudioBlocks().size();
        const auto t2 = Clock::now();
        if (manage->MetroStartStop() != 0) {
            return 1;
        }
        if (!WaitFor([&] { return piano->ReceivedAudioBlocks().size() > clicks; })) {
            return 1;
        }
        const auto click = piano->ReceivedAudioBlocks()[clicks];
        const double clickMs = static_cast<double>(click.bytes.size()) * 1000.0 /
                               (click.rate * click.channels * (click.bits / 8));
        metro.Add(Ms(click.time - t2) - clickMs);
        manage->MetroStartStop();
    }
    manage->Terminate();
    std::printf("manage_timing: start-up %.1f ms, SeqPlay to first note median %.2f ms, "
                "SeqPlay to first note max %.2f ms, AudPlay to first sample median %.2f ms, "
                "AudPlay to first sample max %.2f ms, MetroStartStop to first click median "
                "%.2f ms, MetroStartStop to first click max %.2f ms (resident memory after "
                "start-up %.1f MiB, %d rounds)\n",
                startup, seq.Median(), seq.Max(), aud.Median(), aud.Max(), metro.Median(),
                metro.Max(), resident, rounds);
    return 0;
}
