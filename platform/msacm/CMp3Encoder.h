#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct lame_global_struct;

// Encodes interleaved 16-bit PCM into constant-bit-rate MPEG Layer-3 frames with LAME.
//
// Every whole sample frame given to Encode is taken: what does not fit into the caller's
// output block waits inside and comes out first on the next call, so nothing is ever dropped
// at a block edge. Finish flushes the frames LAME still holds; after it the stream holds all
// of the source's samples, preceded by the encoder's delay (EncoderDelay()) and followed by
// the padding that completes the last frame.
//
// No Xing/LAME information frame is written: the frames are stored in a RIFF file, whose
// readers would decode such a frame as a frame of silence.
class CMp3Encoder {
public:
    // The stream a source is encoded into.
    struct Layout {
        std::uint32_t sampleRate = 0;
        std::uint16_t channels = 0;
        std::uint32_t bitRate = 0;     // bits per second
        std::uint16_t frameBytes = 0;  // bytes of a frame without its padding byte
        std::uint16_t frameSamples = 0;// samples per channel in one frame
    };

    // The layout this encoder gives a 16-bit PCM source of that rate and channel count:
    // 128 kbit/s for stereo and 64 kbit/s for mono (the same bits per channel), at the
    // source's own rate. False when MPEG Layer-3 has no such rate or channel count.
    static bool Suggest(std::uint32_t sampleRate, std::uint16_t channels, Layout& layout);
    // True when bitRate is a bit rate of the MPEG version that carries sampleRate.
    static bool IsValidBitRate(std::uint32_t sampleRate, std::uint32_t bitRate);

    CMp3Encoder() = default;
    CMp3Encoder(const CMp3Encoder&) = delete;
    CMp3Encoder& operator=(const CMp3Encoder&) = delete;
    ~CMp3Encoder();

    // Sets LAME up for the stream; false when LAME refuses the parameters.
    bool Open(std::uint32_t sampleRate, std::uint16_t channels, std::uint32_t bitRate);
    // Starts the stream again from its beginning (drops what was buffered).
    bool Restart();
    bool IsOpen() const { return m_lame != nullptr; }

    // Samples of delay LAME puts before the first source sample, as a decoder sees them (the
    // encoder's own delay plus the decoder's filter bank delay).
    unsigned int EncoderDelay() const;
    // Bytes one sample frame of the source takes.
    unsigned int BlockAlign() const { return 2u * m_channels; }
    // The most bytes Encode can produce for sourceBytes of input, flush included.
    std::size_t OutputBound(std::size_t sourceBytes) const;

    // Encodes the whole sample frames of source (a trailing partial frame is not taken and
    // is reported through consumed), then copies out as much encoded data as fits into out.
    // False when LAME fails or the stream was already finished.
    bool Encode(const std::uint8_t* source, std::size_t length, std::size_t& consumed,
                std::uint8_t* out, std::size_t capacity, std::size_t& written);
    // Flushes LAME (once) and copies out as much of what is left as fits into out; call
    // again until written is 0.
    bool Finish(std::uint8_t* out, std::size_t capacity, std::size_t& written);
    // Encoded bytes waiting for room in an output block.
    std::size_t Pending() const { return m_pending.size() - m_pendingRead; }

private:
    void Close();
    void Drain(std::uint8_t* out, std::size_t capacity, std::size_t& written);
    bool Append(int produced);

    lame_global_struct* m_lame = nullptr;
    std::uint32_t m_sampleRate = 0;
    std::uint16_t m_channels = 0;
    std::uint32_t m_bitRate = 0;
    bool m_finished = false;
    std::vector<std::int16_t> m_samples;
    std::vector<std::uint8_t> m_scratch;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_pendingRead = 0;
};
