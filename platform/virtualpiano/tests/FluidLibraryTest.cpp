#include "CFluidLibrary.h"
#include "CVirtualPiano.h"
#include "MappedFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool FluidSynthMapped() {
    return IsMapped("libfluidsynth");
}

// Taken before any test runs: linking the virtual ZQ31 must not bring FluidSynth in.
const bool g_fluidSynthAtStart = FluidSynthMapped();

// A program that drives the real instrument never pays for the synthesizer and the libraries
// behind it; the virtual ZQ31 opens it when it is first given a voice.
TEST(FluidLibrary, IsOpenedOnlyWhenTheFirstVoiceIsMade) {
    EXPECT_FALSE(g_fluidSynthAtStart);
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    const std::string error = piano.EnableVoice();
    if (!error.empty()) {
        GTEST_SKIP() << "no voice here: " << error;
    }
    EXPECT_TRUE(FluidSynthMapped());
    EXPECT_TRUE(CFluidLibrary::Installed().IsLoaded());
}

TEST(FluidLibrary, AMissingOrForeignLibraryIsRefusedWithItsNameAndNothingToCall) {
    const CFluidLibrary missing("libcantavo-no-such-synth.so.3");
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_NE(missing.Error().find("libcantavo-no-such-synth.so.3"), std::string::npos)
        << missing.Error();
    EXPECT_EQ(missing.new_fluid_synth, nullptr);

    // A library that opens but is not FluidSynth: the first function it lacks is named, and
    // none of the ones it happens to have is left to be called.
    const CFluidLibrary foreign("libc.so.6");
    EXPECT_FALSE(foreign.IsLoaded());
    EXPECT_NE(foreign.Error().find("lacks fluid_set_log_function"), std::string::npos)
        << foreign.Error();
    EXPECT_EQ(foreign.fluid_set_log_function, nullptr);
    EXPECT_EQ(foreign.fluid_synth_write_float, nullptr);
}

} // namespace
