// The ALSA backend's MIDI devices, against a sequencer client of the test's own that plays the
// piano's part. Where the machine has no sequencer (/dev/snd/seq) the tests say so and skip.
#include "MmTestSupport.h"

#include <alsa/asoundlib.h>
#include <cstring>
#include <unistd.h>

namespace {

bool HaveSequencer() {
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

// A sequencer client standing for the piano: one port that plays (the PC's MIDI input) and
// takes (the PC's MIDI output), named as the piano's ports are.
class CFakeDevice {
public:
    explicit CFakeDevice(const char* portName) {
        if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
            m_seq = nullptr;
            return;
        }
        snd_seq_set_client_name(m_seq, "Tolvarine");
        m_port =
            snd_seq_create_simple_port(m_seq, portName,
                                       SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ |
                                           SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
        snd_midi_event_new(1024, &m_codec);
    }
    ~CFakeDevice() {
        if (m_codec != nullptr) {
            snd_midi_event_free(m_codec);
        }
        if (m_seq != nullptr) {
            snd_seq_close(m_seq);
        }
    }
    bool Ok() const { return m_seq != nullptr && m_port >= 0; }
    // Plays bytes to every subscriber.
    void Play(const std::vector<std::uint8_t>& bytes) {
        snd_midi_event_reset_encode(m_codec);
        for (const std::uint8_t byte : bytes) {
            snd_seq_event_t event;
            snd_seq_ev_clear(&event);
            if (snd_midi_event_encode_byte(m_codec, byte, &event) == 1) {
                snd_seq_ev_set_source(&event, m_port);
                snd_seq_ev_set_subs(&event);
                snd_seq_ev_set_direct(&event);
                snd_seq_event_output_direct(m_seq, &event);
            }
        }
    }
    // What has arrived, as MIDI bytes.
    std::vector<std::uint8_t> Received() {
        std::vector<std::uint8_t> bytes;
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(m_seq, &event) >= 0 && event != nullptr) {
            std::uint8_t decoded[1024];
            snd_midi_event_reset_decode(m_codec);
            const long length = snd_midi_event_decode(m_codec, decoded, sizeof decoded, event);
            if (length > 0) {
                bytes.insert(bytes.end(), decoded, decoded + length);
            }
        }
        return bytes;
    }

private:
    snd_seq_t* m_seq = nullptr;
    int m_port = -1;
    snd_midi_event_t* m_codec = nullptr;
};

class AlsaSequencer : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveSequencer()) {
            GTEST_SKIP() << "this machine has no ALSA sequencer (/dev/snd/seq): the MIDI "
                            "devices of the ALSA backend are not tested here";
        }
        mmxUseSystemDevices();
    }
    void TearDown() override { mmxUseSystemDevices(); }

    static int FindIn(const char* name) {
        for (UINT id = 0; id < midiInGetNumDevs(); ++id) {
            MIDIINCAPS caps{};
            if (midiInGetDevCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                std::strcmp(caps.szPname, name) == 0) {
                return static_cast<int>(id);
            }
        }
        return -1;
    }
    static int FindOut(const char* name) {
        for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
            MIDIOUTCAPS caps{};
            if (midiOutGetDevCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                std::strcmp(caps.szPname, name) == 0) {
                return static_cast<int>(id);
            }
        }
        return -1;
    }
};

} // namespace

TEST_F(AlsaSequencer, APortThatComesAndGoesIsReportedAndListedByItsName) {
    const std::uint64_t before = mmxDeviceChanges();
    auto device = std::make_unique<CFakeDevice>("Tolvarine USB MIDI IN 1");
    ASSERT_TRUE(device->Ok());
    ASSERT_TRUE(Eventually([&] { return mmxDeviceChanges() > before; }));
    // The port's name names its client already: it is the device's name as it stands.
    ASSERT_TRUE(Eventually([] { return FindIn("Tolvarine USB MIDI IN 1") >= 0; }));
    EXPECT_GE(FindOut("Tolvarine USB MIDI IN 1"), 0);
    const std::uint64_t present = mmxDeviceChanges();
    device.reset();
    ASSERT_TRUE(Eventually([&] { return mmxDeviceChanges() > present; }));
    ASSERT_TRUE(Eventually([] { return FindIn("Tolvarine USB MIDI IN 1") < 0; }));
}

TEST_F(AlsaSequencer, InputDeliversShortAndSystemExclusiveMessages) {
    CFakeDevice device("Tolvarine USB MIDI IN 1");
    ASSERT_TRUE(device.Ok());
    int id = -1;
    ASSERT_TRUE(Eventually([&] { return (id = FindIn("Tolvarine USB MIDI IN 1")) >= 0; }));
    CallbackLog log;
    HMIDIIN input = nullptr;
    ASSERT_EQ(midiInOpen(&input, static_cast<UINT>(id), log.Callback<HMIDIIN>(), log.Instance(),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    char buffers[2][8];
    MIDIHDR headers[2]{};
    for (int i = 0; i < 2; ++i) {
        headers[i].lpData = buffers[i];
        headers[i].dwBufferLength = sizeof buffers[i];
        midiInPrepareHeader(input, &headers[i], sizeof headers[i]);
        midiInAddBuffer(input, &headers[i], sizeof headers[i]);
    }
    ASSERT_EQ(midiInStart(input), MMSYSERR_NOERROR);
    device.Play({0x90, 60, 100});
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_DATA) == 1; }));
    EXPECT_EQ(log.Of(MIM_DATA)[0].first, 0x643C90u);
    // Twelve bytes: more than one buffer holds.
    const std::vector<std::uint8_t> sysex{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00,
                                          0x7E, 0x00, 0x01, 0x02, 0x03, 0xF7};
    device.Play(sysex);
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_LONGDATA) == 2; }));
    std::vector<std::uint8_t> arrived(buffers[0], buffers[0] + headers[0].dwBytesRecorded);
    arrived.insert(arrived.end(), buffers[1], buffers[1] + headers[1].dwBytesRecorded);
    EXPECT_EQ(arrived, sysex);
    midiInReset(input);
    EXPECT_EQ(midiInClose(input), MMSYSERR_NOERROR);
}

TEST_F(AlsaSequencer, OutputReachesThePortWholeAndInOrder) {
    CFakeDevice device("Tolvarine USB MIDI OUT 1");
    ASSERT_TRUE(device.Ok());
    int id = -1;
    ASSERT_TRUE(Eventually([&] { return (id = FindOut("Tolvarine USB MIDI OUT 1")) >= 0; }));
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, static_cast<UINT>(id), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x30C0), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> sysex(600, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(sysex.data());
    header.dwBufferLength = static_cast<DWORD>(sysex.size());
    midiOutPrepareHeader(out, &header, sizeof header);
    ASSERT_EQ(midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> expected;
    expected.reserve(sysex.size() + 2);
    expected.push_back(0xC0);
    expected.push_back(0x30);
    for (const std::uint8_t byte : sysex) {
        expected.push_back(byte);
    }
    std::vector<std::uint8_t> received;
    ASSERT_TRUE(Eventually([&] {
        const auto more = device.Received();
        received.insert(received.end(), more.begin(), more.end());
        return received.size() >= expected.size();
    }));
    EXPECT_EQ(received, expected);
    midiOutUnprepareHeader(out, &header, sizeof header);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}
