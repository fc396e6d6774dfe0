#include "CConverter.h"

#include <gtest/gtest.h>

namespace {
const CConverter c;
}

TEST(Converter, VoicesAndPrograms) {
    const unsigned int programs[8] = {0, 1, 4, 5, 6, 11, 48, 19};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(c.TimbreToProgram(static_cast<E_TIMBRE>(i)), programs[i]);
        EXPECT_EQ(c.DualTimbreToProgram(static_cast<E_TIMBRE>(i)), programs[i]);
        EXPECT_EQ(c.ProgramToTimbre(programs[i]), i);
        EXPECT_EQ(c.ProgramToDualTimbre(programs[i]), i);
    }
    EXPECT_EQ(c.TimbreToProgram(TIM_NONE), 0u);
    EXPECT_EQ(c.TimbreToProgram(static_cast<E_TIMBRE>(8)), 0u);
    EXPECT_EQ(c.DualTimbreToProgram(TIM_NONE), 255u);
    EXPECT_EQ(c.DualTimbreToProgram(static_cast<E_TIMBRE>(8)), 255u);
    EXPECT_EQ(c.ProgramToTimbre(2), TIM_GRANDPIANO);
    EXPECT_EQ(c.ProgramToDualTimbre(255), TIM_NONE);
    EXPECT_EQ(c.ProgramToDualTimbre(2), TIM_NONE);
}

TEST(Converter, TimeSignatures) {
    const unsigned int words[6] = {0xFFFF, 0x0202, 0x0203, 0x0204, 0x0205, 0x0306};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(c.BeatToTimeSig(static_cast<E_BEAT>(i)), words[i]);
        EXPECT_EQ(c.TimeSigToBeat(words[i]), i);
    }
    EXPECT_EQ(c.BeatToTimeSig(static_cast<E_BEAT>(6)), 0x0204u);
    EXPECT_EQ(c.BeatToTimeSig(static_cast<E_BEAT>(-1)), 0x0204u);
    EXPECT_EQ(c.TimeSigToBeat(0x0304), BEAT_4_4);
}

TEST(Converter, ReverbLevelsAndTranspose) {
    EXPECT_EQ(c.ReverbToWire(REVERB_ON), 1u);
    EXPECT_EQ(c.ReverbToWire(REVERB_OFF), 0u);
    EXPECT_EQ(c.ReverbToWire(static_cast<E_REVERB>(7)), 0u);
    EXPECT_EQ(c.WireToReverb(1), REVERB_ON);
    EXPECT_EQ(c.WireToReverb(0), REVERB_OFF);
    EXPECT_EQ(c.WireToReverb(9), REVERB_OFF);

    const unsigned int levels[5] = {48, 56, 64, 72, 80};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(c.LevelToWire(i), levels[i]);
        EXPECT_EQ(c.WireToLevel(levels[i]), i);
    }
    EXPECT_EQ(c.LevelToWire(5), 64u);
    EXPECT_EQ(c.LevelToWire(-1), 64u);
    EXPECT_EQ(c.WireToLevel(50), 2);

    for (int semitones = -5; semitones <= 6; ++semitones) {
        EXPECT_EQ(c.TransposeToWire(semitones), static_cast<unsigned int>(64 + semitones));
        EXPECT_EQ(c.WireToTranspose(64 + semitones), semitones);
    }
    EXPECT_EQ(c.TransposeToWire(7), 64u);
    EXPECT_EQ(c.TransposeToWire(-6), 64u);
    EXPECT_EQ(c.WireToTranspose(58), 0);
    EXPECT_EQ(c.WireToTranspose(71), 0);
}

TEST(Converter, FineTuningPacksTwoBytes) {
    EXPECT_EQ(c.TuningToWire(static_cast<E_TUNING>(65)), 64u | (0x40u << 8));
    EXPECT_EQ(c.TuningToWire(TUNING_STANDARD), 64u);
    EXPECT_EQ(c.TuningToWire(TUNING_1), 32u);
    EXPECT_EQ(c.TuningToWire(static_cast<E_TUNING>(127)), 95u | (0x40u << 8));
    EXPECT_EQ(c.TuningToWire(static_cast<E_TUNING>(128)), 64u);
    EXPECT_EQ(c.TuningToWire(static_cast<E_TUNING>(-1)), 64u);
    EXPECT_EQ(c.WireToTuning(64u | (0x40u << 8)), 65);
    EXPECT_EQ(c.WireToTuning(31), TUNING_STANDARD);
    EXPECT_EQ(c.WireToTuning(96), TUNING_STANDARD);
    for (int step = 0; step <= 127; ++step) {
        EXPECT_EQ(c.WireToTuning(c.TuningToWire(static_cast<E_TUNING>(step))), step);
    }
}

TEST(Converter, TempoTravelsAsMicrosecondsPerQuarter) {
    // 120 beats per minute: 500,000 microseconds, bytes 07 A1 20 in file order.
    EXPECT_EQ(c.TempoToWire(120), 0x07u | (0xA1u << 8) | (0x20u << 16));
    EXPECT_EQ(c.WireToTempo(0x07u | (0xA1u << 8) | (0x20u << 16)), 120u);
    EXPECT_EQ(c.WireToTempo(0), 120u);
    // Two million microseconds is 30 beats per minute: out of range.
    const unsigned int thirty = 0x1Eu | (0x84u << 8) | (0x80u << 16);
    EXPECT_EQ(c.WireToTempo(thirty), 120u);
    for (unsigned int bpm = 40; bpm <= 300; ++bpm) {
        EXPECT_NEAR(c.WireToTempo(c.TempoToWire(bpm)), bpm, 1u);
    }
    EXPECT_EQ(c.TempoToWire(500), c.TempoToWire(300));
    EXPECT_EQ(c.TempoToWire(0), c.TempoToWire(40));
}
