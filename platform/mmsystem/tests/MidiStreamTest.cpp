#include "MmTestSupport.h"

#include "CMmBackend.h"

#include <atomic>
#include <future>

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// A buffer of stream events, built event by event.
class StreamBuffer {
public:
    StreamBuffer& Short(DWORD delta, DWORD message) {
        return Event(delta, (MEVT_SHORTMSG << 24) | message);
    }
    StreamBuffer& Tempo(DWORD delta, DWORD tempo) {
        return Event(delta, (MEVT_TEMPO << 24) | tempo);
    }
    StreamBuffer& Nop(DWORD delta, bool callback = false) {
        return Event(delta, (MEVT_NOP << 24) | (callback ? MEVT_F_CALLBACK : 0));
    }
    StreamBuffer& Long(DWORD delta, const Bytes& bytes) {
        Event(delta, MEVT_F_LONG | static_cast<DWORD>(bytes.size()));
        Bytes padded = bytes;
        padded.resize((bytes.size() + 3) / 4 * 4, 0);
        for (std::size_t i = 0; i < padded.size(); i += 4) {
            m_words.push_back(padded[i] | (padded[i + 1] << 8) | (padded[i + 2] << 16) |
                              (static_cast<DWORD>(padded[i + 3]) << 24));
        }
        return *this;
    }
    MIDIHDR* Header() {
        m_header = MIDIHDR{};
        m_header.lpData = reinterpret_cast<LPSTR>(m_words.data());
        m_header.dwBufferLength = static_cast<DWORD>(m_words.size() * 4);
        m_header.dwBytesRecorded = m_header.dwBufferLength;
        return &m_header;
    }

private:
    StreamBuffer& Event(DWORD delta, DWORD event) {
        m_words.insert(m_words.end(), {delta, 0, event});
        return *this;
    }
    std::vector<DWORD> m_words;
    MIDIHDR m_header{};
};

class Stream : public WithPiano {
protected:
    void SetUp() override {
        WithPiano::SetUp();
        UINT device = 0;
        ASSERT_EQ(midiStreamOpen(&stream, &device, 1, log.Callback<HMIDIOUT>(), log.Instance(),
                                 CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        MIDIPROPTIMEDIV division{sizeof division, 96};
        ASSERT_EQ(midiStreamProperty(stream, reinterpret_cast<BYTE*>(&division),
                                     MIDIPROP_SET | MIDIPROP_TIMEDIV),
                  MMSYSERR_NOERROR);
    }
    void TearDown() override {
        midiStreamStop(stream);
        EXPECT_TRUE(Eventually([&] { return midiStreamClose(stream) == MMSYSERR_NOERROR; }));
        WithPiano::TearDown();
    }
    // Buffers live as long as the stream that may still hold them.
    StreamBuffer& NewBuffer() { return *m_buffers.emplace_back(std::make_unique<StreamBuffer>()); }
    void Queue(StreamBuffer& buffer) {
        MIDIHDR* header = buffer.Header();
        ASSERT_EQ(midiOutPrepareHeader(stream, header, sizeof *header), MMSYSERR_NOERROR);
        ASSERT_EQ(midiStreamOut(stream, header, sizeof *header), MMSYSERR_NOERROR);
    }
    // When the piano received messages starting with status, relative to the first of them.
    std::vector<double> Times(std::uint8_t status) {
        std::vector<double> times;
        Clock::time_point first{};
        for (const auto& received : piano->Received()) {
            if (received.bytes.empty() || received.bytes[0] != status) {
                continue;
            }
            if (times.empty()) {
                first = received.time;
            }
            times.push_back(
                std::chrono::duration<double, std::milli>(received.time - first).count());
        }
        return times;
    }

    HMIDISTRM stream = nullptr;
    CallbackLog log;
    std::vector<std::unique_ptr<StreamBuffer>> m_buffers;
};

} // namespace

TEST_F(Stream, EventsArriveInOrderAtTheirTimesWithTempoChanges) {
    // 96 ticks a quarter at 1,000,000 us: 48 ticks are 500 ms; after the tempo drops to
    // 20,000 us, 96 ticks are 20 ms (at the old tempo they would be a whole second).
    StreamBuffer& buffer = NewBuffer();
    buffer.Tempo(0, 1000000)
        .Short(0, 0x643C90)
        .Short(48, 0x643E90)
        .Tempo(0, 20000)
        .Short(96, 0x644090);
    Queue(buffer);
    EXPECT_TRUE(piano->Received().empty()); // a new stream waits to be restarted
    const Clock::time_point restarted = Clock::now();
    ASSERT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(MOM_DONE) == 1; }));
    // A busy machine can only make an event late, never early: the lower bounds hold from the
    // restart on, and the one upper bound leaves the scheduler most of a second.
    std::vector<double> times;
    for (const auto& received : piano->Received()) {
        if (!received.bytes.empty() && received.bytes[0] == 0x90) {
            times.push_back(
                std::chrono::duration<double, std::milli>(received.time - restarted).count());
        }
    }
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1], 500.0);
    EXPECT_GE(times[2], 520.0);
    EXPECT_LT(times[2] - times[1], 1000.0);
    EXPECT_EQ(piano->SoundingNotes(), (std::set<int>{60, 62, 64}));

    MMTIME position{};
    position.wType = TIME_TICKS;
    ASSERT_EQ(midiStreamPosition(stream, &position, sizeof position), MMSYSERR_NOERROR);
    EXPECT_EQ(position.wType, TIME_TICKS);
    EXPECT_EQ(position.u.ticks, 144u);
    // A stream that ran dry stands at the time of its last event, counted from the ticks and
    // the tempi alone: 48 ticks at 1,000,000 us and 96 at 20,000 us are 520 ms. Tempo events
    // ignored would give 750 ms; no clock reading enters, so this cannot be flaky.
    position.wType = TIME_MS;
    ASSERT_EQ(midiStreamPosition(stream, &position, sizeof position), MMSYSERR_NOERROR);
    EXPECT_EQ(position.wType, TIME_MS);
    EXPECT_NEAR(position.u.ms, 520.0, 1.0);
}

TEST_F(Stream, LongEventsAndCallbacksOnTheWay) {
    StreamBuffer& buffer = NewBuffer();
    buffer.Long(0, {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 61, 0xF7}).Nop(1, true);
    Queue(buffer);
    midiStreamRestart(stream);
    ASSERT_TRUE(Eventually([&] { return log.Count(MOM_DONE) == 1; }));
    EXPECT_EQ(piano->GetPanel().transpose, 61);
    ASSERT_EQ(log.Count(MOM_POSITIONCB), 1);
    EXPECT_EQ(log.Of(MOM_POSITIONCB)[0].second, 20u); // offset of the no-operation event
}

TEST_F(Stream, StoppingHandsBackEveryBufferAndSilences) {
    StreamBuffer& first = NewBuffer();
    StreamBuffer& second = NewBuffer();
    StreamBuffer& third = NewBuffer();
    first.Short(0, 0x643C90).Nop(960);
    second.Nop(960);
    third.Nop(960);
    Queue(first);
    Queue(second);
    Queue(third);
    EXPECT_EQ(midiStreamClose(stream), MIDIERR_STILLPLAYING);
    midiStreamRestart(stream);
    ASSERT_TRUE(Eventually([&] { return !piano->SoundingNotes().empty(); }));
    ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(MOM_DONE) == 3; }));
    for (const auto& done : log.Of(MOM_DONE)) {
        const auto* header = reinterpret_cast<const MIDIHDR*>(done.first);
        EXPECT_NE(mmxHeaderFlags(header->dwFlags) & MHDR_DONE, 0u);
        EXPECT_EQ(mmxHeaderFlags(header->dwFlags) & MHDR_INQUEUE, 0u);
    }
    EXPECT_TRUE(piano->SoundingNotes().empty());
    MMTIME position{};
    position.wType = TIME_MS;
    midiStreamPosition(stream, &position, sizeof position);
    EXPECT_EQ(position.u.ms, 0u);
}

TEST_F(Stream, AShortMessageOnTheStreamHandleGoesOutAtOnce) {
    // The stream is paused and holds a buffer that is far from due.
    StreamBuffer& buffer = NewBuffer();
    buffer.Nop(9600);
    Queue(buffer);
    ASSERT_EQ(midiOutShortMsg(stream, 0x30C0), MMSYSERR_NOERROR);
    EXPECT_EQ(piano->GetPanel().program, 0x30);
    // Long messages are not for stream handles.
    MIDIHDR header{};
    Bytes data{0xF0, 0xF7};
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = 2;
    midiOutPrepareHeader(stream, &header, sizeof header);
    EXPECT_NE(midiOutLongMsg(stream, &header, sizeof header), MMSYSERR_NOERROR);
}

TEST_F(Stream, PausingHoldsThePosition) {
    StreamBuffer& buffer = NewBuffer();
    buffer.Nop(960);
    Queue(buffer);
    midiStreamRestart(stream);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    midiStreamPause(stream);
    MMTIME before{}, after{};
    before.wType = after.wType = TIME_TICKS;
    midiStreamPosition(stream, &before, sizeof before);
    EXPECT_GT(before.u.ticks, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    midiStreamPosition(stream, &after, sizeof after);
    EXPECT_EQ(before.u.ticks, after.u.ticks);
    midiStreamRestart(stream);
    EXPECT_TRUE(Eventually([&] {
        midiStreamPosition(stream, &after, sizeof after);
        return after.u.ticks > before.u.ticks;
    }));
}

TEST_F(Stream, PropertiesReadBackWhatWasSet) {
    MIDIPROPTEMPO tempo{sizeof tempo, 400000};
    ASSERT_EQ(
        midiStreamProperty(stream, reinterpret_cast<BYTE*>(&tempo), MIDIPROP_SET | MIDIPROP_TEMPO),
        MMSYSERR_NOERROR);
    MIDIPROPTEMPO read{sizeof read, 0};
    midiStreamProperty(stream, reinterpret_cast<BYTE*>(&read), MIDIPROP_GET | MIDIPROP_TEMPO);
    EXPECT_EQ(read.dwTempo, 400000u);
    MIDIPROPTIMEDIV smpte{sizeof smpte, 0xE728};
    EXPECT_EQ(midiStreamProperty(stream, reinterpret_cast<BYTE*>(&smpte),
                                 MIDIPROP_SET | MIDIPROP_TIMEDIV),
              MMSYSERR_INVALPARAM);
}

namespace {
struct Unpreparer {
    std::atomic<int> unprepared{0};
    static void Proc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR first,
                     DWORD_PTR) {
        if (message == MOM_DONE) {
            auto* self = reinterpret_cast<Unpreparer*>(instance);
            auto* header = reinterpret_cast<MIDIHDR*>(first);
            if (midiOutUnprepareHeader(handle, header, sizeof *header) == MMSYSERR_NOERROR) {
                ++self->unprepared;
            }
            // Closing from inside a callback is refused, not deadlocked.
            EXPECT_EQ(midiStreamClose(handle), MMSYSERR_HANDLEBUSY);
        }
    }
};
} // namespace

TEST_F(WithPiano, ACallbackMayCallBackIntoTheLibrary) {
    Unpreparer unpreparer;
    HMIDISTRM stream = nullptr;
    UINT device = 0;
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&Unpreparer::Proc),
                             reinterpret_cast<DWORD_PTR>(&unpreparer), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    StreamBuffer buffer;
    buffer.Short(0, 0x30C0);
    MIDIHDR* header = buffer.Header();
    midiOutPrepareHeader(stream, header, sizeof *header);
    midiStreamOut(stream, header, sizeof *header);
    midiStreamRestart(stream);
    ASSERT_TRUE(Eventually([&] { return unpreparer.unprepared == 1; }));
    EXPECT_EQ(mmxHeaderFlags(header->dwFlags) & MHDR_PREPARED, 0u);
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
}

namespace {

// A MIDI output whose device takes each message only when the test lets it: a real device
// with a full output queue blocks like this.
class CGatedPort : public CMmBackend::MidiOutPort {
public:
    std::string Name() const override { return "gated"; }
    bool Present() const override { return true; }
    bool Send(const std::uint8_t* bytes, std::size_t length) override {
        std::unique_lock<std::mutex> guard(m_lock);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(guard, [this] { return m_open; });
        --m_waiting;
        m_sent.emplace_back(bytes, bytes + length);
        return true;
    }
    bool WaitUntilBlocked() {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(10),
                                  [this] { return m_waiting > 0; });
    }
    void Open() {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_open = true;
        m_changed.notify_all();
    }
    std::size_t Sent() {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_sent.size();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_open = false;
    int m_waiting = 0;
    std::vector<std::vector<std::uint8_t>> m_sent;
};

class CGatedBackend : public CMmBackend {
public:
    std::shared_ptr<CGatedPort> port = std::make_shared<CGatedPort>();
    std::string Name() const override { return "gated"; }
    std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() override { return {port}; }
    std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() override { return {}; }
    std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() override { return {}; }
    std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() override { return {}; }
};

} // namespace

// While the device is slow to take a message, the stream's position, new buffers and the
// stop still answer at once, and the notes go out in order once it takes them again.
TEST(StreamOnASlowDevice, ThePortBlocksNoOneButItsOwnMessages) {
    const auto backend = std::make_shared<CGatedBackend>();
    mmxUseBackend(backend);
    HMIDISTRM stream = nullptr;
    UINT device = 0;
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<std::uint32_t> events{0, 0, 0x643C90, 0, 0, 0x643E90};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<char*>(events.data());
    header.dwBufferLength = header.dwBytesRecorded =
        static_cast<DWORD>(events.size() * sizeof(std::uint32_t));
    ASSERT_EQ(midiOutPrepareHeader(stream, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiStreamOut(stream, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR);
    ASSERT_TRUE(backend->port->WaitUntilBlocked());

    // Each call below would wait for the device if the handle kept its lock across Send.
    auto calls = std::async(std::launch::async, [&] {
        MMTIME position{};
        position.wType = TIME_TICKS;
        midiStreamPosition(stream, &position, sizeof position);
        MIDIPROPTEMPO tempo{sizeof tempo, 0};
        midiStreamProperty(stream, reinterpret_cast<BYTE*>(&tempo), MIDIPROP_GET | MIDIPROP_TEMPO);
        midiStreamPause(stream);
        return tempo.dwTempo;
    });
    ASSERT_EQ(calls.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(calls.get(), 500000u);

    backend->port->Open();
    ASSERT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return backend->port->Sent() >= 2; }));
    ASSERT_TRUE(Eventually([&] { return (mmxHeaderFlags(header.dwFlags) & MHDR_DONE) != 0; }));
    EXPECT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    EXPECT_TRUE(Eventually([&] { return midiStreamClose(stream) == MMSYSERR_NOERROR; }));
    midiOutUnprepareHeader(stream, &header, sizeof header);
    mmxUseSystemDevices();
}

// Stopping while the scheduler plays a dense run of notes: whenever the stop comes, nothing is
// left sounding once it returns.
TEST_F(Stream, StoppingWhilePlayingLeavesNothingSounding) {
    for (int round = 0; round < 40; ++round) {
        StreamBuffer& buffer = NewBuffer();
        for (int i = 0; i < 200; ++i) {
            buffer.Short(1, 0x640090u | (static_cast<DWORD>(40 + i % 40) << 8));
        }
        MIDIHDR* header = buffer.Header();
        Queue(buffer);
        ASSERT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR);
        std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 10)));
        ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
        EXPECT_TRUE(piano->SoundingNotes().empty()) << "round " << round;
        ASSERT_TRUE(
            Eventually([&] { return (mmxHeaderFlags(header->dwFlags) & MHDR_INQUEUE) == 0; }));
    }
}

// A long event may carry channel messages; a note it starts is silenced by a stop too.
TEST_F(Stream, StoppingSilencesNotesStartedByALongEvent) {
    StreamBuffer& buffer = NewBuffer();
    buffer.Long(0, Bytes{0x90, 0x3C, 0x64}).Nop(960);
    Queue(buffer);
    ASSERT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return !piano->SoundingNotes().empty(); }));
    ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    EXPECT_TRUE(piano->SoundingNotes().empty());
}
