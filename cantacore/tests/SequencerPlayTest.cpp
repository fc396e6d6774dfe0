#include "CCheckUSBdev.h"
#include "CCtrlPanel.h"
#include "CLast.h"
#include "CPendingInserts.h"
#include "CSeqSong.h"
#include "CSeqTranslator.h"
#include "CSequencerPlay.h"
#include "CSoundFile.h"
#include "CSysinfo.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "SmfFiles.h"
#include "TestHome.h"
#include "kiromidi.h"
#include "mmsystemx.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

Bytes Vlq(std::uint32_t value) {
    Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) {
        out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    }
    return out;
}

Bytes Tempo(std::uint32_t delta, std::uint32_t us) {
    Bytes e = Vlq(delta);
    e.insert(e.end(), {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(us >> 16),
                       static_cast<std::uint8_t>(us >> 8), static_cast<std::uint8_t>(us)});
    return e;
}

Bytes Ev(std::uint32_t delta, Bytes message) {
    Bytes e = Vlq(delta);
    e.insert(e.end(), message.begin(), message.end());
    return e;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// count notes on the channel (1-16), a step apart, each held half a step.
Bytes Melody(int channel, int count, int first, std::uint32_t step, std::uint32_t lead = 0) {
    Bytes e;
    const auto on = static_cast<std::uint8_t>(0x8F + channel);
    const auto off = static_cast<std::uint8_t>(0x7F + channel);
    for (int i = 0; i < count; ++i) {
        const auto note = static_cast<std::uint8_t>(first + i);
        e = Cat({e, Ev(i == 0 ? lead : step / 2, {on, note, 80}), Ev(step / 2, {off, note, 64})});
    }
    return e;
}

Bytes Song(const Bytes& events, int division = 96) {
    return Join({Header(0, 1, division), Track(Cat({events, Ev(0, kEnd)}))});
}

// The messages a piano received: each whole message.
std::vector<Bytes> Messages(const CVirtualPiano& piano) {
    std::vector<Bytes> out;
    for (const auto& r : piano.Received()) {
        out.push_back(r.bytes);
    }
    return out;
}

std::vector<Bytes> NoteOns(const std::vector<Bytes>& messages, int channel) {
    std::vector<Bytes> out;
    for (const Bytes& m : messages) {
        if (m.size() == 3 && m[0] == 0x8F + channel && m[2] != 0) {
            out.push_back(m);
        }
    }
    return out;
}

std::vector<Bytes> AllNotesOffSequence() {
    std::vector<Bytes> out;
    for (std::uint8_t c = 0; c < 16; ++c) {
        out.push_back({static_cast<std::uint8_t>(0xB0 | c), 0x7B, 0});
    }
    for (const Bytes& tail : {Bytes{0x78, 0}, Bytes{0x79, 0}, Bytes{0x07, 100}}) {
        for (std::uint8_t c = 0; c < 16; ++c) {
            out.push_back({static_cast<std::uint8_t>(0xB0 | c), tail[0], tail[1]});
        }
    }
    return out;
}

DWORD StreamTempo() {
    HMIDISTRM stream = kiromidi::StreamIsOpen();
    MIDIPROPTEMPO tempo{sizeof(MIDIPROPTEMPO), 0};
    if (stream == nullptr || kiromidi::StreamProperty(stream, reinterpret_cast<BYTE*>(&tempo),
                                                      MIDIPROP_GET | MIDIPROP_TEMPO) != 0) {
        return 0;
    }
    return tempo.dwTempo;
}

// The engine's receiver with the real control panel and player, a fresh virtual ZQ31 and a
// MIDI take whose status the player's end reports change.
class SequencerPlay : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        sysinfo = std::make_unique<CSysinfo>();
        CLast::InitSysinfo(sysinfo.get());
        sysinfo->SetCtrlPanel(&panel);
        sysinfo->SetStereo(&stereo);
        sysinfo->SetSeqFile(&take);
        player = std::make_unique<CSequencerPlay>();
        sysinfo->SetSequencerPlay(player.get());
        ASSERT_EQ(player->Initialize(), 0);
        piano->ClearReceived();
    }
    void TearDown() override {
        player->Terminate();
        CWinMsg::PumpMessages();
        sysinfo->SetSequencerPlay(nullptr);
        player.reset();
        sysinfo->SetCtrlPanel(nullptr);
        sysinfo->SetSeqFile(nullptr);
        CLast::InitSysinfo(nullptr);
        mmxUseSystemDevices();
    }
    // Plays the file from where the player stands to its end.
    void PlayToEnd() {
        take.SetSoundStatus(SOUND_PLAY);
        ASSERT_EQ(player->Start(), 0);
        ASSERT_TRUE(Eventually([&] { return take.GetSoundStatus() == SOUND_STOP; }));
        player->Stop();
    }

    CRecordingFusion presenter;
    std::shared_ptr<CVirtualPiano> piano;
    CCtrlPanel panel;
    CRecordingWindow stereo;
    CAnsweringTake take{QStringLiteral(".mid")};
    std::unique_ptr<CSysinfo> sysinfo;
    std::unique_ptr<CSequencerPlay> player;
};

// A 120 BPM melody of 8 notes at 300 BPM playback takes 0.8 s.
const Bytes kShortSong = Song(Cat({Tempo(0, 200000), Melody(1, 8, 60, 48)}));

} // namespace

TEST_F(SequencerPlay, TempoOfTheFileTheUserAndTheLimits) {
    // No tempo: 120, published and played.
    player->SetFileName(Write("notempo.mid", Song(Melody(1, 40, 40, 96))));
    EXPECT_EQ(sysinfo->GetTempo(), 120u);
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    EXPECT_EQ(StreamTempo(), 500000u);
    player->Stop();

    // 400 BPM is played at 300.
    player->SetFileName(Write("fast.mid", Song(Cat({Tempo(0, 150000), Melody(1, 40, 40, 96)}))));
    EXPECT_EQ(player->GetFileTempo(), 400u);
    ASSERT_EQ(player->Start(), 0);
    EXPECT_TRUE(Eventually([] { return StreamTempo() == 200000u; }));
    player->Stop();

    // The user's 60 against the file's 120 halves every tempo event, also those that come
    // after the change, and the change is heard while playing.
    player->SetFileName(Write("two.mid", Song(Cat({Tempo(0, 500000), Melody(1, 2, 40, 96),
                                                   Tempo(0, 250000), Melody(1, 400, 50, 96)}))));
    // The file's tempo, published, comes back as the user's tempo first.
    CWinMsg::PumpMessages();
    ASSERT_EQ(player->Start(), 0);
    EXPECT_TRUE(Eventually([] { return StreamTempo() == 500000u; }));
    player->SetTempo(0x40420F); // 1,000,000 us: 60 BPM
    EXPECT_TRUE(Eventually([] { return StreamTempo() == 1000000u; }));
    EXPECT_TRUE(Eventually([] { return StreamTempo() == 500000u; })); // 240 halved
    player->Stop();
}

TEST_F(SequencerPlay, KeyShiftRaisesAllButDrumsAndSilencesAtTheChange) {
    // Channel 1 climbs note by note; channel 10 repeats 36.
    Bytes events = Tempo(0, 200000);
    for (int i = 0; i < 60; ++i) {
        const auto n = static_cast<std::uint8_t>(40 + i);
        events = Cat({events, Ev(i == 0 ? 0 : 12, {0x90, n, 80}), Ev(0, {0x99, 36, 80}),
                      Ev(12, {0x80, n, 0}), Ev(0, {0x89, 36, 0})});
    }
    player->SetFileName(Write("key.mid", Song(events)));
    piano->ClearReceived();
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    ASSERT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 4; }));
    player->SetKey(66);
    ASSERT_TRUE(Eventually([&] { return take.GetSoundStatus() == SOUND_STOP; }));
    player->Stop();

    const std::vector<Bytes> messages = Messages(*piano);
    // The notes-off of the change stand together, before the first raised note.
    std::size_t change = 0;
    for (std::size_t i = 0; i + 16 <= messages.size(); ++i) {
        bool block = true;
        for (std::uint8_t c = 0; c < 16 && block; ++c) {
            block = messages[i + c] == Bytes{static_cast<std::uint8_t>(0xB0 | c), 0x7B, 0};
        }
        if (block) {
            change = i;
            break;
        }
    }
    ASSERT_GT(change, 0u);
    const std::vector<Bytes> before(messages.begin(), messages.begin() + static_cast<long>(change));
    const std::vector<Bytes> after(messages.begin() + static_cast<long>(change), messages.end());
    const auto early = NoteOns(before, 1);
    const auto late = NoteOns(after, 1);
    ASSERT_EQ(early.size() + late.size(), 60u); // none lost, none twice
    for (std::size_t i = 0; i < early.size(); ++i) {
        EXPECT_EQ(early[i][1], 40 + i);
    }
    for (std::size_t i = 0; i < late.size(); ++i) {
        EXPECT_EQ(late[i][1], 40 + early.size() + i + 2);
    }
    for (const Bytes& drum : NoteOns(messages, 10)) {
        EXPECT_EQ(drum[1], 36);
    }
    EXPECT_TRUE(piano->SoundingNotes().empty());
}

TEST_F(SequencerPlay, PanelBrillianceWinsUntilAnotherFileIsChosen) {
    const Bytes song =
        Song(Cat({Tempo(0, 200000), Ev(0, {0xB0, 0x4A, 0x38}), Melody(1, 4, 60, 48)}));
    player->SetFileName(Write("bright.mid", song));
    panel.SetBrilliance(80);
    piano->ClearReceived();
    PlayToEnd();
    for (const Bytes& m : Messages(*piano)) {
        EXPECT_NE(m, (Bytes{0xB0, 0x4A, 0x38}));
    }
    EXPECT_EQ(piano->GetPanel().brilliance, 80);

    player->SetFileName(Write("bright2.mid", song));
    EXPECT_EQ(CCtrlPanel::GetPStatBrilliance(), -1);
    piano->ClearReceived();
    PlayToEnd();
    EXPECT_EQ(piano->GetPanel().brilliance, 0x38);
}

TEST_F(SequencerPlay, StartingInTheMiddleRestoresTheSettingsInOrder) {
    const Bytes reverbOff{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x00, 0xF7};
    const Bytes transpose{0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0x42, 0xF7};
    const Bytes dual{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00, 0x13, 0xF7};
    auto sysex = [](const Bytes& m) {
        Bytes e{0x00, 0xF0, static_cast<std::uint8_t>(m.size() - 1)};
        e.insert(e.end(), m.begin() + 1, m.end());
        return e;
    };
    const Bytes events =
        Cat({Tempo(0, 400000), sysex(dual), sysex(reverbOff), sysex(transpose),
             Ev(0, {0xB1, 0x07, 90}), Ev(0, {0xB1, 101, 0}), Ev(0, {0xB1, 100, 0}),
             Ev(0, {0xB1, 6, 12}), Ev(0, {0xE1, 0x00, 0x50}), Ev(0, {0xC1, 19}),
             Ev(0, {0xB0, 0x4A, 0x48}), Tempo(10, 300000), Melody(1, 20, 60, 96, 2)});
    const QString path = Write("middle.mid", Song(events));
    CSeqSong song;
    ASSERT_EQ(song.Load(path, TestHome() + QStringLiteral("/work.dat")), 0);
    CSeqTranslator translator(song);
    translator.Seek(384, {});
    std::uint8_t data[2048];
    CSeqTranslator::Buffer buffer(data, sizeof data);
    ASSERT_TRUE(translator.WriteChase(buffer, [](DWORD us) { return us; }));

    std::vector<Bytes> chased;
    std::vector<DWORD> deltas, kinds;
    for (std::size_t at = 0; at + 12 <= buffer.Used();) {
        DWORD delta, event;
        std::memcpy(&delta, data + at, 4);
        std::memcpy(&event, data + at + 8, 4);
        deltas.push_back(delta);
        kinds.push_back(event >> 24);
        std::size_t size = 12;
        if (event & MEVT_F_LONG) {
            const std::size_t n = event & 0xFFFFFF;
            chased.emplace_back(data + at + 12, data + at + 12 + n);
            size += (n + 3) & ~std::size_t{3};
        } else if ((event >> 24) == 0) {
            chased.push_back({static_cast<std::uint8_t>(event),
                              static_cast<std::uint8_t>(event >> 8),
                              static_cast<std::uint8_t>(event >> 16)});
        }
        at += size;
    }
    // Transpose, touch, reverb, brilliance, tuning; RPNs; bends; controllers; banks and
    // programs; dual. Flattening added bank, program, volume and pan where the file had none.
    std::vector<Bytes> expected{transpose,      reverbOff,         {0xB0, 0x4A, 0x48},
                                {0xB1, 100, 0}, {0xB1, 101, 0},    {0xB1, 6, 12},
                                {0xB1, 38, 0},  {0xE1, 0x00, 0x50}};
    for (std::uint8_t c = 0; c < 16; ++c) {
        expected.push_back(
            {static_cast<std::uint8_t>(0xB0 | c), 7, static_cast<std::uint8_t>(c == 1 ? 90 : 100)});
        expected.push_back({static_cast<std::uint8_t>(0xB0 | c), 10, 64});
    }
    for (std::uint8_t c = 0; c < 16; ++c) {
        if (c != 1) {
            expected.push_back({static_cast<std::uint8_t>(0xB0 | c), 0, 0});
            expected.push_back({static_cast<std::uint8_t>(0xB0 | c), 32, 0});
        }
        expected.push_back(
            {static_cast<std::uint8_t>(0xC0 | c), static_cast<std::uint8_t>(c == 1 ? 19 : 0), 0});
    }
    expected.push_back(dual);
    for (Bytes& m : expected) {
        if ((m[0] & 0xF0) == 0xC0) {
            m.pop_back();
        }
    }
    for (Bytes& m : chased) {
        if ((m[0] & 0xF0) == 0xC0) {
            m.pop_back();
        }
    }
    EXPECT_EQ(chased, expected);
    // A no-operation first; then the pause of half a quarter note and the last tempo.
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_EQ(kinds.front(), MEVT_NOP);
    EXPECT_EQ(kinds[kinds.size() - 2], MEVT_NOP);
    EXPECT_EQ(deltas[deltas.size() - 2], 48u);
    EXPECT_EQ(kinds.back(), MEVT_TEMPO);

    // The piano hears the same, first, when playback starts there.
    player->SetFileName(path);
    player->Forward();
    EXPECT_EQ(player->GetPosition(), 384);
    piano->ClearReceived();
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    ASSERT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 1; }));
    player->Stop();
    const std::vector<Bytes> heard = Messages(*piano);
    ASSERT_GE(heard.size(), expected.size());
    std::vector<Bytes> first(heard.begin(), heard.begin() + static_cast<long>(expected.size()));
    for (Bytes& m : first) {
        if ((m[0] & 0xF0) == 0xC0 && m.size() == 3) {
            m.pop_back();
        }
    }
    EXPECT_EQ(first, expected);
}

TEST_F(SequencerPlay, KeyShiftNeverMakesAStatusByte) {
    const QString path =
        Write("edge.mid",
              Song(Cat({Ev(0, {0x90, 126, 80}), Ev(0, {0x90, 120, 80}), Ev(10, {0x80, 126, 0}),
                        Ev(0, {0x80, 120, 0}), Ev(0, {0x99, 126, 80}), Ev(10, {0x89, 126, 0})})));
    CSeqSong song;
    ASSERT_EQ(song.Load(path, TestHome() + QStringLiteral("/work.dat")), 0);
    CSeqTranslator translator(song);
    std::vector<DWORD> notes;
    std::uint8_t data[2048];
    while (!translator.Ended()) {
        CSeqTranslator::Buffer buffer(data, sizeof data);
        translator.Fill(buffer, {}, 6, [](DWORD us) { return us; });
        CPendingInserts::ForEach(
            data, buffer.Used(),
            [&](DWORD e) {
                if ((e & 0xE0) == 0x80)
                    notes.push_back(e & 0xFFFF);
            },
            [](const std::uint8_t*, std::size_t) {});
    }
    // 126 + 6 is dropped, on and off; 120 + 6 plays; drums are not shifted.
    EXPECT_EQ(notes, (std::vector<DWORD>{0x7E90, 0x7E80, 0x7E99, 0x7E89}));
}

TEST_F(SequencerPlay, BarsBeatsAndMovingByBars) {
    // 6/8, three bars of eighths.
    const Bytes sixEight =
        Cat({Ev(0, {0xFF, 0x58, 0x04, 6, 3, 24, 8}), Tempo(0, 200000), Melody(1, 18, 50, 48)});
    player->SetFileName(Write("six.mid", Song(sixEight)));
    EXPECT_EQ(player->GetBeatWord(), 0x0306u);
    EXPECT_EQ(player->GetSongLength(), 18 * 48 - 24);
    player->Rewind();
    EXPECT_EQ(player->GetPosition(), 0);
    player->Forward();
    EXPECT_EQ(player->GetPosition(), 288); // 6 beats of 48
    player->Forward();
    EXPECT_EQ(player->GetPosition(), 576);
    player->Forward(); // the last bar: stays
    EXPECT_EQ(player->GetPosition(), 576);
    player->Rewind();
    EXPECT_EQ(player->GetPosition(), 288);
    player->First();
    EXPECT_EQ(player->GetPosition(), 0);

    // During playback the position moves in steps of 12 and never back, then ends at 0 with
    // one notice to the recorder window.
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    std::vector<std::int64_t> seen;
    ASSERT_TRUE(Eventually([&] {
        seen.push_back(player->GetPosition());
        return take.GetSoundStatus() == SOUND_STOP;
    }));
    // Up to the end the position only grows, in steps of 12; at the end it is back at 0.
    while (!seen.empty() && seen.back() == 0) {
        seen.pop_back();
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](std::int64_t p) { return p % 12 == 0; }));
    player->Stop();
    EXPECT_EQ(player->GetPosition(), 0);
    CWinMsg::PumpMessages();
    EXPECT_EQ(stereo.Count(CSysinfo::WM_STOPFROMMIDDLE), 1);
    EXPECT_EQ(sysinfo->GetSeqTimeDisp(), QStringLiteral("001 : 1"));
}

TEST_F(SequencerPlay, StopGivesEveryBufferBackAndSilencesThePiano) {
    player->SetFileName(Write("long.mid", Song(Cat({Tempo(0, 200000), Melody(1, 400, 30, 24)}))));
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    ASSERT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 3; }));
    player->Stop();
    EXPECT_EQ(kiromidi::StreamIsOpen(), nullptr);
    EXPECT_EQ(player->GetState(), CSequencerPlay::kStopped);
    const std::vector<Bytes> messages = Messages(*piano);
    const std::vector<Bytes> tail = AllNotesOffSequence();
    ASSERT_GE(messages.size(), tail.size());
    EXPECT_EQ(std::vector<Bytes>(messages.end() - static_cast<long>(tail.size()), messages.end()),
              tail);
    EXPECT_GT(player->GetPosition(), 0);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    // It plays on from there.
    piano->ClearReceived();
    ASSERT_EQ(player->Start(), 0);
    ASSERT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 1; }));
    EXPECT_GT(NoteOns(Messages(*piano), 1).front()[1], 30);
}

TEST_F(SequencerPlay, NotesAtThePianoAreTheNotesMidoReads) {
    // Three tracks with tempo changes, running status and a system-exclusive message.
    const Bytes conductor = Cat({Tempo(0, 250000), Tempo(96, 200000), Tempo(100, 220000),
                                 Ev(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7})});
    const Bytes melody = Melody(1, 30, 50, 20);
    Bytes chords;
    for (int i = 0; i < 15; ++i) {
        chords = Cat({chords, Ev(i == 0 ? 5 : 17, {0x92, static_cast<std::uint8_t>(40 + i), 70}),
                      Ev(0, {static_cast<std::uint8_t>(47 + i), 71}),
                      Ev(23, {static_cast<std::uint8_t>(40 + i), 0}),
                      Ev(0, {static_cast<std::uint8_t>(47 + i), 0})});
    }
    const QString path = Write(
        "three.mid", Join({Header(1, 3, 120), Track(Cat({conductor, Ev(0, kEnd)})),
                           Track(Cat({melody, Ev(0, kEnd)})), Track(Cat({chords, Ev(0, kEnd)}))}));
    const Bytes original = Read(path);
    player->SetFileName(path);
    PlayToEnd();
    EXPECT_EQ(Read(path), original);

    QStringList heard;
    for (const Bytes& m : Messages(*piano)) {
        const int kind = m[0] & 0xF0;
        if (m.size() == 3 && (kind == 0x80 || kind == 0x90)) {
            heard.push_back(QStringLiteral("%1 %2 %3 %4")
                                .arg((m[0] & 0x0F) + 1)
                                .arg(kind == 0x90 ? "on" : "off")
                                .arg(m[1])
                                .arg(m[2]));
        }
    }
    QStringList expected;
    for (const QString& line : MidoNotes(path)) {
        expected.push_back(line.section(QLatin1Char(' '), 1)); // without the time
    }
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(heard, expected);
}

TEST_F(SequencerPlay, FilesOfManyShapesPlayOrAreRefusedCleanly) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool plays;
    };
    Bytes big;
    for (int t = 0; t < 40; ++t) {
        big = Cat({big, Track(Cat({Notes(t % 16 + 1, 3, 40 + t), Ev(0, kEnd)}))});
    }
    const std::vector<Case> cases{
        {"running.mid", Song(Cat({Tempo(0, 200000), Notes(1, 20)})), true},
        {"sysex.mid",
         Song(Cat({Ev(0, {0xF0, 0x03, 0x43, 0x10, 0xF7}), Ev(0, {0xF7, 0x02, 0xF0, 0xF7}),
                   Ev(0, {0xF7, 0x01, 0xFA}), Notes(1, 4)})),
         true},
        {"many.mid", Join({Header(1, 40, 96), big}), true},
        {"type1.mid",
         Join({Header(1, 2, 96), Track(Cat({Tempo(0, 200000), Ev(0, kEnd)})),
               Track(Cat({Notes(3, 5), Ev(0, kEnd)}))}),
         true},
        {"smpte.mid", Song(Notes(1, 4), 0xE728), false},
        {"zero.mid", Song(Notes(1, 4), 0), false},
        {"format2.mid", Join({Header(2, 1, 96), Track(Cat({Notes(1, 3), Ev(0, kEnd)}))}), false},
        {"garbage.mid", Bytes{'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'}, false},
        {"cut.mid", Bytes(kShortSong.begin(), kShortSong.begin() + 30), false},
        {"empty.mid", Bytes{}, false},
        {"broken.mid", Join({Header(0, 1, 96), Track({0x00, 0x90, 60, 80, 0x10, 0xF4})}), true},
        {"badtempo.mid", Song(Cat({Ev(0, {0xFF, 0x51, 0x02, 0x07, 0xA1}), Notes(1, 2)})), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write(QString::fromLatin1(c.name), c.bytes);
        player->SetFileName(path);
        take.SetSoundStatus(SOUND_PLAY);
        const CVeskError started = player->Start();
        if (c.plays) {
            EXPECT_EQ(started, 0) << started.GetStr().toStdString();
            EXPECT_TRUE(Eventually([&] { return take.GetSoundStatus() == SOUND_STOP; }));
        } else {
            EXPECT_EQ(started.GetCode(), ERR_VESK_FAILED);
            EXPECT_FALSE(started.GetStr().isEmpty());
            EXPECT_FALSE(player->IsPlaying());
            take.SetSoundStatus(SOUND_STOP);
        }
        player->Stop();
        EXPECT_EQ(Read(path), c.bytes);
    }
}

TEST_F(SequencerPlay, PanelMessagesDuringPlaybackTravelInTheStream) {
    player->SetFileName(Write("carry.mid", Song(Cat({Tempo(0, 200000), Melody(1, 200, 30, 24)}))));
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    ASSERT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 2; }));
    std::atomic<bool> done{false};
    std::thread other([&] {
        // Panel changes from a second thread, as the piano's reports and the watch make them.
        for (int i = 0; !done; ++i) {
            panel.SetTouchSense(i % 2 == 0 ? 48 : 80);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < 200; ++i) {
        player->SetTempo(i % 2 == 0 ? 0x20A107 : 0x400D03);
        player->SetKey(62 + i % 5);
        panel.SetReverbOffOn(static_cast<unsigned int>(i % 2));
    }
    panel.SetTuning(0x4041); // one message to find
    done = true;
    other.join();
    const Bytes tuning{0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x40, 0x41, 0xF7};
    EXPECT_TRUE(Eventually([&] {
        const auto messages = Messages(*piano);
        return std::find(messages.begin(), messages.end(), tuning) != messages.end();
    }));
    player->Stop();
    EXPECT_EQ(piano->GetPanel().tuningMsb, 0x41);
    EXPECT_TRUE(piano->SoundingNotes().empty());
}

TEST_F(SequencerPlay, UnpluggingEndsPlaybackAndItWorksAgainAfterwards) {
    auto watch = std::make_unique<CCheckUSBdev>();
    player->SetFileName(Write("unplug.mid", Song(Cat({Tempo(0, 200000), Melody(1, 300, 30, 24)}))));
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    ASSERT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 2; }));
    piano->Unplug();
    ASSERT_TRUE(
        Eventually([&] { return !player->IsPlaying() && take.GetSoundStatus() == SOUND_STOP; }));
    EXPECT_EQ(kiromidi::StreamIsOpen(), nullptr);
    // The watch stops playback before it records the new status; plugging in before that would
    // let the stale "connected" pass, and the watch's own report of the plug then stops the
    // playback this test starts.
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    piano->ClearReceived();
    take.SetSoundStatus(SOUND_PLAY);
    ASSERT_EQ(player->Start(), 0);
    EXPECT_TRUE(Eventually([&] { return NoteOns(Messages(*piano), 1).size() >= 2; }));
    player->Stop();
    watch.reset();
}
