// Makes the metronome's two sounds, so that they come from this source and nothing else:
//   metronome_sounds FOLDER
// writes FOLDER/CLICK and FOLDER/DING as RIFF/WAVE files, PCM, 2 channels, 44100 Hz, 16 bits.
//
// CLICK (5048 frames, 114.5 ms) is a woodblock: a few strongly damped, inharmonic body modes
// around 1.2 kHz over a soft knock of filtered noise, gone within about 60 ms. DING (22046
// frames, 499.9 ms) is a small bell: a fundamental on E6 with a slightly detuned twin, its
// octave and two inharmonic partials that fade faster, so it starts bright and rounds off as
// it decays. Both start and end at zero (short raised-cosine edges), peak below full scale,
// and are the same on both channels. Only fixed seeds and plain arithmetic are used: the
// same build gives the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

struct Mode {
    double frequency; // Hz
    double amplitude;
    double decay; // seconds for the amplitude to fall to 1/e
    double phase; // radians
};

// A deterministic noise source (a 32-bit linear congruential generator), -1..1.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : m_state(seed) {}
    double Next() {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<double>(m_state >> 8) / 8388608.0 - 1.0;
    }

private:
    std::uint32_t m_state;
};

double Modes(const std::vector<Mode>& modes, double t) {
    double sum = 0;
    for (const Mode& mode : modes) {
        sum += mode.amplitude * std::exp(-t / mode.decay) *
               std::sin(2 * kPi * mode.frequency * t + mode.phase);
    }
    return sum;
}

// Raised-cosine edges: rise over the first rise seconds, fall to exactly 0 over the last fall
// seconds.
void Edges(std::vector<double>& signal, double rise, double fall) {
    const auto n = signal.size();
    const auto riseFrames = static_cast<std::size_t>(rise * kRate);
    const auto fallFrames = static_cast<std::size_t>(fall * kRate);
    for (std::size_t i = 0; i < riseFrames && i < n; ++i) {
        signal[i] *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / riseFrames);
    }
    for (std::size_t i = 0; i < fallFrames && i < n; ++i) {
        const double x = static_cast<double>(i) / (fallFrames - 1);
        signal[n - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * x);
    }
}

void Normalise(std::vector<double>& signal, double peak) {
    double largest = 0;
    for (double s : signal) {
        largest = std::max(largest, std::fabs(s));
    }
    for (double& s : signal) {
        s *= peak / largest;
    }
}

std::vector<double> Click() {
    constexpr std::size_t kFrames = 5048;
    const std::vector<Mode> body = {
        {1180.0, 1.00, 0.0140, 0.0}, // the main resonance of the block
        {2710.0, 0.42, 0.0070, 0.7}, // two higher, shorter ones
        {4390.0, 0.16, 0.0035, 1.9}, //
        {560.0, 0.30, 0.0100, 0.0},  // and a low thump
    };
    Noise noise(0x5EED0001u);
    std::vector<double> signal(kFrames);
    double low = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        // The knock: noise through a one-pole low-pass, over in a couple of milliseconds.
        low += 0.35 * (noise.Next() - low);
        signal[i] = Modes(body, t) + 0.55 * low * std::exp(-t / 0.0008);
    }
    Edges(signal, 0.0003, 0.030);
    Normalise(signal, 0.70);
    return signal;
}

std::vector<double> Ding() {
    constexpr std::size_t kFrames = 22046;
    const double f0 = 1318.51; // E6
    const std::vector<Mode> bell = {
        {f0, 0.75, 0.160, 0.0},        // the fundamental
        {f0 + 0.9, 0.25, 0.140, 0.0},  // its twin: a shimmer far slower than the sound is long
        {2.0 * f0, 0.30, 0.090, 0.4},  // the octave
        {2.76 * f0, 0.17, 0.045, 1.1}, // and two inharmonic partials, gone soonest
        {4.07 * f0, 0.07, 0.022, 2.3}, //
    };
    Noise noise(0x5EED0002u);
    std::vector<double> signal(kFrames);
    double previous = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        // The strike: a brief tick of high-passed noise.
        const double n = noise.Next();
        const double high = n - previous;
        previous = n;
        signal[i] = Modes(bell, t) + 0.10 * high * std::exp(-t / 0.0006);
    }
    Edges(signal, 0.0005, 0.080);
    Normalise(signal, 0.80);
    return signal;
}

void Put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::string Wave(const std::vector<double>& signal) {
    const auto dataBytes = static_cast<std::uint32_t>(signal.size() * 4);
    std::string out = "RIFF";
    Put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);      // PCM
    Put16(out, 2);      // channels
    Put32(out, 44100);  // frames per second
    Put32(out, 176400); // bytes per second
    Put16(out, 4);      // bytes per frame
    Put16(out, 16);     // bits per sample
    out += "data";
    Put32(out, dataBytes);
    for (double s : signal) {
        const auto sample = static_cast<std::int16_t>(std::lround(s * 32767.0));
        Put16(out, static_cast<std::uint16_t>(sample)); // left
        Put16(out, static_cast<std::uint16_t>(sample)); // right
    }
    return out;
}

bool Write(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "metronome_sounds: cannot create %s\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: metronome_sounds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    return Write(folder + "/CLICK", Wave(Click())) && Write(folder + "/DING", Wave(Ding())) ? 0 : 1;
}
