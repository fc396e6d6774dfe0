#include "CFfmpegDecoder.h"

#include "SourceRates.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace {

constexpr std::size_t kFrameBytes = 4; // 16-bit stereo
// Damaged packets in a row after which a file counts as undecodable instead of damaged.
constexpr int kMaxBadPackets = 200;

void QuietLibrary() {
    // Damaged files are reported through results; FFmpeg's own messages would only go to
    // the terminal.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace

CFfmpegDecoder::~CFfmpegDecoder() {
    swr_free(&m_resampler);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
    av_channel_layout_uninit(&m_inputLayout);
}

std::unique_ptr<CFfmpegDecoder> CFfmpegDecoder::Open(const char* path, HRESULT* result) {
    QuietLibrary();
    *result = WMACONV_E_FILEOPEN;
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    // Only a regular file is played: opening a named pipe would wait for a writer, and a
    // device never ends.
    struct stat status {};
    if (::stat(path, &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    std::unique_ptr<CFfmpegDecoder> decoder(new CFfmpegDecoder);
    // A path is a file: "file:" keeps a name with a colon from being taken for a protocol,
    // and no demuxer may reach beyond local files (a playlist naming a URL, for one).
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string url = std::string("file:") + path;
    const int opened = avformat_open_input(&decoder->m_format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        decoder->m_format = nullptr;
        const bool unreadable = opened == AVERROR(ENOENT) || opened == AVERROR(EACCES) ||
                                opened == AVERROR(EISDIR) || opened == AVERROR(EIO);
        *result = unreadable ? WMACONV_E_FILEOPEN : WMACONV_E_FORMAT;
        return nullptr;
    }
    *result = WMACONV_E_FORMAT;
    if (avformat_find_stream_info(decoder->m_format, nullptr) < 0) {
        return nullptr;
    }
    const AVCodec* codec = nullptr;
    decoder->m_stream =
        av_find_best_stream(decoder->m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (decoder->m_stream < 0 || codec == nullptr) {
        return nullptr;
    }
    const AVStream* stream = decoder->m_format->streams[decoder->m_stream];
    decoder->m_codec = avcodec_alloc_context3(codec);
    decoder->m_packet = av_packet_alloc();
    decoder->m_frame = av_frame_alloc();
    if (decoder->m_codec == nullptr || decoder->m_packet == nullptr ||
        decoder->m_frame == nullptr) {
        *result = E_OUTOFMEMORY;
        return nullptr;
    }
    if (avcodec_parameters_to_context(decoder->m_codec, stream->codecpar) < 0 ||
        avcodec_open2(decoder->m_codec, codec, nullptr) < 0 ||
        !IsSourceRate(decoder->m_codec->sample_rate)) {
        return nullptr;
    }
    // Only the chosen stream is read at all.
    for (unsigned i = 0; i < decoder->m_format->nb_streams; ++i) {
        if (static_cast<int>(i) != decoder->m_stream) {
            decoder->m_format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    *result = S_OK;
    return decoder;
}

std::uint32_t CFfmpegDecoder::DurationMs() const {
    std::int64_t ms = 0;
    const AVStream* stream = m_format->streams[m_stream];
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
        ms = av_rescale(m_format->duration, 1000, AV_TIME_BASE);
    } else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        ms = av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
    }
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, 0xFFFFFFFF));
}

unsigned CFfmpegDecoder::SourceRate() const {
    return static_cast<unsigned>(m_codec->sample_rate);
}

HRESULT CFfmpegDecoder::SetOutputRate(unsigned rate) {
    if (rate < 1000 || rate > 384000) {
        return E_INVALIDARG;
    }
    m_outputRate = rate;
    swr_free(&m_resampler); // made again for the next frame
    return S_OK;
}

HRESULT CFfmpegDecoder::Seek(std::uint32_t ms) {
    m_pending.clear();
    m_pendingStart = 0;
    m_skipFrames = 0;
    m_seekTarget = -1;
    if (ms == 0) {
        return S_OK;
    }
    const std::int64_t target = av_rescale(ms, AV_TIME_BASE, 1000);
    const std::int64_t start =
        m_format->start_time != AV_NOPTS_VALUE ? m_format->start_time : std::int64_t{0};
    if (avformat_seek_file(m_format, -1, INT64_MIN, start + target, start + target, 0) >= 0) {
        avcodec_flush_buffers(m_codec);
        swr_free(&m_resampler);
        // The demuxer lands on or before the target; the first frame tells how far before.
        m_seekTarget = ms;
    } else {
        // Not seekable: decoded from the start and dropped up to the position.
        m_skipFrames = static_cast<std::int64_t>(ms) * m_outputRate / 1000;
    }
    return S_OK;
}

HRESULT CFfmpegDecoder::Read(std::uint8_t* out, std::size_t length, std::size_t* produced) {
    *produced = 0;
    if (m_outputRate == 0) {
        return E_UNEXPECTED;
    }
    length -= length % kFrameBytes;
    while (m_pending.size() - m_pendingStart < length && !m_flushed) {
        const HRESULT refilled = Refill();
        if (FAILED(refilled)) {
            // What was decoded before the failure is still played.
            const std::size_t part = std::min(length, m_pending.size() - m_pendingStart);
            part > 0 ? void(std::memcpy(out, m_pending.data() + m_pendingStart, part)) : void();
            Drop(part);
            *produced = part;
            return part > 0 ? S_OK : refilled;
        }
    }
    const std::size_t part = std::min(length, m_pending.size() - m_pendingStart);
    if (part > 0) {
        std::memcpy(out, m_pending.data() + m_pendingStart, part);
    }
    Drop(part);
    *produced = part;
    return m_failure != S_OK && part == 0 ? m_failure : S_OK;
}

void CFfmpegDecoder::Drop(std::size_t bytes) {
    m_pendingStart += bytes;
    if (m_pendingStart == m_pending.size()) {
        m_pending.clear();
        m_pendingStart = 0;
    }
}

HRESULT CFfmpegDecoder::Refill() {
    if (m_failure != S_OK) {
        return m_failure;
    }
    if (m_drained) {
        // The decoder is empty: what the resampler still holds comes last.
        if (m_resampler != nullptr) {
            Append(nullptr, 0);
        }
        m_flushed = true;
        return S_OK;
    }
    const int received = avcodec_receive_frame(m_codec, m_frame);
    if (received == 0) {
        m_badPackets = 0;
        const HRESULT converted = Convert(m_frame);
        av_frame_unref(m_frame);
        return converted;
    }
    if (received == AVERROR_EOF) {
        m_drained = true;
        return S_OK;
    }
    if (received != AVERROR(EAGAIN)) {
        // A frame that does not decode is skipped, unless nothing decodes any more.
        return ++m_badPackets > kMaxBadPackets ? Fail(WMACONV_E_DECODE) : S_OK;
    }
    // The decoder wants input.
    if (!m_packetHeld) {
        if (m_endSent) {
            m_drained = true;
            return S_OK;
        }
        const int read = av_read_frame(m_format, m_packet);
        if (read < 0) {
            // The end, or a file cut short: either way there is no more input, and what the
            // decoder holds still comes out.
            m_endSent = true;
            avcodec_send_packet(m_codec, nullptr);
            return S_OK;
        }
        if (m_packet->stream_index != m_stream) {
            av_packet_unref(m_packet);
            return S_OK;
        }
        m_packetHeld = true;
    }
    const int sent = avcodec_send_packet(m_codec, m_packet);
    if (sent == AVERROR(EAGAIN)) {
        return S_OK; // kept until the decoder has given out what it holds
    }
    av_packet_unref(m_packet);
    m_packetHeld = false;
    if (sent < 0) {
        return ++m_badPackets > kMaxBadPackets ? Fail(WMACONV_E_DECODE) : S_OK;
    }
    return S_OK;
}

HRESULT CFfmpegDecoder::Fail(HRESULT failure) {
    m_failure = failure;
    return failure;
}

HRESULT CFfmpegDecoder::Convert(const AVFrame* frame) {
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0) {
        return S_OK;
    }
    if (!IsSourceRate(frame->sample_rate)) {
        return Fail(WMACONV_E_FORMAT);
    }
    // The resampler follows the frames: a stream may change its rate or channels midway.
    const bool changed = m_resampler == nullptr || frame->sample_rate != m_inputRate ||
                         frame->format != m_inputFormat ||
                         av_channel_layout_compare(&frame->ch_layout, &m_inputLayout) != 0;
    if (changed) {
        if (m_resampler != nullptr) {
            Append(nullptr, 0);
        }
        swr_free(&m_resampler);
        av_channel_layout_uninit(&m_inputLayout);
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&m_inputLayout, frame->ch_layout.nb_channels);
        } else if (av_channel_layout_copy(&m_inputLayout, &frame->ch_layout) < 0) {
            return Fail(E_OUTOFMEMORY);
        }
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&m_resampler, &stereo, AV_SAMPLE_FMT_S16,
                                static_cast<int>(m_outputRate), &m_inputLayout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(m_resampler) < 0) {
            swr_free(&m_resampler);
            return Fail(WMACONV_E_FORMAT);
        }
        m_inputRate = frame->sample_rate;
        m_inputFormat = frame->format;
    }
    if (m_seekTarget >= 0) {
        // Sample-accurate start: drop what lies before the position in the first frame(s).
        const AVStream* stream = m_format->streams[m_stream];
        const std::int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            const std::int64_t atMs =
                av_rescale_q(pts - start, stream->time_base, AVRational{1, 1000});
            if (atMs < m_seekTarget) {
                m_skipFrames =
                    (m_seekTarget - atMs) * static_cast<std::int64_t>(m_outputRate) / 1000;
            }
        }
        m_seekTarget = -1;
    }
    return Append(frame->extended_data, frame->nb_samples);
}

HRESULT CFfmpegDecoder::Append(std::uint8_t* const* input, int samples) {
    const int room = swr_get_out_samples(m_resampler, samples);
    if (room < 0) {
        return Fail(WMACONV_E_DECODE);
    }
    if (room == 0) {
        return S_OK;
    }
    const std::size_t at = m_pending.size();
    m_pending.resize(at + static_cast<std::size_t>(room) * kFrameBytes);
    std::uint8_t* target = m_pending.data() + at;
    const int converted =
        swr_convert(m_resampler, &target, room, const_cast<const std::uint8_t**>(input), samples);
    if (converted < 0) {
        m_pending.resize(at);
        return Fail(WMACONV_E_DECODE);
    }
    m_pending.resize(at + static_cast<std::size_t>(converted) * kFrameBytes);
    if (m_skipFrames > 0) {
        const std::int64_t skip = std::min<std::int64_t>(m_skipFrames, converted);
        m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(at),
                        m_pending.begin() + static_cast<std::ptrdiff_t>(at + skip * kFrameBytes));
        m_skipFrames -= skip;
    }
    return S_OK;
}
