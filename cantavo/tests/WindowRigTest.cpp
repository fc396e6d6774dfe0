#include "WindowRig.h"

#include "CCheckUSBdev.h"

#include <gtest/gtest.h>

// Every window test stands on the rig: the engine must find the virtual ZQ31 and follow it.
TEST(WindowRig, StartsTheEngineAgainstTheVirtualPiano) {
    CWindowRig rig;
    EXPECT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    // Strings on the piano's own panel (program 48) reach the shared state.
    rig.piano->PressVoice(48);
    EXPECT_TRUE(Eventually([&] { return rig.manage->GetDefTimbre() == TIM_STRINGS; }));
}
