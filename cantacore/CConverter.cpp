#include "CConverter.h"

#include <array>

namespace {

constexpr std::array<unsigned int, 8> kPrograms{0, 1, 4, 5, 6, 11, 48, 19};
constexpr std::array<unsigned int, 6> kTimeSigs{0xFFFF, 0x0202, 0x0203, 0x0204, 0x0205, 0x0306};
constexpr std::array<unsigned int, 5> kLevels{48, 56, 64, 72, 80};

constexpr unsigned int kMinTempo = 40;
constexpr unsigned int kMaxTempo = 300;
constexpr unsigned int kMicrosecondsPerMinute = 60000000;

} // namespace

unsigned int CConverter::TimbreToProgram(E_TIMBRE timbre) const {
    return timbre >= 0 && timbre < static_cast<int>(kPrograms.size()) ? kPrograms[timbre] : 0;
}

unsigned int CConverter::DualTimbreToProgram(E_TIMBRE timbre) const {
    return timbre >= 0 && timbre < static_cast<int>(kPrograms.size()) ? kPrograms[timbre]
                                                                      : kDualOff;
}

E_TIMBRE CConverter::ProgramToTimbre(unsigned int program) const {
    for (std::size_t i = 0; i < kPrograms.size(); ++i) {
        if (kPrograms[i] == program) {
            return static_cast<E_TIMBRE>(i);
        }
    }
    return TIM_GRANDPIANO;
}

E_TIMBRE CConverter::ProgramToDualTimbre(unsigned int program) const {
    for (std::size_t i = 0; i < kPrograms.size(); ++i) {
        if (kPrograms[i] == program) {
            return static_cast<E_TIMBRE>(i);
        }
    }
    return TIM_NONE;
}

unsigned int CConverter::BeatToTimeSig(E_BEAT beat) const {
    return beat >= 0 && beat < static_cast<int>(kTimeSigs.size()) ? kTimeSigs[beat] : 0x0204;
}

E_BEAT CConverter::TimeSigToBeat(unsigned int timeSig) const {
    for (std::size_t i = 0; i < kTimeSigs.size(); ++i) {
        if (kTimeSigs[i] == timeSig) {
            return static_cast<E_BEAT>(i);
        }
    }
    return BEAT_4_4;
}

unsigned int CConverter::ReverbToWire(E_REVERB reverb) const {
    return reverb == REVERB_ON ? 1 : 0;
}

E_REVERB CConverter::WireToReverb(unsigned int wire) const {
    return wire == 1 ? REVERB_ON : REVERB_OFF;
}

unsigned int CConverter::LevelToWire(int level) const {
    return level >= 0 && level < static_cast<int>(kLevels.size()) ? kLevels[level] : 64;
}

int CConverter::WireToLevel(unsigned int wire) const {
    for (std::size_t i = 0; i < kLevels.size(); ++i) {
        if (kLevels[i] == wire) {
            return static_cast<int>(i);
        }
    }
    return 2;
}

unsigned int CConverter::TransposeToWire(int semitones) const {
    return semitones >= -5 && semitones <= 6 ? static_cast<unsigned int>(64 + semitones) : 64;
}

int CConverter::WireToTranspose(unsigned int wire) const {
    return wire >= 59 && wire <= 70 ? static_cast<int>(wire) - 64 : 0;
}

unsigned int CConverter::TuningToWire(E_TUNING tuning) const {
    if (tuning < 0 || tuning > 127) {
        return 64;
    }
    const auto step = static_cast<unsigned int>(tuning);
    const unsigned int msb = (step + 64) / 2;
    const unsigned int lsb = (step % 2 != 0) ? 0x40 : 0;
    return msb | (lsb << 8);
}

E_TUNING CConverter::WireToTuning(unsigned int wire) const {
    const unsigned int msb = wire & 0xFF;
    if (msb < 32 || msb > 95) {
        return TUNING_STANDARD;
    }
    const unsigned int lsb = (wire >> 8) & 0xFF;
    return static_cast<E_TUNING>(2 * msb - 64 + (lsb != 0 ? 1 : 0));
}

unsigned int CConverter::TempoToWire(unsigned int tempo) const {
    // Callers keep the tempo within range; anything else is played at the nearest bound.
    const unsigned int bpm =
        tempo < kMinTempo ? kMinTempo : (tempo > kMaxTempo ? kMaxTempo : tempo);
    const unsigned int microseconds = kMicrosecondsPerMinute / bpm;
    return ((microseconds >> 16) & 0xFF) | (((microseconds >> 8) & 0xFF) << 8) |
           ((microseconds & 0xFF) << 16);
}

unsigned int CConverter::WireToTempo(unsigned int wire) const {
    const unsigned int microseconds =
        ((wire & 0xFF) << 16) | (((wire >> 8) & 0xFF) << 8) | ((wire >> 16) & 0xFF);
    if (microseconds == 0) {
        return 120;
    }
    const unsigned int bpm = kMicrosecondsPerMinute / microseconds;
    return bpm < kMinTempo || bpm > kMaxTempo ? 120 : bpm;
}
