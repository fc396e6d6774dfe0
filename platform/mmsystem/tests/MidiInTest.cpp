#include "MmTestSupport.h"

#include <cstring>

using Bytes = std::vector<std::uint8_t>;

namespace {

class Input : public WithPiano {
protected:
    void SetUp() override {
        WithPiano::SetUp();
        ASSERT_EQ(midiInOpen(&input, 0, log.Callback<HMIDIIN>(), log.Instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        for (MIDIHDR& header : headers) {
            header = MIDIHDR{};
        }
        for (int i = 0; i < 2; ++i) {
            headers[i].lpData = buffers[i];
            headers[i].dwBufferLength = sizeof buffers[i];
            ASSERT_EQ(midiInPrepareHeader(input, &headers[i], sizeof headers[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(midiInAddBuffer(input, &headers[i], sizeof headers[i]), MMSYSERR_NOERROR);
        }
    }
    void TearDown() override {
        midiInReset(input);
        EXPECT_EQ(midiInClose(input), MMSYSERR_NOERROR);
        WithPiano::TearDown();
    }

    HMIDIIN input = nullptr;
    CallbackLog log;
    char buffers[2][16];
    MIDIHDR headers[2];
};

} // namespace

TEST_F(Input, NothingArrivesBeforeTheInputStarts) {
    piano->PressKey(60, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(log.Count(MIM_DATA), 0);
    ASSERT_EQ(midiInStart(input), MMSYSERR_NOERROR);
    piano->PressKey(62, 100);
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_DATA) == 1; }));
    EXPECT_EQ(log.Of(MIM_DATA)[0].first, 0x643E90u);
}

TEST_F(Input, ShortMessagesCarryTheirTimeSinceStart) {
    midiInStart(input);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    piano->PressKey(60, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_DATA) == 2; }));
    const auto data = log.Of(MIM_DATA);
    EXPECT_EQ(data[0].first, 0x643C90u);
    EXPECT_EQ(data[1].first, 0x403C80u);
    EXPECT_GE(data[0].second, 49u);
    EXPECT_GE(data[1].second, data[0].second + 49);
}

TEST_F(Input, SystemExclusiveFillsTheQueuedBuffers) {
    midiInStart(input);
    piano->PressTranspose(66);
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_LONGDATA) == 1; }));
    const auto* header = reinterpret_cast<const MIDIHDR*>(log.Of(MIM_LONGDATA)[0].first);
    EXPECT_EQ(header, &headers[0]);
    ASSERT_EQ(header->dwBytesRecorded, 8u);
    EXPECT_EQ(std::memcmp(header->lpData, "\xF0\x7F\x7F\x04\x04\x00\x42\xF7", 8), 0);
    EXPECT_NE(mmxHeaderFlags(header->dwFlags) & MHDR_DONE, 0u);

    // A message longer than a buffer spreads over the next one; what finds no buffer is lost.
    piano->SendRaw(
        Bytes{0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0xF7});
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_LONGDATA) == 2; }));
    EXPECT_EQ(headers[1].dwBytesRecorded, 16u);
    // The buffer given back may be queued again from anywhere.
    ASSERT_EQ(midiInAddBuffer(input, &headers[0], sizeof headers[0]), MMSYSERR_NOERROR);
    piano->PressTouch(56);
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_LONGDATA) == 3; }));
    EXPECT_EQ(headers[0].dwBytesRecorded, 11u);
}

TEST_F(Input, ResetGivesBackEveryBufferAndCloseWaitsForThem) {
    midiInStart(input);
    EXPECT_EQ(midiInClose(input), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiInUnprepareHeader(input, &headers[0], sizeof headers[0]), MIDIERR_STILLPLAYING);
    ASSERT_EQ(midiInReset(input), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(MIM_LONGDATA) == 2; }));
    EXPECT_EQ(headers[0].dwBytesRecorded, 0u);
    EXPECT_EQ(midiInUnprepareHeader(input, &headers[0], sizeof headers[0]), MMSYSERR_NOERROR);
}

TEST_F(Input, AnInputIsOpenOnceAtATime) {
    HMIDIIN second = nullptr;
    EXPECT_EQ(midiInOpen(&second, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(second, nullptr);
}

TEST_F(Input, ActiveSensingIsDeliveredLikeAnyShortMessage) {
    piano->SetActiveSensing(true);
    midiInStart(input);
    ASSERT_TRUE(Eventually([&] {
        for (const auto& entry : log.Of(MIM_DATA)) {
            if (entry.first == 0xFE) {
                return true;
            }
        }
        return false;
    }));
}
