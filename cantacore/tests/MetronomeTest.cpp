#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CMetronome.h"
#include "CVeskToy.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "mmsystemx.h"

#include <QByteArray>
#include <QtEndian>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Sound = CMetronome::ESound;

// A clock the test moves by hand. The metronome's thread waits on it until the test sets the
// time; the test sees which moment the thread waits for.
class CHandClock : public CMetronomeClock {
public:
    explicit CHandClock(double start) : m_now(start) {}

    double Now() override { return m_now; }

    bool WaitUntil(double target, const std::atomic<int>& running) override {
        std::unique_lock<std::mutex> lock(m_lock);
        m_targets.push_back(target);
        m_waiting = true;
        m_seen.notify_all();
        m_wake.wait(lock, [&] { return m_now >= target || running != 1; });
        m_waiting = false;
        return m_now >= target;
    }

    void Set(double now) {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_now = now;
        }
        m_wake.notify_all();
    }

    // Whether the thread comes to wait for target within 10 s.
    bool WaitsFor(double target) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_seen.wait_for(lock, std::chrono::seconds(10), [&] {
            return m_waiting && !m_targets.empty() && m_targets.back() == target;
        });
    }

    std::vector<double> Targets() {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_targets;
    }

private:
    std::atomic<double> m_now;
    std::vector<double> m_targets;
    bool m_waiting = false;
    std::condition_variable m_seen;
};

// The samples of one of the library's sounds.
QByteArray SamplesOf(const char* name) {
    const QByteArray image =
        CVeskToy().GetWaveResource(QString::fromLatin1(name), QStringLiteral("cantacore"));
    return image.size() > 44 ? image.mid(44) : QByteArray();
}

// What the piano heard, sound by sound: which sound began, and how many of its bytes arrived
// before the next one began. Every block must continue the sound being heard, bit for bit, or
// begin one of the two sounds; anything else makes the hearing fail.
struct Heard {
    Sound sound;
    qsizetype bytes;
};

struct Hearing {
    std::vector<Heard> sounds;
    bool clean = true;
};

Hearing Hear(const std::vector<CVirtualPiano::ReceivedAudio>& blocks) {
    static const QByteArray click = SamplesOf("CLICK");
    static const QByteArray ding = SamplesOf("DING");
    const auto samples = [&](Sound sound) -> const QByteArray& {
        return sound == Sound::Ding ? ding : click;
    };
    const auto matches = [](const QByteArray& sound, qsizetype at,
                            const std::vector<std::uint8_t>& block) {
        return at + static_cast<qsizetype>(block.size()) <= sound.size() &&
               std::memcmp(sound.constData() + at, block.data(), block.size()) == 0;
    };
    Hearing hearing;
    for (const auto& block : blocks) {
        if (block.channels != 2 || block.rate != 44100 || block.bits != 16) {
            hearing.clean = false;
            break;
        }
        if (!hearing.sounds.empty()) {
            Heard& current = hearing.sounds.back();
            if (matches(samples(current.sound), current.bytes, block.bytes)) {
                current.bytes += static_cast<qsizetype>(block.bytes.size());
                continue;
            }
        }
        bool began = false;
        for (const Sound sound : {Sound::Ding, Sound::Click}) {
            if (matches(samples(sound), 0, block.bytes)) {
                hearing.sounds.push_back({sound, static_cast<qsizetype>(block.bytes.size())});
                began = true;
                break;
            }
        }
        if (!began) {
            hearing.clean = false;
            break;
        }
    }
    return hearing;
}

qsizetype FullLength(Sound sound) {
    return sound == Sound::Ding ? 88184 : 20192;
}

class MetronomeTest : public testing::Test {
protected:
    static constexpr double kStart = 10000.0;

    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        CLast::InitSysinfo(&sysinfo);
    }
    void TearDown() override {
        CLast::InitSysinfo(nullptr);
        mmxUseSystemDevices();
    }

    Hearing Heard() const { return Hear(piano->ReceivedAudioBlocks()); }

    // Runs the metronome on the hand clock from count 0 for counts counts. Each count is let
    // go only when the one before has been sounded: a sound is released once it has begun at
    // the piano; a silent count once the sound before it was heard going on (a click to its
    // end). Gives the sounds expected, in order, and notes which of them were still sounding
    // when the next one was let go.
    std::vector<Sound> Drive(CMetronome& metronome, CHandClock& clock, E_BEAT beat,
                             unsigned int counts, std::vector<bool>& cutShort) {
        const double interval = 30000.0 / metronome.GetTempo();
        std::vector<Sound> expected;
        EXPECT_EQ(metronome.Start(), ERR_VESK_OK);
        for (unsigned int k = 0; k < counts; ++k) {
            const double next = kStart + (k + 1) * interval;
            EXPECT_TRUE(clock.WaitsFor(next)) << "count " << k;
            const unsigned int count = k % CMetronome::CycleLength(beat);
            EXPECT_EQ(metronome.GetMetroBeatCount(), count);
            const Sound sound = CMetronome::SoundAt(beat, count);
            if (sound != Sound::None) {
                expected.push_back(sound);
                EXPECT_TRUE(Eventually([&] { return Heard().sounds.size() == expected.size(); }))
                    << "count " << k;
            } else if (!expected.empty()) {
                const qsizetype before = Heard().sounds.back().bytes;
                EXPECT_TRUE(Eventually([&] {
                    const Hearing now = Heard();
                    const struct Heard& last = now.sounds.back();
                    return last.bytes == FullLength(last.sound) ||
                           (last.sound == Sound::Ding && last.bytes > before);
                })) << "count "
                    << k;
            }
            if (!expected.empty()) {
                const Hearing now = Heard();
                cutShort.resize(now.sounds.size());
                cutShort.back() = now.sounds.back().bytes < FullLength(now.sounds.back().sound);
            }
            if (k + 1 < counts) {
                clock.Set(next);
            }
        }
        // Stopped while waiting for the next count: it counts as reached, nothing sounds.
        EXPECT_EQ(metronome.Stop(), ERR_VESK_OK);
        return expected;
    }

    CRecordingFusion presenter;
    CTestSysinfo sysinfo;
    std::shared_ptr<CVirtualPiano> piano;
};

} // namespace

TEST(MetronomeSounds, AreStereoPcmOfTheirLengthsWithinFullScaleAndStartAndEndSilent) {
    for (const auto& [name, bytes] : {std::pair{"CLICK", 20192}, std::pair{"DING", 88184}}) {
        SCOPED_TRACE(name);
        const QByteArray image =
            CVeskToy().GetWaveResource(QString::fromLatin1(name), QStringLiteral("cantacore"));
        ASSERT_EQ(image.size(), 44 + bytes);
        const auto le32 = [&](int at) {
            std::uint32_t v = 0;
            std::memcpy(&v, image.constData() + at, 4);
            return v;
        };
        const auto le16 = [&](int at) {
            std::uint16_t v = 0;
            std::memcpy(&v, image.constData() + at, 2);
            return v;
        };
        EXPECT_EQ(image.left(4), "RIFF");
        EXPECT_EQ(le32(4), static_cast<std::uint32_t>(36 + bytes));
        EXPECT_EQ(image.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(le32(16), 16u);
        EXPECT_EQ(le16(20), 1);      // PCM
        EXPECT_EQ(le16(22), 2);      // channels
        EXPECT_EQ(le32(24), 44100u); // frames per second
        EXPECT_EQ(le32(28), 176400u);
        EXPECT_EQ(le16(32), 4);
        EXPECT_EQ(le16(34), 16);
        EXPECT_EQ(image.mid(36, 4), "data");
        EXPECT_EQ(le32(40), static_cast<std::uint32_t>(bytes));

        std::vector<std::int16_t> samples;
        for (qsizetype at = 44; at + 1 < image.size(); at += 2) {
            samples.push_back(qFromLittleEndian<qint16>(image.constData() + at));
        }
        int peak = 0;
        for (std::size_t i = 0; i < samples.size(); i += 2) {
            EXPECT_EQ(samples[i], samples[i + 1]) << "frame " << i / 2;
            peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        }
        // Loud enough to be heard over the piano, with headroom left.
        EXPECT_GT(peak, 16384);
        EXPECT_LT(peak, 29000);
        // No step at either end: the first and last frames are silent, their neighbours
        // close to it.
        EXPECT_EQ(samples.front(), 0);
        EXPECT_EQ(samples.back(), 0);
        EXPECT_LT(std::abs(samples[2]), 1000);
        EXPECT_LT(std::abs(samples[samples.size() - 4]), 100);
    }
}

TEST(MetronomePattern, EachTimeSignatureAccentsTheFirstCountOfEachBar) {
    const auto pattern = [](E_BEAT beat) {
        std::string marks;
        for (unsigned int count = 0; count < CMetronome::CycleLength(beat); ++count) {
            const Sound sound = CMetronome::SoundAt(beat, count);
            marks += sound == Sound::Ding ? 'D' : sound == Sound::Click ? 'c' : '.';
        }
        return marks;
    };
    EXPECT_EQ(pattern(BEAT_NONE), "c.c.c.c.c.c.c.c.");
    EXPECT_EQ(pattern(BEAT_2_4), "D.c.D.c.");
    EXPECT_EQ(pattern(BEAT_3_4), "D.c.c.D.c.c.");
    EXPECT_EQ(pattern(BEAT_4_4), "D.c.c.c.D.c.c.c.");
    EXPECT_EQ(pattern(BEAT_5_4), "D.c.c.c.c.D.c.c.c.c.");
    EXPECT_EQ(pattern(BEAT_6_8), "DcccccDccccc");
    // Past the cycle, and outside the six time signatures, nothing sounds and counting
    // starts again.
    EXPECT_EQ(CMetronome::SoundAt(BEAT_4_4, 16), Sound::None);
    EXPECT_EQ(CMetronome::SoundAt(static_cast<E_BEAT>(7), 0), Sound::None);
    EXPECT_EQ(CMetronome::NextCount(BEAT_4_4, 14), 15u);
    EXPECT_EQ(CMetronome::NextCount(BEAT_4_4, 15), 0u);
    EXPECT_EQ(CMetronome::NextCount(BEAT_5_4, 19), 0u);
    EXPECT_EQ(CMetronome::NextCount(static_cast<E_BEAT>(-1), 3), 0u);
}

TEST(MetronomeSettings, TempoAndTimeSignatureStayInRange) {
    CMetronome metronome;
    EXPECT_EQ(metronome.GetTempo(), 120u);
    EXPECT_EQ(metronome.GetBeat(), BEAT_4_4);
    metronome.SetTempo(20);
    EXPECT_EQ(metronome.GetTempo(), 40u);
    metronome.SetTempo(500);
    EXPECT_EQ(metronome.GetTempo(), 300u);
    metronome.SetTempo(41);
    EXPECT_EQ(metronome.GetTempo(), 41u);
    metronome.SetBeat(BEAT_6_8);
    EXPECT_EQ(metronome.GetBeat(), BEAT_6_8);
    metronome.SetBeat(static_cast<E_BEAT>(6));
    EXPECT_EQ(metronome.GetBeat(), BEAT_4_4);
    metronome.SetBeat(BEAT_2_4);
    metronome.SetBeat(static_cast<E_BEAT>(-1));
    EXPECT_EQ(metronome.GetBeat(), BEAT_4_4);
    EXPECT_EQ(metronome.IsStop(), 1);
}

TEST_F(MetronomeTest, FourFourAtTempo120TicksEvery250MsWithTheResourcesSamples) {
    CHandClock clock(kStart);
    CMetronome metronome(clock);
    metronome.Initialize();
    std::vector<bool> cutShort;
    const std::vector<Sound> expected = Drive(metronome, clock, BEAT_4_4, 18, cutShort);

    // A count every 250 ms of the ideal schedule, from the start on.
    const std::vector<double> targets = clock.Targets();
    ASSERT_EQ(targets.size(), 18u);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i], kStart + 250.0 * static_cast<double>(i + 1));
    }
    // DING at 0 and 8, CLICK at 2, 4, 6, 10, 12, 14, and again from 0 (count 16 and 17).
    EXPECT_EQ(expected, (std::vector<Sound>{Sound::Ding, Sound::Click, Sound::Click, Sound::Click,
                                            Sound::Ding, Sound::Click, Sound::Click, Sound::Click,
                                            Sound::Ding}));
    const Hearing heard = Heard();
    ASSERT_TRUE(heard.clean) << "the piano received bytes that are not the sounds' own";
    ASSERT_EQ(heard.sounds.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(heard.sounds[i].sound, expected[i]) << "sound " << i;
        if (expected[i] == Sound::Click) {
            // Each click had time to be heard whole before the next sound.
            EXPECT_EQ(heard.sounds[i].bytes, 20192) << "sound " << i;
        } else if (i + 1 < expected.size() && cutShort[i]) {
            // A DING still sounding when the next count came was cut off by it.
            EXPECT_LT(heard.sounds[i].bytes, 88184) << "sound " << i;
        }
    }
    // The last DING rang out after the stop.
    EXPECT_EQ(heard.sounds.back().bytes, 88184);

    // Every count reached the metronome character, in order.
    CWinMsg::PumpMessages();
    std::vector<WPARAM> poses;
    for (const auto& message : sysinfo.metronomeIcon.received) {
        poses.push_back(message.wParam);
    }
    ASSERT_EQ(poses.size(), 18u);
    for (unsigned int k = 0; k < 18; ++k) {
        EXPECT_EQ(poses[k], 0x50000u | static_cast<WPARAM>(
                                           CDataInfo::MetroPose(MET_CHAR_1, BEAT_4_4, k % 16)))
            << "count " << k;
    }
}

TEST_F(MetronomeTest, EveryOtherTimeSignatureSoundsItsPattern) {
    for (const E_BEAT beat : {BEAT_NONE, BEAT_2_4, BEAT_3_4, BEAT_5_4, BEAT_6_8}) {
        SCOPED_TRACE(beat);
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        sysinfo.SetBeat(beat, nullptr);
        CHandClock clock(kStart);
        CMetronome metronome(clock);
        metronome.Initialize();
        metronome.SetBeat(beat);
        std::vector<bool> cutShort;
        const unsigned int cycle = CMetronome::CycleLength(beat);
        const std::vector<Sound> expected = Drive(metronome, clock, beat, cycle, cutShort);
        const Hearing heard = Heard();
        ASSERT_TRUE(heard.clean);
        ASSERT_EQ(heard.sounds.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(heard.sounds[i].sound, expected[i]) << "sound " << i;
        }
        EXPECT_EQ(metronome.GetMetroBeatCount(), 0u) << "the cycle came round";
    }
}

TEST_F(MetronomeTest, ANewTempoCountsFromTheNextInterval) {
    CHandClock clock(kStart);
    CMetronome metronome(clock);
    metronome.Initialize();
    ASSERT_EQ(metronome.Start(), ERR_VESK_OK);
    ASSERT_TRUE(clock.WaitsFor(kStart + 250));
    // The interval being waited out keeps its length; the next one has the new tempo's.
    metronome.SetTempo(300);
    clock.Set(kStart + 250);
    EXPECT_TRUE(clock.WaitsFor(kStart + 350));
    metronome.SetTempo(40);
    clock.Set(kStart + 350);
    EXPECT_TRUE(clock.WaitsFor(kStart + 350 + 750));
    EXPECT_EQ(metronome.Stop(), ERR_VESK_OK);
}

TEST_F(MetronomeTest, AStallOfMoreThanTwoSecondsIsFollowedByTheMissedCountsAtOnce) {
    CHandClock clock(kStart);
    CMetronome metronome(clock);
    metronome.Initialize();
    ASSERT_EQ(metronome.Start(), ERR_VESK_OK);
    ASSERT_TRUE(clock.WaitsFor(kStart + 250));
    // Held up for 5.1 s instead of 250 ms: every count up to now fires without waiting, the
    // schedule stays the ideal one.
    clock.Set(kStart + 5100);
    ASSERT_TRUE(clock.WaitsFor(kStart + 5250));
    const std::vector<double> targets = clock.Targets();
    ASSERT_EQ(targets.size(), 21u);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i], kStart + 250.0 * static_cast<double>(i + 1));
    }
    // Counts 0..20 were sounded and posted: 21 of them.
    EXPECT_EQ(metronome.GetMetroBeatCount(), 20u % 16u);
    CWinMsg::PumpMessages();
    EXPECT_EQ(sysinfo.metronomeIcon.Count(WM_DATACHANGE), 21);
    EXPECT_EQ(metronome.Stop(), ERR_VESK_OK);
    EXPECT_TRUE(Heard().clean);
}

TEST_F(MetronomeTest, SecondStartStopAndResetWhileRunningChangeNothing) {
    CHandClock clock(kStart);
    CMetronome metronome(clock);
    metronome.Initialize();
    const QString deviceMessage = QStringLiteral(
        "オーディオデバイスを使用することができません。\r\nZQ31本体と正しく接続されているかを確"
        "認してください。");

    const CVeskError started = metronome.Start();
    EXPECT_EQ(started, ERR_VESK_OK);
    EXPECT_TRUE(started.GetStr().isEmpty());
    EXPECT_EQ(metronome.IsStop(), 0);
    ASSERT_TRUE(clock.WaitsFor(kStart + 250));
    clock.Set(kStart + 250);
    ASSERT_TRUE(clock.WaitsFor(kStart + 500));

    const CVeskError again = metronome.Start();
    EXPECT_EQ(again, ERR_VESK_FAILED);
    EXPECT_EQ(again.GetStr(), deviceMessage);
    const CVeskError reset = metronome.Reset();
    EXPECT_EQ(reset, ERR_VESK_OK);
    EXPECT_EQ(reset.GetStr(), QStringLiteral("予期せぬエラーが発生しました。(14)"));
    EXPECT_EQ(metronome.GetMetroBeatCount(), 1u);

    const CVeskError stopped = metronome.Stop();
    EXPECT_EQ(stopped, ERR_VESK_OK);
    EXPECT_TRUE(stopped.GetStr().isEmpty());
    EXPECT_EQ(metronome.IsStop(), 1);
    // The stop left the count where it was: the wait it ended counted as done.
    EXPECT_EQ(metronome.GetMetroBeatCount(), 2u);
    const CVeskError stoppedAgain = metronome.Stop();
    EXPECT_EQ(stoppedAgain, ERR_VESK_OK);
    EXPECT_EQ(stoppedAgain.GetStr(), QStringLiteral("予期せぬエラーが発生しました。(13)"));
    EXPECT_EQ(metronome.Reset(), ERR_VESK_OK);
    EXPECT_EQ(metronome.GetMetroBeatCount(), 0u);
    // And it starts again, from count 0.
    ASSERT_EQ(metronome.Start(), ERR_VESK_OK);
    EXPECT_EQ(metronome.Stop(), ERR_VESK_OK);
    EXPECT_EQ(metronome.Terminate(), ERR_VESK_OK);
}

TEST_F(MetronomeTest, StartWithoutThePianosAudioFailsAndRunsNoThread) {
    CHandClock clock(kStart);
    CMetronome metronome(clock);
    metronome.Initialize();
    for (const unsigned int pulled :
         {unsigned{CVirtualPiano::kWaveOut}, unsigned{CVirtualPiano::kAll}}) {
        piano->Unplug(pulled);
        const CVeskError result = metronome.Start();
        EXPECT_EQ(result, ERR_VESK_FAILED);
        EXPECT_EQ(result.GetStr(),
                  QStringLiteral("オーディオデバイスを使用することができません。\r\nZQ31本体と正"
                                 "しく接続されているかを確認してください。"));
        EXPECT_EQ(metronome.IsStop(), 1);
        piano->Plug();
    }
    EXPECT_TRUE(clock.Targets().empty()) << "a thread ticked";
    CWinMsg::PumpMessages();
    EXPECT_EQ(sysinfo.metronomeIcon.Count(WM_DATACHANGE), 0);
    EXPECT_EQ(piano->ReceivedAudioBytes(), 0u);
    EXPECT_EQ(metronome.Stop().GetStr(), QStringLiteral("予期せぬエラーが発生しました。(13)"));
}

TEST_F(MetronomeTest, UnpluggingThePianoStopsItThroughTheDeviceWatch) {
    CMetronome metronome; // on the real clock
    metronome.Initialize();
    sysinfo.SetMetronome(&metronome);
    auto watch = std::make_unique<CCheckUSBdev>();
    ASSERT_EQ(metronome.Start(), ERR_VESK_OK);
    EXPECT_EQ(sysinfo.GetMetStatus(), MET_START);
    ASSERT_TRUE(Eventually([&] { return Heard().sounds.size() >= 2; }));

    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return metronome.IsStop() == 1; }));
    EXPECT_EQ(sysinfo.GetMetStatus(), MET_STOP);
    // Stopped and reset: the next start begins a new bar.
    ASSERT_TRUE(Eventually([&] { return metronome.GetMetroBeatCount() == 0; }));
    watch.reset();
    sysinfo.SetMetronome(&sysinfo.metronome);
    EXPECT_TRUE(Heard().clean);
}
