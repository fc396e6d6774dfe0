#include "MmTestSupport.h"

#include <cstring>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

TEST_F(WithPiano, TheFourFunctionsAreDevicesWithTheirNames) {
    EXPECT_EQ(mmxBackendName(), "virtual");
    EXPECT_EQ(midiOutGetNumDevs(), 1u);
    EXPECT_EQ(midiInGetNumDevs(), 1u);
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
    EXPECT_EQ(waveInGetNumDevs(), 1u);
    MIDIOUTCAPS out{};
    ASSERT_EQ(midiOutGetDevCaps(0, &out, sizeof out), MMSYSERR_NOERROR);
    EXPECT_STREQ(out.szPname, "Tolvarine USB MIDI OUT 1");
    MIDIINCAPS in{};
    ASSERT_EQ(midiInGetDevCaps(0, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_STREQ(in.szPname, "Tolvarine USB MIDI IN 1");
    WAVEOUTCAPS waveOut{};
    ASSERT_EQ(waveOutGetDevCaps(0, &waveOut, sizeof waveOut), MMSYSERR_NOERROR);
    EXPECT_NE(std::strstr(waveOut.szPname, "Tolvarine USB Audio"), nullptr);
    WAVEINCAPS waveIn{};
    ASSERT_EQ(waveInGetDevCaps(0, &waveIn, sizeof waveIn), MMSYSERR_NOERROR);
    EXPECT_NE(std::strstr(waveIn.szPname, "Tolvarine USB Audio"), nullptr);
    EXPECT_EQ(midiOutGetDevCaps(1, &out, sizeof out), MMSYSERR_BADDEVICEID);

    piano->Unplug(CVirtualPiano::kWaveIn);
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    EXPECT_EQ(midiOutGetNumDevs(), 1u);
    piano->Unplug();
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(midiOutOpen(&handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(WithPiano, ShortMessagesReachThePianoAtOnce) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0x30C0), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0x404A), MMSYSERR_NOERROR); // running status: C0 again
    EXPECT_EQ(midiOutShortMsg(out, 0x504AB0), MMSYSERR_NOERROR);
    EXPECT_EQ(piano->GetPanel().program, 0x4A);
    EXPECT_EQ(piano->GetPanel().brilliance, 0x50);
    UINT id = 99;
    EXPECT_EQ(midiOutGetID(out, &id), MMSYSERR_NOERROR);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0x30C0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutShortMsg(reinterpret_cast<HMIDIOUT>(0x1234), 0x30C0), MMSYSERR_INVALHANDLE);
}

TEST_F(WithPiano, LongMessagesNeedAPreparedHeaderAndComeBackDone) {
    CallbackLog log;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, log.Callback<HMIDIOUT>(), log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Bytes volume{0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 66, 0xF7};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(volume.data());
    header.dwBufferLength = static_cast<DWORD>(volume.size());
    EXPECT_EQ(midiOutLongMsg(out, &header, sizeof header), MIDIERR_UNPREPARED);
    ASSERT_EQ(midiOutPrepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_TRUE(Eventually([&] { return (mmxHeaderFlags(header.dwFlags) & MHDR_DONE) != 0; }));
    EXPECT_EQ(piano->GetPanel().transpose, 66);
    EXPECT_TRUE(Eventually([&] { return log.Count(MOM_DONE) == 1; }));
    EXPECT_EQ(log.Of(MOM_DONE).front().first, reinterpret_cast<DWORD_PTR>(&header));
    EXPECT_EQ(midiOutUnprepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(MOM_OPEN), 1);
    EXPECT_EQ(log.Count(MOM_CLOSE), 1);
}

TEST_F(WithPiano, ResetSilencesHeldNotes) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    midiOutShortMsg(out, 0x643C90);
    midiOutShortMsg(out, 0x644090);
    EXPECT_EQ(piano->SoundingNotes(), (std::set<int>{60, 64}));
    EXPECT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    midiOutClose(out);
}

TEST_F(WithPiano, OnlyCallbackFunctionsAreOffered) {
    HMIDIOUT out = nullptr;
    EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_WINDOW), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(out, nullptr);
}

TEST(MmSystem, ErrorTextsNameTheProblem) {
    char text[MAXERRORLENGTH];
    ASSERT_EQ(midiOutGetErrorText(MMSYSERR_INVALHANDLE, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_STREQ(text, "The specified device handle is invalid.");
    EXPECT_EQ(waveInGetErrorText(999, text, sizeof text), MMSYSERR_BADERRNUM);
    char tiny[8];
    ASSERT_EQ(waveOutGetErrorText(WAVERR_BADFORMAT, tiny, sizeof tiny), MMSYSERR_NOERROR);
    EXPECT_EQ(std::strlen(tiny), 7u);
}

TEST(MmSystem, WithoutASequencerThereAreNoMidiDevices) {
    mmxUseSystemDevices();
    EXPECT_EQ(mmxBackendName(), "alsa");
    if (access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    }
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiInGetNumDevs(), 0u);
    HMIDIOUT out = nullptr;
    EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(out, nullptr);
}

// A long message may carry channel messages as well as system-exclusive ones; a note it starts
// is sounding like any other, and a reset must silence it too.
TEST_F(WithPiano, ResetSilencesNotesStartedByALongMessage) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Bytes notes{0x90, 0x3C, 0x64, 0x40, 0x64};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(notes.data());
    header.dwBufferLength = static_cast<DWORD>(notes.size());
    ASSERT_EQ(midiOutPrepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return (mmxHeaderFlags(header.dwFlags) & MHDR_DONE) != 0; }));
    ASSERT_EQ(piano->SoundingNotes(), (std::set<int>{60, 64}));
    EXPECT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    midiOutUnprepareHeader(out, &header, sizeof header);
    midiOutClose(out);
}
