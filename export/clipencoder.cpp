#include "clipencoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

extern "C" {
#include <ebur128.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace vorel::exports {

namespace {

constexpr double SampleScale = 1.0 / 32768.0;

std::vector<float> toFloat(const TPcm &pcm, double gain) {
    std::vector<float> out(pcm.samples.size());
    const double k = gain * SampleScale;
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<float>(pcm.samples[i] * k);
    return out;
}

[[noreturn]] void fail(const char *what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    throw std::runtime_error(std::string("MP3 编码失败：") + what + "（" + text + "）");
}

// The muxer writes the info frame last, at the start: the sink must seek.
struct MemorySink {
    std::vector<uint8_t> data;
    int64_t pos = 0;

    static int write(void *opaque, uint8_t *buf, int size) {
        auto *s = static_cast<MemorySink *>(opaque);
        if (s->data.size() < static_cast<size_t>(s->pos + size))
            s->data.resize(static_cast<size_t>(s->pos + size));
        std::memcpy(s->data.data() + s->pos, buf, static_cast<size_t>(size));
        s->pos += size;
        return size;
    }
    static int64_t seek(void *opaque, int64_t offset, int whence) {
        auto *s = static_cast<MemorySink *>(opaque);
        const auto size = static_cast<int64_t>(s->data.size());
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: s->pos = offset; break;
        case SEEK_CUR: s->pos += offset; break;
        case SEEK_END: s->pos = size + offset; break;
        default: return -1;
        }
        return s->pos;
    }
};

struct Encoder {
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    AVIOContext *io = nullptr;
    AVStream *stream = nullptr;
    MemorySink sink;

    ~Encoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        avformat_free_context(format);
    }

    void drain() {
        for (;;) {
            const int rc = avcodec_receive_packet(codec, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0)
                fail("receive_packet", rc);
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = 0;
            if (const int w = av_write_frame(format, packet); w < 0)
                fail("write_frame", w);
        }
    }
};

// The rates the MP3 format has.
constexpr int32_t Mp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

} // namespace

TPcm ConformForMp3(TPcm pcm) {
    int32_t rate = Mp3Rates[std::size(Mp3Rates) - 1];
    for (const int32_t r : Mp3Rates)
        if (r >= pcm.sampleRate) {
            rate = r;
            break;
        }
    const int32_t channels = std::min(pcm.channels, 2);
    if (rate == pcm.sampleRate && channels == pcm.channels)
        return pcm;
    AVChannelLayout in{}, out{};
    av_channel_layout_default(&in, pcm.channels);
    av_channel_layout_default(&out, channels);
    SwrContext *swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, rate, &in, AV_SAMPLE_FMT_S16, pcm.sampleRate, 0,
                                 nullptr);
    if (rc >= 0)
        rc = swr_init(swr);
    TPcm conformed{rate, channels, {}};
    if (rc >= 0) {
        const int64_t room = swr_get_out_samples(swr, static_cast<int>(pcm.Frames())) + 64;
        conformed.samples.resize(static_cast<size_t>(room) * channels);
        auto *to = reinterpret_cast<uint8_t *>(conformed.samples.data());
        const auto *from = reinterpret_cast<const uint8_t *>(pcm.samples.data());
        int got = swr_convert(swr, &to, static_cast<int>(room), &from, static_cast<int>(pcm.Frames()));
        if (got >= 0) {
            // The resampler's delay: what it still holds comes out on a flush.
            uint8_t *rest = to + static_cast<size_t>(got) * channels * 2;
            const int more = swr_convert(swr, &rest, static_cast<int>(room - got), nullptr, 0);
            got += std::max(more, 0);
            conformed.samples.resize(static_cast<size_t>(got) * channels);
        }
        rc = got;
    }
    swr_free(&swr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc < 0)
        fail("resample", rc);
    return conformed;
}

double IntegratedLoudness(const TPcm &pcm, double gain) {
    const double none = -std::numeric_limits<double>::infinity();
    if (pcm.channels <= 0 || pcm.sampleRate <= 0 || pcm.samples.empty())
        return none;
    std::unique_ptr<ebur128_state, void (*)(ebur128_state *)> st(
        ebur128_init(static_cast<unsigned>(pcm.channels), static_cast<unsigned long>(pcm.sampleRate), EBUR128_MODE_I),
        [](ebur128_state *s) { ebur128_destroy(&s); });
    if (!st)
        return none;
    const std::vector<float> samples = toFloat(pcm, gain);
    double out = none;
    if (ebur128_add_frames_float(st.get(), samples.data(), static_cast<size_t>(pcm.Frames())) != EBUR128_SUCCESS ||
        ebur128_loudness_global(st.get(), &out) != EBUR128_SUCCESS)
        return none;
    return out;
}

double LoudnessGain(const TPcm &pcm, const TClipSettings &settings) {
    const double loudness = IntegratedLoudness(pcm);
    if (!std::isfinite(loudness))
        return 1.0;
    int peak = 0;
    for (const int16_t s : pcm.samples)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    const double gainDb = settings.targetLufs - loudness;
    const double headroomDb = settings.peakCeilingDb - 20.0 * std::log10(std::max(peak, 1) * SampleScale);
    return std::pow(10.0, std::min(gainDb, headroomDb) / 20.0);
}

std::vector<uint8_t> EncodeMp3(const TPcm &pcm, double gain, int32_t bitRatePerChannel) {
    const AVCodec *lame = avcodec_find_encoder_by_name("libmp3lame");
    if (!lame)
        throw std::runtime_error("MP3 编码失败：FFmpeg 中没有 LAME 编码器");
    Encoder e;
    if (const int rc = avformat_alloc_output_context2(&e.format, nullptr, "mp3", nullptr); rc < 0)
        fail("mp3 muxer", rc);
    e.stream = avformat_new_stream(e.format, nullptr);
    e.codec = avcodec_alloc_context3(lame);
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.stream || !e.codec || !e.frame || !e.packet)
        fail("alloc", AVERROR(ENOMEM));
    e.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    e.codec->sample_rate = pcm.sampleRate;
    av_channel_layout_default(&e.codec->ch_layout, pcm.channels);
    e.codec->bit_rate = static_cast<int64_t>(bitRatePerChannel) * pcm.channels;
    e.codec->time_base = {1, pcm.sampleRate};
    if (const int rc = avcodec_open2(e.codec, lame, nullptr); rc < 0)
        fail("open", rc);
    if (const int rc = avcodec_parameters_from_context(e.stream->codecpar, e.codec); rc < 0)
        fail("parameters", rc);
    e.stream->time_base = e.codec->time_base;

    constexpr int IoBuffer = 1 << 16;
    auto *buffer = static_cast<uint8_t *>(av_malloc(IoBuffer));
    e.io = avio_alloc_context(buffer, IoBuffer, 1, &e.sink, nullptr, &MemorySink::write, &MemorySink::seek);
    if (!e.io) {
        av_free(buffer);
        fail("avio", AVERROR(ENOMEM));
    }
    e.io->seekable = AVIO_SEEKABLE_NORMAL;
    e.format->pb = e.io;
    e.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "id3v2_version", "0", 0); // no tag: the clip is a card's sound, not a song
    const int header = avformat_write_header(e.format, &options);
    av_dict_free(&options);
    if (header < 0)
        fail("header", header);

    const std::vector<float> samples = toFloat(pcm, gain);
    const int channels = pcm.channels;
    const int64_t frames = pcm.Frames();
    const int chunk = e.codec->frame_size > 0 ? e.codec->frame_size : 1152;
    for (int64_t at = 0; at < frames; at += chunk) {
        const int n = static_cast<int>(std::min<int64_t>(chunk, frames - at));
        av_frame_unref(e.frame);
        e.frame->nb_samples = n;
        e.frame->format = e.codec->sample_fmt;
        e.frame->sample_rate = pcm.sampleRate;
        if (const int rc = av_channel_layout_copy(&e.frame->ch_layout, &e.codec->ch_layout); rc < 0)
            fail("layout", rc);
        if (const int rc = av_frame_get_buffer(e.frame, 0); rc < 0)
            fail("frame", rc);
        for (int c = 0; c < channels; ++c) {
            auto *plane = reinterpret_cast<float *>(e.frame->extended_data[c]);
            const float *from = samples.data() + at * channels + c;
            for (int i = 0; i < n; ++i)
                plane[i] = from[static_cast<size_t>(i) * channels];
        }
        e.frame->pts = at;
        if (const int rc = avcodec_send_frame(e.codec, e.frame); rc < 0)
            fail("send_frame", rc);
        e.drain();
    }
    if (const int rc = avcodec_send_frame(e.codec, nullptr); rc < 0)
        fail("flush", rc);
    e.drain();
    if (const int rc = av_write_trailer(e.format); rc < 0)
        fail("trailer", rc);
    avio_flush(e.io);
    return std::move(e.sink.data);
}

} // namespace vorel::exports
