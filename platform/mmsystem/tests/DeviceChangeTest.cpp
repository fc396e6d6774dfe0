#include "MmTestSupport.h"

#include <atomic>

// Device-list changes are reported to whoever listens, as the virtual ZQ31 is plugged and
// unplugged and as other devices are chosen.
TEST_F(WithPiano, PluggingAndUnpluggingAreReportedOncePerChange) {
    std::atomic<int> told{0};
    const int id = mmxListenDevices([&told] { ++told; });
    EXPECT_TRUE(mmxDevicesReportChanges());
    const std::uint64_t before = mmxDeviceChanges();
    piano->Unplug(CVirtualPiano::kMidiIn);
    EXPECT_EQ(told, 1);
    // Pulling out what is already out, or plugging in what is in, changes nothing.
    piano->Unplug(CVirtualPiano::kMidiIn);
    piano->Plug(CVirtualPiano::kWaveOut);
    EXPECT_EQ(told, 1);
    piano->Plug();
    EXPECT_EQ(told, 2);
    EXPECT_EQ(mmxDeviceChanges(), before + 2);
    mmxUnlistenDevices(id);
    piano->Unplug();
    EXPECT_EQ(told, 2);
}

TEST_F(WithPiano, ChoosingOtherDevicesIsAChangeAndTheOldPianoNoLongerReports) {
    std::atomic<int> told{0};
    const int id = mmxListenDevices([&told] { ++told; });
    auto other = mmxUseVirtualPiano();
    other->SetActiveSensing(false);
    EXPECT_EQ(told, 1);
    // The piano no longer in use is no device of this process any more.
    piano->Unplug();
    EXPECT_EQ(told, 1);
    other->Unplug();
    EXPECT_EQ(told, 2);
    mmxUnlistenDevices(id);
}

// A listener may be removed from another thread while changes are reported; once removal has
// returned it is never called again.
TEST_F(WithPiano, AListenerRemovedWhileChangesArriveIsNotCalledAfterwards) {
    std::atomic<bool> removed{false};
    std::atomic<bool> calledAfter{false};
    std::atomic<bool> stop{false};
    const int id = mmxListenDevices([&] {
        if (removed) {
            calledAfter = true;
        }
    });
    std::thread plugger([&] {
        while (!stop) {
            piano->Unplug(CVirtualPiano::kWaveIn);
            piano->Plug(CVirtualPiano::kWaveIn);
        }
    });
    ASSERT_TRUE(Eventually([] { return mmxDeviceChanges() > 100; }));
    mmxUnlistenDevices(id);
    removed = true;
    const std::uint64_t now = mmxDeviceChanges();
    ASSERT_TRUE(Eventually([now] { return mmxDeviceChanges() > now + 100; }));
    stop = true;
    plugger.join();
    EXPECT_FALSE(calledAfter);
}
