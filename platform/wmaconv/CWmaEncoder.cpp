#include "CWmaEncoder.h"

#include "SourceRates.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

// What every WMA file written here is: WMA version 2 in ASF, 128 kbit/s, stereo at 44.1 kHz.
constexpr int kRate = 44100;
constexpr std::int64_t kBitRate = 128000;
constexpr AVSampleFormat kSampleFormat = AV_SAMPLE_FMT_FLTP;

// Failures of our own, beside FFmpeg's (negative) error codes.
constexpr int kNotWave = WMACONV_E_FORMAT;     // not a WAV file with one audio stream we take
constexpr int kNoCodec = WMACONV_E_FORMAT;     // no decoder for the source's samples
constexpr int kNoEncoder = E_NOTIMPL;          // this FFmpeg has no WMA encoder
constexpr int kShortSource = WMACONV_E_DECODE; // the source ends before the samples it announces

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb != nullptr) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerCloser {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct FifoCloser {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecCloser>;
using Resampler = std::unique_ptr<SwrContext, ResamplerCloser>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoCloser>;
using Frame = std::unique_ptr<AVFrame, FrameCloser>;
using Packet = std::unique_ptr<AVPacket, PacketCloser>;

// One conversion, its contexts released in reverse order of creation.
class Conversion {
public:
    explicit Conversion(std::atomic<double>& progress) : m_progress(progress) {}

    int Run(const char* source, const char* destination) {
        int result = OpenSource(source);
        if (result == 0) {
            result = OpenEncoder();
        }
        if (result == 0) {
            result = OpenDestination(destination);
        }
        if (result == 0) {
            result = Pump();
        }
        if (result == 0) {
            result = Close();
        }
        if (result != 0 && m_created) {
            m_output.reset();
            // Only the regular file made here goes, never what the name might lead to.
            struct stat status {};
            if (::lstat(destination, &status) == 0 && S_ISREG(status.st_mode)) {
                std::remove(destination);
            }
        }
        return result;
    }

private:
    int OpenSource(const char* source) {
        AVFormatContext* input = nullptr;
        const AVInputFormat* wav = av_find_input_format("wav");
        if (wav == nullptr) {
            return kNoEncoder;
        }
        // A path is a file: "file:" keeps a name with a colon from being taken for a protocol,
        // and no other protocol is allowed.
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const std::string url = std::string("file:") + source;
        const int opened = avformat_open_input(&input, url.c_str(), wav, &options);
        av_dict_free(&options);
        if (opened < 0) {
            return WMACONV_E_FILEOPEN;
        }
        m_input.reset(input);
        if (m_input->nb_streams != 1 ||
            m_input->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            return kNotWave;
        }
        const AVStream* stream = m_input->streams[0];
        const AVCodecParameters* par = stream->codecpar;
        if (!IsSourceRate(par->sample_rate) || par->ch_layout.nb_channels <= 0) {
            return kNotWave;
        }
        const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
        if (decoder == nullptr) {
            return kNoCodec;
        }
        m_decoder.reset(avcodec_alloc_context3(decoder));
        if (!m_decoder) {
            return AVERROR(ENOMEM);
        }
        if (const int r = avcodec_parameters_to_context(m_decoder.get(), par); r < 0) {
            return r;
        }
        if (const int r = avcodec_open2(m_decoder.get(), decoder, nullptr); r < 0) {
            return r;
        }
        // For PCM the header's data size tells how many samples there are. FFmpeg's reader
        // gives the stream no length when that size runs past the end of the file: a file cut
        // short is a failure instead of a shorter copy that seems complete.
        if (av_get_exact_bits_per_sample(par->codec_id) > 0) {
            if (stream->duration <= 0 || stream->duration == AV_NOPTS_VALUE) {
                return kShortSource;
            }
            m_expected = av_rescale_q(stream->duration, stream->time_base, {1, par->sample_rate});
            m_blockAlign = par->block_align;
        }
        m_size = avio_size(m_input->pb);
        return 0;
    }

    int OpenEncoder() {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (encoder == nullptr) {
            return kNoEncoder;
        }
        m_encoder.reset(avcodec_alloc_context3(encoder));
        m_packet.reset(av_packet_alloc());
        m_frame.reset(av_frame_alloc());
        m_decoded.reset(av_frame_alloc());
        if (!m_encoder || !m_packet || !m_frame || !m_decoded) {
            return AVERROR(ENOMEM);
        }
        AVCodecContext* e = m_encoder.get();
        e->sample_fmt = kSampleFormat;
        e->sample_rate = kRate;
        e->bit_rate = kBitRate;
        e->time_base = {1, kRate};
        e->flags |= AV_CODEC_FLAG_BITEXACT;
        av_channel_layout_default(&e->ch_layout, 2);
        if (const int r = avcodec_open2(e, encoder, nullptr); r < 0) {
            return r;
        }
        AVChannelLayout in{};
        if (m_decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&in, m_decoder->ch_layout.nb_channels);
        } else if (const int r = av_channel_layout_copy(&in, &m_decoder->ch_layout); r < 0) {
            return r;
        }
        SwrContext* swr = nullptr;
        const int r =
            swr_alloc_set_opts2(&swr, &e->ch_layout, kSampleFormat, kRate, &in,
                                m_decoder->sample_fmt, m_decoder->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (r < 0) {
            return r;
        }
        m_resampler.reset(swr);
        if (const int s = swr_init(swr); s < 0) {
            return s;
        }
        m_fifo.reset(av_audio_fifo_alloc(kSampleFormat, 2, 2 * e->frame_size));
        if (!m_fifo) {
            return AVERROR(ENOMEM);
        }
        // Decoders give nothing for the first frame (it only primes their overlap): a frame
        // of silence goes first, so the source's first samples are not the ones lost. The
        // encoder stamps its packets a frame early (its initial padding): the silence lies
        // before 0, and players and the file's length count from the source's first sample.
        std::uint8_t* silence[2] = {nullptr, nullptr};
        if (const int r = av_samples_alloc(silence, nullptr, 2, e->frame_size, kSampleFormat, 0);
            r < 0) {
            return r;
        }
        av_samples_set_silence(silence, 0, e->frame_size, 2, kSampleFormat);
        const int written =
            av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(silence), e->frame_size);
        av_freep(&silence[0]);
        return written < 0 ? written : 0;
    }

    int OpenDestination(const char* destination) {
        AVFormatContext* output = nullptr;
        if (const int r = avformat_alloc_output_context2(&output, nullptr, "asf", destination);
            r < 0) {
            return r;
        }
        m_output.reset(output);
        // No encoder name or other tags: the file carries audio only.
        output->flags |= AVFMT_FLAG_BITEXACT;
        // The leading frame of silence keeps its time before 0.
        output->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
        AVStream* stream = avformat_new_stream(output, nullptr);
        if (stream == nullptr) {
            return AVERROR(ENOMEM);
        }
        if (const int r = avcodec_parameters_from_context(stream->codecpar, m_encoder.get());
            r < 0) {
            return r;
        }
        stream->time_base = m_encoder->time_base;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const std::string url = std::string("file:") + destination;
        const int opened = avio_open2(&output->pb, url.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
        av_dict_free(&options);
        if (opened < 0) {
            return opened;
        }
        m_created = true;
        if (const int r = avformat_write_header(output, nullptr); r < 0) {
            return r;
        }
        return 0;
    }

    // Reads, decodes, resamples and encodes the whole source.
    int Pump() {
        AVPacket* packet = m_packet.get();
        for (;;) {
            const int r = av_read_frame(m_input.get(), packet);
            if (r == AVERROR_EOF) {
                break;
            }
            if (r < 0) {
                return r;
            }
            // A trailing part of a sample frame holds no sample: it is left out.
            if (m_blockAlign > 0) {
                packet->size -= packet->size % m_blockAlign;
            }
            if (packet->size == 0 || packet->stream_index != 0) {
                av_packet_unref(packet);
                continue;
            }
            const int s = avcodec_send_packet(m_decoder.get(), packet);
            av_packet_unref(packet);
            if (s < 0 && s != AVERROR_INVALIDDATA) {
                return s;
            }
            if (const int d = Decode(); d < 0) {
                return d;
            }
            if (m_size > 0) {
                m_progress =
                    static_cast<double>(avio_tell(m_input->pb)) / static_cast<double>(m_size);
            }
        }
        if (const int s = avcodec_send_packet(m_decoder.get(), nullptr); s < 0) {
            return s;
        }
        if (const int d = Decode(); d < 0) {
            return d;
        }
        if (m_expected > 0 && m_decodedSamples < m_expected) {
            return kShortSource;
        }
        // What the resampler still holds, then the last short frame.
        if (const int r = Resample(nullptr, 0); r < 0) {
            return r;
        }
        if (const int r = EncodeFifo(true); r < 0) {
            return r;
        }
        return Encode(nullptr);
    }

    int Decode() {
        for (;;) {
            const int r = avcodec_receive_frame(m_decoder.get(), m_decoded.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                return 0;
            }
            if (r < 0) {
                return r;
            }
            m_decodedSamples += m_decoded->nb_samples;
            const int s = Resample(const_cast<const std::uint8_t**>(m_decoded->extended_data),
                                   m_decoded->nb_samples);
            av_frame_unref(m_decoded.get());
            if (s < 0) {
                return s;
            }
            if (const int e = EncodeFifo(false); e < 0) {
                return e;
            }
        }
    }

    int Resample(const std::uint8_t** data, int samples) {
        const int room = swr_get_out_samples(m_resampler.get(), samples);
        if (room < 0) {
            return room;
        }
        if (room == 0) {
            return 0;
        }
        if (const int r =
                av_audio_fifo_realloc(m_fifo.get(), av_audio_fifo_size(m_fifo.get()) + room);
            r < 0) {
            return r;
        }
        // Converted straight into planes of our own, then queued for whole frames.
        std::uint8_t* planes[2] = {nullptr, nullptr};
        if (const int r = av_samples_alloc(planes, nullptr, 2, room, kSampleFormat, 0); r < 0) {
            return r;
        }
        const int made = swr_convert(m_resampler.get(), planes, room, data, samples);
        int result = made;
        if (made > 0) {
            result = av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(planes), made);
        }
        av_freep(&planes[0]);
        return result < 0 ? result : 0;
    }

    // Encodes every whole frame waiting; with last, also the short remainder.
    int EncodeFifo(bool last) {
        const int frameSize = m_encoder->frame_size;
        while (av_audio_fifo_size(m_fifo.get()) >= frameSize ||
               (last && av_audio_fifo_size(m_fifo.get()) > 0)) {
            const int samples = std::min(av_audio_fifo_size(m_fifo.get()), frameSize);
            AVFrame* frame = m_frame.get();
            av_frame_unref(frame);
            frame->nb_samples = samples;
            frame->format = kSampleFormat;
            frame->sample_rate = kRate;
            if (const int r = av_channel_layout_copy(&frame->ch_layout, &m_encoder->ch_layout);
                r < 0) {
                return r;
            }
            if (const int r = av_frame_get_buffer(frame, 0); r < 0) {
                return r;
            }
            if (av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(frame->data), samples) <
                samples) {
                return AVERROR_BUG;
            }
            frame->pts = m_encodedSamples;
            m_encodedSamples += samples;
            if (const int r = Encode(frame); r < 0) {
                return r;
            }
        }
        return 0;
    }

    int Encode(AVFrame* frame) {
        if (const int r = avcodec_send_frame(m_encoder.get(), frame); r < 0) {
            return r;
        }
        AVPacket* packet = m_packet.get();
        for (;;) {
            const int r = avcodec_receive_packet(m_encoder.get(), packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                return 0;
            }
            if (r < 0) {
                return r;
            }
            packet->stream_index = 0;
            av_packet_rescale_ts(packet, m_encoder->time_base, m_output->streams[0]->time_base);
            if (const int w = av_interleaved_write_frame(m_output.get(), packet); w < 0) {
                return w;
            }
        }
    }

    // Finishes the file; every byte must have reached it.
    int Close() {
        if (const int r = av_write_trailer(m_output.get()); r < 0) {
            return r;
        }
        AVIOContext* pb = m_output->pb;
        avio_flush(pb);
        if (pb->error < 0) {
            return pb->error;
        }
        if (const int r = avio_closep(&m_output->pb); r < 0) {
            return r;
        }
        m_progress = 1.0;
        return 0;
    }

    std::atomic<double>& m_progress;
    Input m_input;
    Codec m_decoder;
    Codec m_encoder;
    Resampler m_resampler;
    Fifo m_fifo;
    Frame m_frame;
    Frame m_decoded;
    Packet m_packet;
    Output m_output;
    bool m_created = false;
    std::int64_t m_size = 0;
    std::int64_t m_expected = 0;
    int m_blockAlign = 0;
    std::int64_t m_decodedSamples = 0;
    std::int64_t m_encodedSamples = 0;
};

} // namespace

HRESULT CWmaEncoder::Run(const char* source, const char* destination,
                         std::atomic<double>& progress) {
    Conversion conversion(progress);
    const int result = conversion.Run(source, destination);
    // FFmpeg's codes are negative already; anything else would not read as a failure.
    return result > 0 ? E_FAIL : result;
}
