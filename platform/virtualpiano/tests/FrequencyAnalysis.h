#pragma once

// Looking at the virtual ZQ31's sound in tests: stereo 16-bit PCM to mono, a power spectrum by
// FFT, the strongest of a set of pitches, and a WAV for listening.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace Spectrum {

// The mean of the channels of interleaved 16-bit stereo, from frame first on, count frames.
inline std::vector<double> Mono(const std::vector<std::uint8_t>& pcm, std::size_t first,
                                std::size_t count) {
    std::vector<double> mono;
    for (std::size_t frame = first; frame < first + count && (frame + 1) * 4 <= pcm.size();
         ++frame) {
        double sum = 0.0;
        for (std::size_t channel = 0; channel < 2; ++channel) {
            const std::size_t at = frame * 4 + channel * 2;
            sum += static_cast<std::int16_t>(pcm[at] | (pcm[at + 1] << 8));
        }
        mono.push_back(sum / 2.0 / 32768.0);
    }
    return mono;
}

inline double Energy(const std::vector<double>& samples) {
    double sum = 0.0;
    for (const double sample : samples) {
        sum += sample * sample;
    }
    return sum;
}

// The power in each bin of a Hann-windowed FFT of the first power of two of the samples.
inline std::vector<double> Power(std::vector<double> samples) {
    std::size_t size = 1;
    while (size * 2 <= samples.size()) {
        size *= 2;
    }
    std::vector<std::complex<double>> data(size);
    for (std::size_t i = 0; i < size; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (size - 1));
        data[i] = samples[i] * window;
    }
    for (std::size_t i = 1, j = 0; i < size; ++i) {
        std::size_t bit = size >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (std::size_t length = 2; length <= size; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * M_PI / length);
        for (std::size_t start = 0; start < size; start += length) {
            std::complex<double> turn = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * turn;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                turn *= step;
            }
        }
    }
    std::vector<double> power(size / 2);
    for (std::size_t i = 0; i < power.size(); ++i) {
        power[i] = std::norm(data[i]);
    }
    return power;
}

// The power within a quarter tone of frequency.
inline double Around(const std::vector<double>& power, double frequency, unsigned rate) {
    const double binWidth = static_cast<double>(rate) / (2.0 * power.size());
    const auto low = static_cast<std::size_t>(frequency * 0.9715 / binWidth);
    const auto high = static_cast<std::size_t>(std::ceil(frequency * 1.0293 / binWidth));
    double sum = 0.0;
    for (std::size_t i = low; i <= high && i < power.size(); ++i) {
        sum += power[i];
    }
    return sum;
}

inline double NoteFrequency(int note) {
    return 440.0 * std::exp2((note - 69) / 12.0);
}

// Of the given notes, the one whose fundamental holds the most power.
inline int Strongest(const std::vector<double>& power, const std::vector<int>& notes,
                     unsigned rate) {
    int best = -1;
    double most = -1.0;
    for (const int note : notes) {
        const double here = Around(power, NoteFrequency(note), rate);
        if (here > most) {
            most = here;
            best = note;
        }
    }
    return best;
}

// How unlike two spectra are in shape: 0 for the same shape, up to 1 (one minus the cosine of
// their amplitude spectra in bands of a third of an octave, so that small shifts do not count).
inline double Unlike(const std::vector<double>& a, const std::vector<double>& b, unsigned rate) {
    std::vector<double> bandsA, bandsB;
    for (double low = 50.0; low < 8000.0; low *= std::exp2(1.0 / 3.0)) {
        const double high = low * std::exp2(1.0 / 3.0);
        const double binWidth = static_cast<double>(rate) / (2.0 * a.size());
        double sumA = 0.0, sumB = 0.0;
        for (auto i = static_cast<std::size_t>(low / binWidth);
             i < static_cast<std::size_t>(high / binWidth) && i < a.size() && i < b.size(); ++i) {
            sumA += a[i];
            sumB += b[i];
        }
        bandsA.push_back(std::sqrt(sumA));
        bandsB.push_back(std::sqrt(sumB));
    }
    double dot = 0.0, normA = 0.0, normB = 0.0;
    for (std::size_t i = 0; i < bandsA.size(); ++i) {
        dot += bandsA[i] * bandsB[i];
        normA += bandsA[i] * bandsA[i];
        normB += bandsB[i] * bandsB[i];
    }
    return normA == 0.0 || normB == 0.0 ? 1.0 : 1.0 - dot / std::sqrt(normA * normB);
}

// Writes 16-bit stereo PCM as a WAV file, for listening to what a test heard.
inline bool WriteWav(const std::string& path, const std::vector<std::uint8_t>& pcm, unsigned rate) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    auto u32 = [&](std::uint32_t v) {
        const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16),
                                   static_cast<std::uint8_t>(v >> 24)};
        std::fwrite(b, 1, 4, file);
    };
    auto u16 = [&](std::uint16_t v) {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        std::fwrite(b, 1, 2, file);
    };
    std::fwrite("RIFF", 1, 4, file);
    u32(static_cast<std::uint32_t>(36 + pcm.size()));
    std::fwrite("WAVEfmt ", 1, 8, file);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, file);
    u32(static_cast<std::uint32_t>(pcm.size()));
    std::fwrite(pcm.data(), 1, pcm.size(), file);
    return std::fclose(file) == 0;
}

// With CANTAVO_LISTEN_DIR set, keeps what a test heard there as name.wav.
inline void WriteWavIfAsked(const std::string& name, const std::vector<std::uint8_t>& pcm,
                            unsigned rate) {
    if (const char* folder = std::getenv("CANTAVO_LISTEN_DIR")) {
        WriteWav(std::string(folder) + "/" + name + ".wav", pcm, rate);
    }
}

} // namespace Spectrum
