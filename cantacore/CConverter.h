#pragma once

#include "EngineTypes.h"

// The conversions between the engine's settings and the numbers that travel to the piano or
// stand in a MIDI file. Stateless; every input outside the domain gives the documented
// default instead of failing.
class CConverter {
public:
    static constexpr unsigned int kDualOff = 255;
    static constexpr unsigned int kNoBeat = 0xFFFF;

    // Voice index 0..7 to its program number.
    unsigned int TimbreToProgram(E_TIMBRE timbre) const;
    // Dual voice index to its program number; 255 (dual off) for TIM_NONE.
    unsigned int DualTimbreToProgram(E_TIMBRE timbre) const;
    E_TIMBRE ProgramToTimbre(unsigned int program) const;
    E_TIMBRE ProgramToDualTimbre(unsigned int program) const;

    // Beat index to the time-signature word: numerator in the low byte, the power of two of
    // the denominator in the high byte; 0xFFFF for no beat.
    unsigned int BeatToTimeSig(E_BEAT beat) const;
    E_BEAT TimeSigToBeat(unsigned int timeSig) const;

    unsigned int ReverbToWire(E_REVERB reverb) const;
    E_REVERB WireToReverb(unsigned int wire) const;

    // Brilliance and touch levels 0..4 to 48, 56, 64, 72, 80.
    unsigned int LevelToWire(int level) const;
    int WireToLevel(unsigned int wire) const;

    // Semitones -5..6 (transpose and sequencer key) to 64 + semitones.
    unsigned int TransposeToWire(int semitones) const;
    int WireToTranspose(unsigned int wire) const;

    // Tuning step 0..127 to the Master Fine Tuning bytes: MSB in bits 0-7, LSB in bits 8-15.
    unsigned int TuningToWire(E_TUNING tuning) const;
    E_TUNING WireToTuning(unsigned int wire) const;

    // Beats per minute to the three tempo bytes of a MIDI file (microseconds per quarter
    // note), first byte in bits 0-7. Tempos outside 40..300 are first brought into that range.
    unsigned int TempoToWire(unsigned int tempo) const;
    unsigned int WireToTempo(unsigned int wire) const;
};
