// MIDI files as they come from elsewhere: damaged, oddly shaped, hostile, or not files at all.
// A rewrite either keeps every event that was read or leaves the file byte for byte as it was.
#include "Smf.h"
#include "SmfFiles.h"
#include "TestHome.h"

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The note events as mido reads them, of this many note pairs per channel, in time order.
int CountOn(const QStringList& notes, int channel) {
    int count = 0;
    for (const QString& line : notes) {
        count += line.section(QLatin1Char(' '), 1, 1).toInt() == channel ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(SmfWild, ATrackThatDoesNotFitRefusesTheWholeFile) {
    const Bytes small = Track(Join({{0, 0xFF, 0x01, 3, 'o', 'l', 'd'}, Notes(1, 4), {0}, kEnd}));
    const Bytes large = Track(Join({Notes(2, 200000), {0}, kEnd})); // 1.2 MB
    for (const bool largeFirst : {false, true}) {
        const QString path =
            Write(QStringLiteral("large.mid"), largeFirst ? Join({Header(1, 2), large, small})
                                                          : Join({Header(1, 2), small, large}));
        const Bytes before = Read(path);
        EXPECT_EQ(SmfWriteMemo(path, "new", 3), SMF_RESULT_TOO_LARGE);
        EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_TOO_LARGE);
        EXPECT_EQ(Read(path), before);
        const SmfAccess access;
        EXPECT_EQ(SmfReadTrack(*access, path, 0), !largeFirst);
        EXPECT_FALSE(SmfReadTrack(*access, path, 1));
        EXPECT_EQ(access->lastError, SMF_TOO_LARGE);
    }
    // A track that reads on past its stated length up to the workspace's limit.
    const QString readOn = Write(QStringLiteral("readon.mid"),
                                 Join({Header(1, 2), small, Track(Notes(2, 200000), 10)}));
    const Bytes readOnBefore = Read(readOn);
    EXPECT_EQ(SmfWriteMemo(readOn, "new", 3), SMF_RESULT_TOO_LARGE);
    EXPECT_EQ(SmfFlattenFile(readOn), SMF_RESULT_TOO_LARGE);
    EXPECT_EQ(Read(readOn), readOnBefore);
}

TEST(SmfWild, AFileCutShortIsRefusedWhole) {
    const Bytes file = Join({Header(1, 2), Track(Join({Notes(1, 50), {0}, kEnd})),
                             Track(Join({Notes(2, 50), {0}, kEnd}))});
    const std::size_t firstEnd = 14 + 8 + 50 * 6 + 2 + 4;
    const Bytes cuts[] = {Bytes(file.begin(), file.end() - 50), // inside the last track
                          Bytes(file.begin(), file.begin() + firstEnd + 5)}; // its chunk header
    for (const Bytes& cut : cuts) {
        const QString path = Write(QStringLiteral("cut.mid"), cut);
        EXPECT_EQ(SmfWriteMemo(path, "new", 3), SMF_RESULT_UNREADABLE);
        EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_UNREADABLE);
        EXPECT_EQ(Read(path), cut);
        const SmfAccess access;
        EXPECT_TRUE(SmfReadTrack(*access, path, 0));
        EXPECT_FALSE(SmfReadTrack(*access, path, 1));
        EXPECT_EQ(access->lastError,
                  cut.size() > firstEnd + 8 ? SMF_TRACK_PAST_END : SMF_SHORT_READ);
    }
    // Bytes after all the tracks the header counts are padding, not a track cut short.
    Bytes padded = file;
    padded.insert(padded.end(), 5, 0);
    const QString path = Write(QStringLiteral("padded.mid"), padded);
    EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_OK);
    EXPECT_EQ(MidoNotes(path).size(), 200);
}

TEST(SmfWild, RunningStatusResumesAfterMetaAndSystemExclusive) {
    const Bytes interrupters[] = {
        {0xFF, 0x01, 2, 'h', 'i'}, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}, {0xF0, 3, 0x7E, 0x7F, 0xF7}};
    QStringList expected;
    for (int i = 0; i < 16; ++i) {
        expected
            << QStringLiteral("%1 1 on %2 %3").arg(i * 10).arg(60 + i / 2).arg(i % 2 ? 0 : 100);
    }
    for (const Bytes& interrupter : interrupters) {
        Bytes events{0, 0x90, 60, 100};
        for (int i = 1; i < 16; ++i) {
            events.push_back(0);
            events.insert(events.end(), interrupter.begin(), interrupter.end());
            events.insert(events.end(), {10, static_cast<std::uint8_t>(60 + i / 2),
                                         static_cast<std::uint8_t>(i % 2 ? 0 : 100)});
        }
        const Bytes file =
            Join({Header(1, 2), Track(Join({{0, 0xFF, 0x58, 4, 4, 2, 24, 8, 0}, kEnd})),
                  Track(Join({events, {0}, kEnd}))});
        if (interrupter[0] == 0xFF) {
            // mido resumes running status after meta events, though not after F0.
            EXPECT_EQ(MidoNotes(Write(QStringLiteral("running.mid"), file)), expected);
        }
        const QString flattened = Write(QStringLiteral("running.mid"), file);
        EXPECT_EQ(SmfFlattenFile(flattened), SMF_RESULT_OK);
        EXPECT_EQ(MidoNotes(flattened), expected);
        const QString memo = Write(QStringLiteral("running-memo.mid"), file);
        EXPECT_EQ(SmfWriteMemo(memo, "m", 1), SMF_RESULT_OK);
        EXPECT_EQ(MidoNotes(memo), expected);
    }
}

TEST(SmfWild, AnUnreadableEventIsPlayedUpToItButNeverRewritten) {
    const Bytes breaks[] = {
        {0, 0xF4},                                  // a status byte that cannot stand in a track
        {0, 0x91, 62, 0x90},                        // a status byte where a data byte belongs
        {0x81, 0x80, 0x80, 0x80, 0x00, 0x91},       // a number that does not end in four bytes
        {0, 0x92, 64, 1, 0, 0xFF, 0x01, 0x7F, 'x'}, // a length past the end of the track
    };
    for (const Bytes& broken : breaks) {
        const Bytes file = Join(
            {Header(1, 2), Track(Join({Notes(1, 4), {0}, kEnd})),
             Track(Join({Notes(2, 4), broken, broken.back() == 'x' ? Bytes{} : Notes(3, 4)}))});
        const QString path = Write(QStringLiteral("broken.mid"), file);
        EXPECT_EQ(SmfWriteMemo(path, "new", 3), SMF_RESULT_UNREADABLE);
        EXPECT_EQ(Read(path), file);
        // Playback, on its own copy, plays every track as far as it can be read.
        EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_PARTLY_READ);
        const QStringList notes = MidoNotes(path);
        EXPECT_EQ(CountOn(notes, 1), 8);
        EXPECT_EQ(CountOn(notes, 2), 8);
        EXPECT_EQ(notes.size(), broken.back() == 'x' ? 17 : 16);
    }
}

TEST(SmfWild, ChunksOfOtherTypesAreSkipped) {
    const Bytes junk = Join({{'J', 'u', 'n', 'k'}, Be32(5), {1, 2, 3, 4, 5}});
    const Bytes xfih = Join({{'X', 'F', 'I', 'H'}, Be32(3), {'a', 'b', 'c'}});
    const Bytes first = Track(Join({{0, 0xFF, 0x01, 3, 'o', 'l', 'd'}, Notes(1, 5), {0}, kEnd}));
    const Bytes second = Track(Join({Notes(2, 5), {0}, kEnd}));
    const QStringList expected =
        MidoNotes(Write(QStringLiteral("plain.mid"), Join({Header(1, 2), first, second})));
    ASSERT_EQ(expected.size(), 20);
    const Bytes file = Join({Header(1, 2), junk, first, xfih, second});

    const QString flattened = Write(QStringLiteral("junk.mid"), file);
    EXPECT_EQ(SmfFlattenFile(flattened), SMF_RESULT_OK);
    EXPECT_EQ(MidoNotes(flattened), expected);

    const QString memo = Write(QStringLiteral("junk-memo.mid"), file);
    ASSERT_EQ(SmfWriteMemo(memo, "new", 3), SMF_RESULT_OK);
    EXPECT_EQ(MidoNotes(memo), expected);
    EXPECT_EQ(SmfMemoOf(Image(Read(memo))), QByteArray("new"));
    EXPECT_FALSE(Image(Read(memo)).contains("Junk"));
}

TEST(SmfWild, ManyTinyTracksWithoutEndOfTrack) {
    // Each track stops at its chunk's end; stated as empty, each is read on to the next.
    for (const bool readOn : {false, true}) {
        Bytes file = Header(1, 5000);
        for (int i = 0; i < 5000; ++i) {
            const auto channel = static_cast<std::uint8_t>(i % 16);
            const auto note = static_cast<std::uint8_t>(30 + i % 60);
            const Bytes events{0, static_cast<std::uint8_t>(0x90 | channel), note, 64, 1, note, 0};
            const Bytes track = Track(events, readOn ? 0 : -1);
            file.insert(file.end(), track.begin(), track.end());
        }
        const QString path = Write(QStringLiteral("tiny.mid"), file);
        const QStringList expected = readOn ? QStringList() : MidoNotes(path);
        EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_OK);
        const QStringList notes = MidoNotes(path);
        EXPECT_EQ(notes.size(), 10000);
        if (!readOn) {
            EXPECT_EQ(notes, expected);
        }
    }
}

TEST(SmfWild, OnlyRegularFilesAreRead) {
    const QString fifo = TestHome() + QStringLiteral("/pipe.mid");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = MakeTestFolder(QStringLiteral("folder.mid"));
    auto results = std::async(std::launch::async, [&] {
        std::vector<int> got;
        for (const QString& path : {fifo, folder}) {
            const SmfAccess access;
            got.push_back(SmfReadTrack(*access, path, 0) ? 0 : access->lastError);
            got.push_back(SmfFlattenFile(path));
            got.push_back(SmfWriteMemo(path, "m", 1));
        }
        return got;
    });
    if (results.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "a pipe blocked the reader";
        ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK));
    }
    const std::vector<int> refused{SMF_CANNOT_OPEN, SMF_RESULT_UNREADABLE, SMF_RESULT_UNREADABLE};
    const std::vector<int> got = results.get();
    EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 3), refused);
    EXPECT_EQ(std::vector<int>(got.begin() + 3, got.end()), refused);
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(SmfWild, ARewriteKeepsPermissionsAndLinks) {
    const Bytes file = Join({Header(0, 1), Track(Join({Notes(1, 3), {0}, kEnd}))});
    const auto mode = [](const QString& path) {
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        return info.st_mode & 07777;
    };
    const QString path = Write(QStringLiteral("private.mid"), file);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_EQ(SmfWriteMemo(path, "m", 1), SMF_RESULT_OK);
    EXPECT_EQ(mode(path), 0640u);
    // A read-only file is refused, or, where the caller may write it all the same (the
    // superuser), stays read-only.
    const QString readOnly = Write(QStringLiteral("readonly.mid"), file);
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    const int result = SmfWriteMemo(readOnly, "m", 1);
    EXPECT_EQ(mode(readOnly), 0444u);
    EXPECT_EQ(result == SMF_RESULT_OK ? SmfMemoOf(Image(Read(readOnly))) : Image(Read(readOnly)),
              result == SMF_RESULT_OK ? QByteArray("m") : Image(file));

    const QString link = TestHome() + QStringLiteral("/link.mid");
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_EQ(SmfWriteMemo(link, "linked", 6), SMF_RESULT_OK);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(SmfMemoOf(Image(Read(path))), QByteArray("linked"));
}

TEST(SmfWild, AFileChangingWhileReadNeverHurts) {
    const Bytes file = Join({Header(1, 2), Track(Join({Notes(1, 3000), {0}, kEnd})),
                             Track(Join({Notes(2, 3000), {0}, kEnd}))});
    const QString path = Write(QStringLiteral("changing.mid"), file);
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; i < 300; ++i) {
            // Shortened and grown again in place, as another program might.
            QFile target(path);
            if (target.open(QIODevice::ReadWrite)) {
                target.resize(static_cast<qint64>((i * 7919) % file.size()));
                target.resize(static_cast<qint64>(file.size()));
            }
        }
        done = true;
    });
    for (int reads = 0; !done || reads == 0; ++reads) {
        const SmfAccess access;
        access->Select(0);
        EXPECT_TRUE(SmfReadTrack(*access, path, 1) || access->lastError != SMF_CANNOT_OPEN);
    }
    changer.join();
}

TEST(SmfWild, AMemoWrittenIsTheMemoFound) {
    const auto texts = [](const QString& path) {
        QStringList found;
        for (const QString& line : Mido(path).filter(QStringLiteral(" FF 01 "))) {
            found << line.section(QLatin1Char(' '), 2); // the bytes, without track and delta
        }
        return found;
    };
    // A memo and a composer's line at time 0, and a text with a note later on.
    const Bytes events = Join({{0, 0xFF, 0x01, 3, 'o', 'l', 'd'},
                               {0, 0xFF, 0x01, 2, 'b', 'y'},
                               Notes(1, 2),
                               {0, 0xFF, 0x01, 4, 'l', 'a', 't', 'e'},
                               {0, 0x90, 70, 1, 5, 70, 0},
                               {0},
                               kEnd});
    for (const int format : {0, 1}) {
        const QString path =
            Write(QStringLiteral("texts.mid"), Join({Header(format, 1), Track(events)}));
        EXPECT_EQ(SmfMemoOf(Image(Read(path))), QByteArray("old"));
        ASSERT_EQ(SmfWriteMemo(path, "new", 3), SMF_RESULT_OK);
        EXPECT_EQ(SmfMemoOf(Image(Read(path))), QByteArray("new"));
        EXPECT_EQ(texts(path), (QStringList{QStringLiteral("FF 01 03 6E 65 77"),
                                            QStringLiteral("FF 01 02 62 79"),
                                            QStringLiteral("FF 01 04 6C 61 74 65")}));
    }
    // Without a memo (several tracks), every text stays and the memo comes first.
    const QString several =
        Write(QStringLiteral("several.mid"),
              Join({Header(1, 2), Track(Join({{0, 0xFF, 0x01, 2, 'b', 'y'}, {0}, kEnd})),
                    Track(Join({{0, 0x90, 60, 1, 96, 0xFF, 0x01, 1, 'z', 0, 60, 0}, {0}, kEnd}))}));
    EXPECT_EQ(SmfMemoOf(Image(Read(several))), QByteArray());
    ASSERT_EQ(SmfWriteMemo(several, "new", 3), SMF_RESULT_OK);
    EXPECT_EQ(SmfMemoOf(Image(Read(several))), QByteArray("new"));
    EXPECT_EQ(texts(several),
              (QStringList{QStringLiteral("FF 01 03 6E 65 77"), QStringLiteral("FF 01 02 62 79"),
                           QStringLiteral("FF 01 01 7A")}));
}

TEST(SmfWild, WellFormedFilesAgreeWithAnIndependentReader) {
    // Several tracks and channels, running status, system-exclusive and meta events, deltas
    // of every length.
    std::uint32_t seed = 2024;
    const auto next = [&seed](std::uint32_t limit) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % limit;
    };
    for (int round = 0; round < 6; ++round) {
        const int tracks = 1 + static_cast<int>(next(5));
        Bytes file = Header(round % 2, tracks, 480);
        for (int t = 0; t < tracks; ++t) {
            Bytes events{0, static_cast<std::uint8_t>(0xC0 | t), static_cast<std::uint8_t>(t)};
            std::uint8_t running = 0; // a program change is not resumed by note data
            for (int e = 0; e < 200; ++e) {
                const std::uint32_t delta = next(3) == 0 ? next(20000) : next(4);
                Bytes quantity{static_cast<std::uint8_t>(delta & 0x7F)};
                for (std::uint32_t rest = delta >> 7; rest > 0; rest >>= 7) {
                    quantity.insert(quantity.begin(),
                                    static_cast<std::uint8_t>(0x80 | (rest & 0x7F)));
                }
                events.insert(events.end(), quantity.begin(), quantity.end());
                const auto note = static_cast<std::uint8_t>(next(128));
                const auto velocity = static_cast<std::uint8_t>(next(128));
                switch (next(6)) {
                case 0:
                    events.insert(events.end(), {0xFF, 0x01, 1, 't'});
                    break;
                case 1:
                    events.insert(events.end(), {0xF0, 2, 0x7E, 0xF7});
                    running = 0; // mido reads a data byte after F0 differently
                    break;
                default:
                    if (running == 0 || next(3) == 0) {
                        running = static_cast<std::uint8_t>((next(2) ? 0x90 : 0x80) | t);
                        events.push_back(running);
                    }
                    events.insert(events.end(), {note, velocity});
                    break;
                }
            }
            const Bytes track = Track(Join({events, {0}, kEnd}));
            file.insert(file.end(), track.begin(), track.end());
        }
        const QString flattened = Write(QStringLiteral("wellformed.mid"), file);
        const QStringList expected = MidoNotes(flattened);
        EXPECT_EQ(SmfFlattenFile(flattened), SMF_RESULT_OK);
        EXPECT_EQ(MidoNotes(flattened), expected) << "round " << round;
        const QString memo = Write(QStringLiteral("wellformed-memo.mid"), file);
        EXPECT_EQ(SmfWriteMemo(memo, "m", 1), SMF_RESULT_OK);
        EXPECT_EQ(MidoNotes(memo), expected) << "round " << round;
    }
}
