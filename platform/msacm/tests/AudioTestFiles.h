#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// Sources for the encoders' tests and benchmarks, and an independent check of what they
// write: FFmpeg's own command-line tools read the files back.
namespace audiotest {

// Interleaved 16-bit samples of a signal that never repeats itself: a rising sweep plus
// noise, different on each channel, so a gap, a repeated block or a shift stands out.
std::vector<std::int16_t> Signal(std::size_t frames, int channels, int rate);

// A canonical 44-byte-header PCM WAV image of samples. extraData bytes of the samples'
// size are added after them to the "data" chunk (a partial sample frame when not a multiple
// of the block size), and the chunk's size can be made to claim more than there is.
QByteArray WaveImage(const std::vector<std::int16_t>& samples, int channels, int rate,
                     std::uint32_t claimedExtra = 0);

bool WriteFile(const QString& path, const QByteArray& bytes);

struct Probe {
    QString codec;
    int channels = 0;
    int rate = 0;
    double duration = 0.0;
    QString tags; // every tag ffprobe finds in the container and the stream, one a line
};
// What ffprobe reads in the file; nothing when it cannot read it.
std::optional<Probe> FfProbe(const QString& path);

// The file decoded by ffmpeg to interleaved 16-bit stereo at rate; nothing on failure.
std::optional<std::vector<std::int16_t>> FfDecode(const QString& path, int rate = 44100);

struct Match {
    long lag = 0;       // decoded frame index of the source's first frame
    double worst = 0.0; // lowest normalised correlation of the segments compared
    std::size_t compared = 0;
};
// Where source (interleaved stereo) starts in decoded, searching lags 0..maxLag, and how well
// each of segments consecutive pieces of the source matches decoded at that lag.
Match Align(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& decoded,
            long maxLag, int segments);

} // namespace audiotest
