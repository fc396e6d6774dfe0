#pragma once

#include "CMediaDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

extern "C" {
#include <libavutil/channel_layout.h>
}

// One audio file opened with FFmpeg, in the codec module. The file is untrusted: any failure
// inside it is a result, and damaged packets are skipped as long as the decoder can go on.
class CFfmpegDecoder final : public CMediaDecoder {
public:
    ~CFfmpegDecoder() override;

    // The decoder for the file's best audio stream, or null with WMACONV_E_FILEOPEN or
    // WMACONV_E_FORMAT in *result.
    static std::unique_ptr<CFfmpegDecoder> Open(const char* path, HRESULT* result);

    std::uint32_t DurationMs() const override;
    unsigned SourceRate() const override;
    HRESULT SetOutputRate(unsigned rate) override;
    HRESULT Seek(std::uint32_t ms) override;
    HRESULT Read(std::uint8_t* out, std::size_t length, std::size_t* produced) override;

private:
    CFfmpegDecoder() = default;
    HRESULT Refill();
    HRESULT Convert(const AVFrame* frame);
    // Resamples samples of input (null: what the resampler still holds) onto the output.
    HRESULT Append(std::uint8_t* const* input, int samples);
    HRESULT Fail(HRESULT failure);
    void Drop(std::size_t bytes);

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwrContext* m_resampler = nullptr;
    int m_stream = -1;
    unsigned m_outputRate = 0;
    std::vector<std::uint8_t> m_pending; // converted output not yet read
    std::size_t m_pendingStart = 0;
    std::int64_t m_skipFrames = 0;  // output frames still to drop after a seek
    std::int64_t m_seekTarget = -1; // output frame a seek went to, until the first frame
    bool m_packetHeld = false;      // a packet the decoder could not take yet
    bool m_endSent = false;         // the decoder has been told there is no more input
    bool m_drained = false;         // the decoder has given its last frame
    bool m_flushed = false;         // the resampler has given its last samples
    int m_badPackets = 0;           // damaged packets or frames in a row
    HRESULT m_failure = S_OK;       // once set, decoding is over
    int m_inputRate = 0;            // what the resampler was made for
    int m_inputFormat = -1;
    AVChannelLayout m_inputLayout{};
};
