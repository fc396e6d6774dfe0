#include "Smf.h"
#include "CMemoCodec.h"
#include "QtPrinters.h"
#include "SmfFiles.h"
#include "TestHome.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

Bytes TrackEvents(const Bytes& file) {
    // The events of a one-track file this system wrote: after the 22 bytes of chunk headers.
    return file.size() > 22 ? Bytes(file.begin() + 22, file.end()) : Bytes{};
}

} // namespace

TEST(Smf, VariableLengthQuantitiesAtTheirEdges) {
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    workspace.Select(1);
    workspace.StartAfresh();
    const std::pair<std::int64_t, Bytes> cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x00}},
        {16383, {0xFF, 0x7F}},
        {16384, {0x81, 0x80, 0x00}},
        {268435455, {0xFF, 0xFF, 0xFF, 0x7F}},
        {-5, {0x00}},
    };
    for (const auto& [value, encoded] : cases) {
        const std::int64_t start = workspace.Fill(1);
        workspace.AppendVarLen(value);
        const Bytes written(workspace.Data(1) + start, workspace.Data(1) + workspace.Fill(1));
        EXPECT_EQ(written, encoded) << value;
        std::int64_t position = start;
        EXPECT_EQ(workspace.ReadVarLen(1, position), value < 0 ? 0 : value);
        EXPECT_EQ(position, workspace.Fill(1));
    }
    // A reader takes at most four bytes.
    const std::int64_t start = workspace.Fill(1);
    const Bytes five{0x81, 0x81, 0x81, 0x81, 0x01};
    workspace.Append(five.data(), five.size());
    std::int64_t position = start;
    workspace.ReadVarLen(1, position);
    EXPECT_EQ(position, start + 4);
    // A quantity that runs past the fill is refused, not read on.
    workspace.Append(0x81);
    position = workspace.Fill(1) - 1;
    EXPECT_EQ(workspace.ReadVarLen(1, position), -1);
    EXPECT_EQ(workspace.ReadAt(1, workspace.Fill(1)), -1);
    EXPECT_EQ(workspace.ReadAt(1, -1), -1);
}

TEST(Smf, ReadErrorsSayWhatIsWrong) {
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    workspace.Select(0);
    EXPECT_FALSE(SmfReadTrack(workspace, TestHome() + QStringLiteral("/missing.mid"), 0));
    EXPECT_EQ(workspace.lastError, SMF_CANNOT_OPEN);
    EXPECT_FALSE(SmfReadTrack(workspace, Write(QStringLiteral("short.mid"), {'M', 'T'}), 0));
    EXPECT_EQ(workspace.lastError, SMF_SHORT_READ);
    Bytes text(200, 'x');
    EXPECT_FALSE(SmfReadTrack(workspace, Write(QStringLiteral("text.mid"), text), 0));
    EXPECT_EQ(workspace.lastError, SMF_NOT_MIDI);
    Bytes shortHeader = Join({Header(0, 1), Track(Join({{0, 0x90, 60, 1}, kEnd}))});
    shortHeader[7] = 5;
    EXPECT_FALSE(SmfReadTrack(workspace, Write(QStringLiteral("header.mid"), shortHeader), 0));
    EXPECT_EQ(workspace.lastError, SMF_NOT_MIDI);

    // The second of three tracks claims more than the file holds: the file was cut short.
    const Bytes broken =
        Join({Header(1, 3), Track(Join({{0}, kEnd})), Track(Join({{0}, kEnd}), 5000)});
    const QString path = Write(QStringLiteral("broken.mid"), broken);
    EXPECT_TRUE(SmfReadTrack(workspace, path, 0));
    EXPECT_FALSE(SmfReadTrack(workspace, path, 1));
    EXPECT_EQ(workspace.lastError, SMF_TRACK_PAST_END);
    EXPECT_FALSE(SmfReadTrack(workspace, path, 2));
    EXPECT_EQ(workspace.lastError, SMF_TRACK_PAST_END);
    // A file whose chunks end where it ends has no more tracks than it holds.
    const QString whole = Write(QStringLiteral("whole.mid"),
                                Join({Header(1, 2), Track(Join({{0}, kEnd})), Track(kEnd)}));
    EXPECT_TRUE(SmfReadTrack(workspace, whole, 1));
    EXPECT_FALSE(SmfReadTrack(workspace, whole, 2));
    EXPECT_EQ(workspace.lastError, SMF_NO_SUCH_TRACK);
    EXPECT_FALSE(SmfReadTrack(workspace, whole, -1));
    EXPECT_EQ(workspace.lastError, SMF_NO_SUCH_TRACK);
}

TEST(Smf, ALongerHeaderIsWrittenBackAsSixBytes) {
    Bytes file = Join({Header(1, 2, 480), Track(Notes(1, 2)), Track(Notes(2, 2))});
    file[7] = 8; // two more header bytes, which no reader needs
    file.insert(file.begin() + 14, {0xAB, 0xCD});
    const QString path = Write(QStringLiteral("longheader.mid"), file);
    const QStringList before = MidoNotes(path);
    ASSERT_EQ(SmfFlattenFile(path), SMF_RESULT_OK);
    const Bytes flattened = Read(path);
    EXPECT_EQ(Bytes(flattened.begin(), flattened.begin() + 14), Header(1, 1, 480));
    EXPECT_EQ(MidoNotes(path), before);
    const SmfAccess access;
    ASSERT_TRUE(SmfReadTrack(*access, Write(QStringLiteral("longheader.mid"), file), 1));
    EXPECT_EQ(Bytes(access->Data(access->Current()), access->Data(access->Current()) + 14),
              Header(1, 2, 480));
}

TEST(Smf, APreambleIsReadAndNotWrittenBack) {
    const Bytes song =
        Join({Header(0, 1), Track(Join({{0, 0xC0, 5, 0, 0xB0, 7, 90, 0, 0xB0, 10, 64, 0}, kEnd}))});
    Bytes withPreamble(128, 0xAA);
    withPreamble.insert(withPreamble.end(), song.begin(), song.end());
    const QString path = Write(QStringLiteral("preamble.mid"), withPreamble);
    ASSERT_EQ(SmfFlattenFile(path), SMF_RESULT_OK);
    const Bytes result = Read(path);
    ASSERT_GE(result.size(), 14u);
    EXPECT_EQ(Bytes(result.begin(), result.begin() + 4), (Bytes{'M', 'T', 'h', 'd'}));
    EXPECT_EQ(Mido(path).filter(QStringLiteral("0 0 C0 05")).size(), 1);
}

TEST(Smf, FlatteningMergesTracksAndKeepsFormatAndDivision) {
    const Bytes conductor = Join({{0, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, {0}, kEnd});
    const Bytes piano = Join({{0, 0xC0, 0, 0, 0xB0, 7, 100, 0, 0xB0, 10, 64},
                              {0, 0x90, 60, 100, 48, 62, 100, 48, 0x80, 60, 0, 0, 62, 0},
                              {0},
                              kEnd});
    const Bytes strings = Join({{24, 0x91, 67, 80, 96, 67, 0}, {0}, kEnd});
    const QString path =
        Write(QStringLiteral("three.mid"),
              Join({Header(1, 3, 480), Track(conductor), Track(piano), Track(strings)}));
    ASSERT_EQ(SmfFlattenFile(path), SMF_RESULT_OK);
    const Bytes result = Read(path);
    EXPECT_EQ(Bytes(result.begin(), result.begin() + 14), Header(1, 1, 480));

    QStringList expected{QStringLiteral("format 1 division 480 tracks 1"),
                         QStringLiteral("0 0 FF 51 03 07 A1 20"),
                         QStringLiteral("0 0 C0 00"),
                         QStringLiteral("0 0 B0 07 64"),
                         QStringLiteral("0 0 B0 0A 40"),
                         QStringLiteral("0 0 90 3C 64")};
    // Channel 1 has everything; channel 2 lacks program, volume and pan; so do 3 to 16.
    for (int channel = 1; channel < 16; ++channel) {
        const QString control = QStringLiteral("B%1").arg(channel, 0, 16).toUpper();
        const QString program = QStringLiteral("C%1").arg(channel, 0, 16).toUpper();
        expected << QStringLiteral("0 0 %1 00 00").arg(control)
                 << QStringLiteral("0 0 %1 20 00").arg(control)
                 << QStringLiteral("0 0 %1 00").arg(program)
                 << QStringLiteral("0 0 %1 07 64").arg(control)
                 << QStringLiteral("0 0 %1 0A 40").arg(control);
    }
    expected << QStringLiteral("0 24 91 43 50") << QStringLiteral("0 24 90 3E 64")
             << QStringLiteral("0 48 80 3C 00") << QStringLiteral("0 0 80 3E 00")
             << QStringLiteral("0 24 91 43 00") << QStringLiteral("0 0 FF 2F 00");
    EXPECT_EQ(Mido(path), expected);
}

TEST(Smf, RunningStatusSurvivesTheMerge) {
    // Both tracks use running status on channel 1; merged, a status byte is written only
    // where the status changes.
    const Bytes first = Join({{0, 0x90, 60, 100, 20, 60, 0}, {0}, kEnd});
    const Bytes second = Join({{10, 0x90, 64, 100, 20, 64, 0}, {0}, kEnd});
    const SmfAccess access;
    access->Select(0);
    ASSERT_TRUE(access->Load(Join({Header(0, 1), Track(first)}).data(),
                             Join({Header(0, 1), Track(first)}).size()));
    access->Select(2);
    ASSERT_TRUE(access->Load(Join({Header(0, 1), Track(second)}).data(),
                             Join({Header(0, 1), Track(second)}).size()));
    access->Select(1);
    SmfMergeTracks(*access, 0, 2);
    const Bytes merged(access->Data(1) + 22, access->Data(1) + access->Fill(1));
    EXPECT_EQ(merged,
              (Bytes{0, 0x90, 60, 100, 10, 64, 100, 10, 60, 0, 10, 64, 0, 0, 0xFF, 0x2F, 0x00}));
}

TEST(Smf, ARecordingAtTempo120Writes96TicksPerHalfSecond) {
    // time, length, bytes (3 + length / 4 words each)
    const std::vector<std::uint32_t> events{0,   3, 0x643C90, 500,  3, 0x003C80,
                                            250, 3, 0x643E90, 1000, 3, 0x003E80};
    const QString path = TestHome() + QStringLiteral("/take.mid");
    ASSERT_EQ(SmfWriteRecording(events.data(), events.size(), path, 0.0, 120), SMF_RESULT_OK);
    // The event that went back in time is written at the latest time so far.
    EXPECT_EQ(TrackEvents(Read(path)),
              (Bytes{0,    0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00, 0,    0x90,
                     0x3E, 0x64, 0x60, 0x80, 0x3E, 0x00, 0,    0xFF, 0x2F, 0x00}));
    EXPECT_EQ(Mido(path),
              (QStringList{QStringLiteral("format 0 division 96 tracks 1"),
                           QStringLiteral("0 0 90 3C 64"), QStringLiteral("0 96 80 3C 00"),
                           QStringLiteral("0 0 90 3E 64"), QStringLiteral("0 96 80 3E 00"),
                           QStringLiteral("0 0 FF 2F 00")}));
}

TEST(Smf, ARecordingThatNeverLeftTimeZeroIsRefused) {
    const std::vector<std::uint32_t> events{0, 3, 0x643C90, 0, 3, 0x003C80};
    const QString path = TestHome() + QStringLiteral("/instant.mid");
    EXPECT_EQ(SmfWriteRecording(events.data(), events.size(), path, 0.0, 120),
              SMF_RESULT_NOT_WRITTEN);
    EXPECT_FALSE(QFile::exists(path));
    // A record that claims more bytes than were given ends the events there.
    const std::vector<std::uint32_t> truncated{0, 3, 0x643C90, 500, 400, 0x003C80};
    EXPECT_EQ(SmfWriteRecording(truncated.data(), truncated.size(), path, 0.0, 120),
              SMF_RESULT_NOT_WRITTEN);
}

TEST(Smf, AMemoReplacesTheOldOneAndLeavesLaterTextsAlone) {
    const Bytes events = Join({{0, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                               {0, 0xFF, 0x01, 0x03, 'o', 'l', 'd'},
                               {0, 0x90, 60, 100},
                               {96, 0xFF, 0x01, 0x04, 'l', 'a', 't', 'e'},
                               {0, 0x80, 60, 0},
                               {0},
                               kEnd});
    const QString path = Write(QStringLiteral("memo.mid"), Join({Header(0, 1), Track(events)}));
    const Bytes original = Read(path);
    EXPECT_EQ(SmfMemoOf(QByteArray(reinterpret_cast<const char*>(original.data()),
                                   static_cast<qsizetype>(original.size()))),
              QByteArray("old"));
    ASSERT_EQ(SmfWriteMemo(path, "abc", 3), SMF_RESULT_OK);
    const Bytes result = Read(path);
    EXPECT_EQ(SmfMemoOf(QByteArray(reinterpret_cast<const char*>(result.data()),
                                   static_cast<qsizetype>(result.size()))),
              QByteArray("abc"));
    const QStringList seen = Mido(path);
    EXPECT_TRUE(seen.contains(QStringLiteral("0 0 FF 01 03 61 62 63")));
    EXPECT_TRUE(seen.contains(QStringLiteral("0 96 FF 01 04 6C 61 74 65")));
    EXPECT_FALSE(seen.contains(QStringLiteral("0 0 FF 01 03 6F 6C 64")));
}

TEST(Smf, MemoLookupOnlyAmongTheEventsAtTimeZero) {
    const auto memoOf = [](const Bytes& file) {
        return SmfMemoOf(QByteArray(reinterpret_cast<const char*>(file.data()),
                                    static_cast<qsizetype>(file.size())));
    };
    EXPECT_EQ(memoOf(Join({Header(0, 1),
                           Track(Join({{0, 0x90, 60, 1}, {1, 0xFF, 0x01, 1, 'x'}, {0}, kEnd}))})),
              QByteArray());
    // A file of one track, whatever its format, is read like a format-0 file; a file of
    // several tracks has no memo until it is written as one.
    const Bytes memoTrack = Track(Join({{0, 0xFF, 0x01, 1, 'x'}, {0}, kEnd}));
    EXPECT_EQ(memoOf(Join({Header(1, 1), memoTrack})), QByteArray("x"));
    EXPECT_EQ(memoOf(Join({Header(1, 2), memoTrack, memoTrack})), QByteArray());
    // Running status, a system-exclusive message and a meta event before the memo.
    EXPECT_EQ(
        memoOf(Join({Header(0, 1), Track(Join({{0, 0x90, 60, 1, 0, 62, 1, 0, 0xF0, 2, 0x7E, 0xF7},
                                               {0, 0xFF, 0x58, 4, 4, 2, 24, 8},
                                               {0, 0xFF, 0x01, 2, 'h', 'i'},
                                               {0},
                                               kEnd}))})),
        QByteArray("hi"));
    // A memo written during a recording ends in 00 F0; the lookup stops at the zero.
    EXPECT_EQ(
        memoOf(Join({Header(0, 1),
                     Track(Join({{0, 0xFF, 0x01, 5, 'm', 'e', 'o', 0x00, 0xF0}, {0}, kEnd}))})),
        QByteArray("meo"));
    // A memo that claims more bytes than its track holds is not read.
    EXPECT_EQ(memoOf(Join({Header(0, 1), Track(Bytes{0, 0xFF, 0x01, 0x7F, 'a', 'b'})})),
              QByteArray());
    EXPECT_EQ(memoOf(Bytes{'M', 'T', 'h', 'd'}), QByteArray());
}

TEST(Smf, ALongMemoIsCutToTheLookupBuffer) {
    const std::string text(40000, 'z');
    const QString path = Write(QStringLiteral("long.mid"),
                               Join({Header(0, 1), Track(Join({{0, 0x90, 60, 1}, {96}, kEnd}))}));
    ASSERT_EQ(SmfWriteMemo(path, text.data(), text.size()), SMF_RESULT_OK);
    const Bytes file = Read(path);
    std::vector<char> buffer(kSmfMemoBuffer + 16, 'Q');
    ASSERT_EQ(SmfFindMemo(file.data(), file.size(), buffer.data(), kSmfMemoBuffer), 0);
    EXPECT_EQ(std::string(buffer.data()).size(), kSmfMemoBuffer - 1);
    EXPECT_EQ(buffer[kSmfMemoBuffer], 'Q'); // nothing written past the buffer
}

TEST(Smf, AFileThatCannotBeReadIsNeverChanged) {
    const Bytes garbage(300, 0x4D);
    const QString path = Write(QStringLiteral("garbage.mid"), garbage);
    EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_UNREADABLE);
    EXPECT_EQ(SmfWriteMemo(path, "abc", 3), SMF_RESULT_UNREADABLE);
    EXPECT_EQ(Read(path), garbage);
    EXPECT_EQ(SmfFlattenFile(TestHome() + QStringLiteral("/nothing.mid")), SMF_RESULT_UNREADABLE);
}

TEST(Smf, TracksThatDoNotFitTogetherLeaveTheFileAsItWas) {
    Bytes big;
    for (int i = 0; i < 200000; ++i) {
        big.insert(big.end(), {1, 0x90, 60, 1});
    }
    big.insert(big.end(), {0, 0xFF, 0x2F, 0x00});
    const QString path =
        Write(QStringLiteral("twobig.mid"), Join({Header(1, 2), Track(big), Track(big)}));
    const Bytes before = Read(path);
    EXPECT_EQ(SmfFlattenFile(path), SMF_RESULT_TOO_LARGE);
    EXPECT_EQ(Read(path), before);
}

TEST(MemoCodec, JapaneseTravelsAsShiftJis) {
    const QByteArray bytes = CMemoCodec::ToFile(QStringLiteral("練習曲 A"));
    EXPECT_EQ(bytes, QByteArray("\x97\xFB\x8F\x4B\x8B\xC8\x20\x41"));
    EXPECT_EQ(CMemoCodec::FromFile(bytes), QStringLiteral("練習曲 A"));
    EXPECT_EQ(CMemoCodec::ToFile(QStringLiteral("x😀y")), QByteArray("x?y"));
    EXPECT_EQ(CMemoCodec::FromFile(QByteArray("a\x81")), QStringLiteral("a\uFFFD"));
}

TEST(Smf, MergingAllTracksAtOnceGivesWhatMergingThemOneByOneGives) {
    // Files of many shapes: several tracks, running status, system-exclusive and meta events,
    // stray bytes, track lengths that stop short or run long.
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t limit) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % limit;
    };
    for (int round = 0; round < 60; ++round) {
        const int tracks = 1 + static_cast<int>(next(6));
        Bytes file = Header(1, tracks);
        for (int t = 0; t < tracks; ++t) {
            Bytes events;
            const int count = static_cast<int>(next(40));
            for (int e = 0; e < count; ++e) {
                events.push_back(static_cast<std::uint8_t>(next(4) == 0 ? next(200) : 0));
                switch (next(7)) {
                case 0:
                    events.insert(events.end(), {0xFF, 0x01, 2, 'x', 'y'});
                    break;
                case 1:
                    events.insert(events.end(), {0xF0, 3, 0x7E, 0x01, 0xF7});
                    break;
                case 2:
                    events.insert(events.end(), {static_cast<std::uint8_t>(next(80))}); // stray
                    break;
                case 3:
                    events.insert(events.end(), {static_cast<std::uint8_t>(0x90 | next(16)),
                                                 static_cast<std::uint8_t>(next(128)), 64});
                    break;
                default:
                    events.insert(events.end(), {static_cast<std::uint8_t>(next(128)), 1});
                    break;
                }
            }
            if (next(5) != 0) {
                events.insert(events.end(), {0, 0xFF, 0x2F, 0x00});
            }
            const long declared = next(6) == 0 ? static_cast<long>(events.size() / 2) : -1;
            const Bytes track = Track(events, declared);
            file.insert(file.end(), track.begin(), track.end());
        }
        const QString path = Write(QStringLiteral("shapes.mid"), file);
        int reference = 0;
        const Bytes expected = FlattenTrackByTrack(path, reference);
        const int result = SmfFlattenFile(path);
        EXPECT_EQ(result, reference) << "round " << round;
        if (result == SMF_RESULT_OK || result == SMF_RESULT_PARTLY_READ) {
            EXPECT_EQ(Read(path), expected) << "round " << round;
            if (round % 6 == 0) {
                Mido(path); // whatever went in, what comes out is a file others read
            }
        }
    }
}
