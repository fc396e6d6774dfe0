// Standard MIDI File work at the sizes the album meets, and on the most costly shapes a file
// of 1 MiB can take: they must stay within a few times the cost of an ordinary file.
//   build/ci/bin/smf_bench
#include "Smf.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

namespace {

QByteArray Be32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    bytes[0] = static_cast<char>(value >> 24);
    bytes[1] = static_cast<char>(value >> 16);
    bytes[2] = static_cast<char>(value >> 8);
    bytes[3] = static_cast<char>(value);
    return bytes;
}

// A format-1 file of 16 tracks, one per channel, about 1 MiB in all (just below, so that the
// flattened track still fits the workspace).
QByteArray SixteenTracks() {
    QByteArray file("MThd");
    file += Be32(6);
    file += QByteArray("\x00\x01\x00\x10\x01\xE0", 6);
    for (int channel = 0; channel < 16; ++channel) {
        QByteArray events;
        for (int i = 0; events.size() < 60 * 1024; ++i) {
            const char note = static_cast<char>(36 + (i * 7 + channel) % 60);
            events += QByteArray(1, static_cast<char>(channel + 1)); // delta
            events += static_cast<char>(0x90 | channel);
            events += note;
            events += static_cast<char>(64);
            events += QByteArray(1, static_cast<char>(40));
            events += static_cast<char>(0x80 | channel);
            events += note;
            events += static_cast<char>(0);
        }
        events += QByteArray("\x00\xFF\x2F\x00", 4);
        file += "MTrk";
        file += Be32(static_cast<std::uint32_t>(events.size()));
        file += events;
    }
    return file;
}

QString Path(const char* name) {
    return QDir::tempPath() + QStringLiteral("/cantavo-bench-") + QString::fromLatin1(name);
}

void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

} // namespace

static void FlattenSixteenTracksOfOneMebibyte(benchmark::State& state) {
    const QByteArray original = SixteenTracks();
    const QString path = Path("flatten.mid");
    for (auto _ : state) {
        state.PauseTiming();
        Put(path, original);
        state.ResumeTiming();
        if (SmfFlattenFile(path) != SMF_RESULT_OK) {
            state.SkipWithError("flattening failed");
            break;
        }
    }
    state.SetLabel(QByteArray::number(original.size()).toStdString() + " bytes");
    QFile::remove(path);
}
BENCHMARK(FlattenSixteenTracksOfOneMebibyte)->Unit(benchmark::kMillisecond);

// Many tiny tracks without an end of track, each stated at its length or stated as empty (so
// that each is read on to the next), about 1 MiB in all.
QByteArray TinyTracks(bool readOn) {
    QByteArray file("MThd");
    file += Be32(6);
    file += QByteArray("\x00\x01\xFF\xFF\x00\x60", 6);
    for (int i = 0; file.size() < 1000 * 1024; ++i) {
        QByteArray events(1, '\0');
        events += static_cast<char>(0x90 | (i % 16));
        events += static_cast<char>(30 + i % 60);
        events += QByteArray("\x40\x01", 2);
        events += static_cast<char>(30 + i % 60);
        events += QByteArray(1, '\0');
        file += "MTrk";
        file += Be32(readOn ? 0 : static_cast<std::uint32_t>(events.size()));
        file += events;
    }
    return file;
}

// Sixteen tracks whose notes all fall at the same times, so that the merged track needs a
// status byte for every event and outgrows the workspace.
QByteArray Overflowing() {
    QByteArray file("MThd");
    file += Be32(6);
    file += QByteArray("\x00\x01\x00\x10\x01\xE0", 6);
    for (int channel = 0; channel < 16; ++channel) {
        QByteArray events(1, '\0');
        events += static_cast<char>(0x90 | channel);
        while (events.size() < 62 * 1024) {
            events += QByteArray("\x3C\x40\x01\x3C\x00\x01", 6);
        }
        events += QByteArray("\x3C\x00\x00\xFF\x2F\x00", 6);
        file += "MTrk";
        file += Be32(static_cast<std::uint32_t>(events.size()));
        file += events;
    }
    return file;
}

void Flatten(benchmark::State& state, const QByteArray& original, const char* name, int expected) {
    const QString path = Path(name);
    for (auto _ : state) {
        state.PauseTiming();
        Put(path, original);
        state.ResumeTiming();
        if (SmfFlattenFile(path) != expected) {
            state.SkipWithError("unexpected result");
            break;
        }
    }
    state.SetLabel(QByteArray::number(original.size()).toStdString() + " bytes");
    QFile::remove(path);
}

static void FlattenTinyTracksOfOneMebibyte(benchmark::State& state) {
    Flatten(state, TinyTracks(false), "tiny.mid", SMF_RESULT_OK);
}
BENCHMARK(FlattenTinyTracksOfOneMebibyte)->Unit(benchmark::kMillisecond);

static void FlattenReadOnTracksOfOneMebibyte(benchmark::State& state) {
    Flatten(state, TinyTracks(true), "readon.mid", SMF_RESULT_OK);
}
BENCHMARK(FlattenReadOnTracksOfOneMebibyte)->Unit(benchmark::kMillisecond);

static void FlattenOverflowingOneMebibyte(benchmark::State& state) {
    Flatten(state, Overflowing(), "overflowing.mid", SMF_RESULT_TOO_LARGE);
}
BENCHMARK(FlattenOverflowingOneMebibyte)->Unit(benchmark::kMillisecond);

static void MemoLookupInOneMebibyte(benchmark::State& state) {
    // A one-track file of 1 MiB whose memo follows a run of events at time 0.
    QByteArray events("\x00\xFF\x51\x03\x07\xA1\x20", 7);
    while (events.size() < 1000 * 1024) {
        events += QByteArray("\x00\xB0\x07\x64", 4);
    }
    events += QByteArray("\x00\xFF\x01\x05memo!", 9);
    events += QByteArray("\x00\xFF\x2F\x00", 4);
    QByteArray file("MThd");
    file += Be32(6);
    file += QByteArray("\x00\x00\x00\x01\x00\x60", 6);
    file += "MTrk";
    file += Be32(static_cast<std::uint32_t>(events.size()));
    file += events;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SmfMemoOf(file));
    }
}
BENCHMARK(MemoLookupInOneMebibyte)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
