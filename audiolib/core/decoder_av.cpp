// The audio of MP4/M4A/M4B, MOV, Matroska/WebM (and Ogg that libsndfile refuses)
// through libavformat and libavcodec: the first audio track, as 16-bit at the
// codec's own rate; more than two channels are mixed down to stereo.
//
// Frame numbers count from the first sample the decoder delivers after the
// container's priming has been dropped. The length comes from the container
// (edit list or iTunSMPB), so a trailing padding is never delivered. Seeking
// starts decoding a little before the target (the codecs' overlap needs the
// previous frame) and discards up to it; where the container's time base is as
// fine as the sample rate (MP4, MOV) the result is sample-exact, in Matroska
// (millisecond stamps) within a millisecond.
#include "audiolib.h"
#include "decoder_detail.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace vorel::audiolib::detail {

namespace {

constexpr int kIoBuffer = 64 * 1024;
// Decoded before a seek target: two AAC (SBR) or MP3 frames, a long Vorbis block;
// Opus asks for more through its own seek preroll.
constexpr int64_t kMinPrerollFrames = 8192;
constexpr uint32_t kMaxRate = 768000;

// Only containers whose audio we promise; the probe would otherwise take text,
// images or raw data for some format of its long list.
bool acceptedDemuxer(const char *name) {
    static const char *const kNames[] = {"mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm", "ogg"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char *n) { return std::strcmp(n, name) == 0; });
}

uint32_t ctypeFor(AVCodecID codec, bool mp4) {
    switch (codec) {
    case AV_CODEC_ID_AAC: return mp4 ? BASS_CTYPE_STREAM_MP4 : BASS_CTYPE_STREAM_AAC;
    case AV_CODEC_ID_MP3: return BASS_CTYPE_STREAM_MP3;
    case AV_CODEC_ID_VORBIS: return BASS_CTYPE_STREAM_OGG;
    case AV_CODEC_ID_OPUS: return BASS_CTYPE_STREAM_OPUS;
    case AV_CODEC_ID_FLAC: return BASS_CTYPE_STREAM_FLAC;
    case AV_CODEC_ID_ALAC: return BASS_CTYPE_STREAM_ALAC;
    default: return BASS_CTYPE_STREAM;
    }
}

// The sample count of an iTunSMPB tag (" 00000000 priming padding count ..."),
// or 0 when there is none or it cannot be read.
int64_t itunesSampleCount(const AVFormatContext *fmt, const AVStream *st) {
    const AVDictionaryEntry *e = av_dict_get(fmt->metadata, "iTunSMPB", nullptr, 0);
    if (!e)
        e = av_dict_get(st->metadata, "iTunSMPB", nullptr, 0);
    unsigned zero = 0, priming = 0, padding = 0;
    unsigned long long count = 0;
    if (!e || std::sscanf(e->value, " %x %x %x %llx", &zero, &priming, &padding, &count) != 4)
        return 0;
    return static_cast<int64_t>(std::min<unsigned long long>(count, INT64_MAX));
}

struct IoCursor {
    const SourceFile *file;
    int64_t pos = 0;
};

int ioRead(void *user, uint8_t *buf, int size) {
    auto *c = static_cast<IoCursor *>(user);
    const int64_t got = c->file->readAt(static_cast<uint64_t>(c->pos), buf, static_cast<size_t>(size));
    if (got < 0)
        return AVERROR(EIO);
    if (got == 0)
        return AVERROR_EOF;
    c->pos += got;
    return static_cast<int>(got);
}

int64_t ioSeek(void *user, int64_t offset, int whence) {
    auto *c = static_cast<IoCursor *>(user);
    const auto size = static_cast<int64_t>(c->file->size());
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: break;
    case SEEK_CUR: offset += c->pos; break;
    case SEEK_END: offset += size; break;
    default: return -1;
    }
    if (offset < 0)
        return -1;
    c->pos = offset;
    return offset;
}

class AvDecoder final : public Decoder {
public:
    explicit AvDecoder(std::unique_ptr<SourceFile> file) : file_(std::move(file)), cursor_{file_.get()} {
        fileSize_ = file_->size();
    }

    ~AvDecoder() override {
        swr_free(&swr_);
        av_frame_free(&frame_);
        av_frame_free(&held_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        avformat_close_input(&fmt_);
        if (io_)
            av_freep(&io_->buffer);
        avio_context_free(&io_);
    }

    // -1: not a container of ours (the file goes back to the caller); otherwise
    // 0 on success or the library's error code.
    int open() {
        auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBuffer));
        if (!buffer)
            return BASS_ERROR_MEM;
        io_ = avio_alloc_context(buffer, kIoBuffer, 0, &cursor_, ioRead, nullptr, ioSeek);
        if (!io_) {
            av_free(buffer);
            return BASS_ERROR_MEM;
        }
        const AVInputFormat *probed = nullptr;
        // An empty name: detection by content only, never by extension.
        if (av_probe_input_buffer2(io_, &probed, "", nullptr, 0, 0) < 0 || !probed || !acceptedDemuxer(probed->name))
            return -1;
        fmt_ = avformat_alloc_context();
        if (!fmt_)
            return BASS_ERROR_MEM;
        fmt_->pb = io_;
        fmt_->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&fmt_, "", probed, nullptr) < 0)
            return BASS_ERROR_FILEFORM; // fmt_ is freed by the failure
        if (avformat_find_stream_info(fmt_, nullptr) < 0)
            return BASS_ERROR_FILEFORM;

        for (unsigned i = 0; i < fmt_->nb_streams && !stream_; ++i)
            if (fmt_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                stream_ = fmt_->streams[i];
        if (!stream_)
            return BASS_ERROR_NOTAUDIO;
        for (unsigned i = 0; i < fmt_->nb_streams; ++i)
            fmt_->streams[i]->discard = fmt_->streams[i] == stream_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

        readChapters();
        const AVCodecParameters *par = stream_->codecpar;
        if (const int r = openCodec(); r != 0)
            return r;
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (!packet_ || !frame_)
            return BASS_ERROR_MEM;

        // The real output format is that of the first frame (HE-AAC doubles the
        // rate its header names).
        if (!decodeFrame())
            return BASS_ERROR_FILEFORM;
        if (frame_->sample_rate <= 0 || uint32_t(frame_->sample_rate) > kMaxRate || frame_->ch_layout.nb_channels < 1)
            return BASS_ERROR_FILEFORM;
        format_.rate = static_cast<uint32_t>(frame_->sample_rate);
        format_.channels = frame_->ch_layout.nb_channels >= 2 ? 2 : 1;
        format_.bytesPerSample = 2;
        ctype_ = ctypeFor(par->codec_id, std::strcmp(probed->name, "mov,mp4,m4a,3gp,3g2,mj2") == 0);
        endStampsEarly_ = std::strcmp(probed->name, "ogg") == 0 || par->codec_id == AV_CODEC_ID_VORBIS;
        origin_ = stampFrame(frame_);
        if (origin_ == AV_NOPTS_VALUE)
            origin_ = 0;
        length_ = containerLength();
        if (length_ <= 0)
            return BASS_ERROR_FILEFORM;
        if (!convert(0))
            return BASS_ERROR_FILEFORM;
        frameStart_ = 0;
        learnFrameGrid();
        return 0;
    }

    void readChapters() {
        std::vector<std::pair<int64_t, std::string>> marks;
        for (unsigned i = 0; i < fmt_->nb_chapters; ++i) {
            const AVChapter *c = fmt_->chapters[i];
            const AVDictionaryEntry *title = av_dict_get(c->metadata, "title", nullptr, 0);
            std::string text = title && title->value ? title->value : "";
            // A tab would end the time field, and a line break has no place in a list row.
            std::replace_if(
                text.begin(), text.end(), [](char ch) { return ch == '\t' || ch == '\n' || ch == '\r'; }, ' ');
            marks.emplace_back(std::max<int64_t>(av_rescale_q(c->start, c->time_base, AVRational{1, 1000}), 0), text);
        }
        std::stable_sort(marks.begin(), marks.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &[ms, title] : marks) {
            chapters_ += std::to_string(ms) + '\t' + title;
            chapters_ += '\0';
        }
        if (!chapters_.empty())
            chapters_ += '\0';
    }

    std::unique_ptr<SourceFile> releaseFile() {
        avformat_close_input(&fmt_);
        if (io_)
            av_freep(&io_->buffer);
        avio_context_free(&io_);
        return std::move(file_);
    }

    int64_t lengthFrames() const override { return length_; }
    int64_t positionFrame() const override { return position_; }

    bool seekFrame(int64_t frame) override {
        if (frame < 0 || frame > length_)
            return false;
        if (frame == length_) {
            position_ = length_;
            pending_.clear();
            pendingAt_ = 0;
            return true;
        }
        // Close ahead (the usual case: a range that begins where the last one
        // ended, or a part of the file just after the open): decode forward.
        if (frame >= position_ && frame - position_ <= preroll() && !failed_) {
            discardTo(frame);
            return position_ == frame;
        }
        const int64_t from = std::max<int64_t>(frame - preroll(), 0);
        // From the start: the track's first packet, which may lie before 0 (the
        // priming an edit list cuts off), so that the codec sees the same data.
        const int64_t ts = from == 0 && firstPts_ != AV_NOPTS_VALUE
                               ? firstPts_
                               : av_rescale_q_rnd(from + origin_, AVRational{1, int(format_.rate)}, stream_->time_base,
                                                  AV_ROUND_DOWN);
        if (av_seek_frame(fmt_, stream_->index, ts, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        // From the start a fresh codec, so that the priming is dropped again and
        // the samples are those of the open; elsewhere a flushed one, which must
        // not drop any priming there.
        if (held_)
            av_frame_unref(held_);
        if (from == 0 ? openCodec() != 0 : (avcodec_flush_buffers(codec_), false)) {
            failed_ = true;
            return false;
        }
        av_frame_unref(frame_);
        failed_ = false;
        ended_ = false;
        pending_.clear();
        pendingAt_ = 0;
        // The first frame is placed by its stamp, the others counted on from it
        // (Matroska's millisecond stamps would jitter by samples).
        bool placed = false;
        for (;;) {
            if (!decodeFrame())
                return false;
            if (!placed) {
                // Ogg stamps only the last packet of a page: until one comes, the
                // place of what is decoded is unknown.
                const int64_t start = stampFrame(frame_);
                if (start == AV_NOPTS_VALUE) {
                    av_frame_unref(frame_);
                    continue;
                }
                frameStart_ = onFrameGrid(start - origin_);
                placed = true;
            } else {
                frameStart_ += int64_t(pendingFrames());
            }
            if (!convert(frameStart_))
                return false;
            const int64_t end = frameStart_ + int64_t(pendingFrames());
            if (end <= frame)
                continue;
            if (frameStart_ > frame) {
                // The seek point lies after the target (a stream whose first
                // stamp is late): the frames before it are silent.
                if (frameStart_ - frame > format_.rate)
                    return false;
                pending_.insert(pending_.begin(), size_t(frameStart_ - frame) * format_.channels, int16_t(0));
                frameStart_ = frame;
            }
            pendingAt_ = size_t(frame - frameStart_) * format_.channels;
            position_ = frame;
            return true;
        }
    }

    int64_t readFrames(void *buf, int64_t frames) override {
        auto *out = static_cast<int16_t *>(buf);
        int64_t done = 0;
        const size_t ch = format_.channels;
        while (done < frames && position_ < length_) {
            if (pendingAt_ >= pending_.size()) {
                if (!nextFrame())
                    break;
                continue;
            }
            const int64_t have = int64_t((pending_.size() - pendingAt_) / ch);
            const int64_t n = std::min({have, frames - done, length_ - position_});
            std::memcpy(out + done * int64_t(ch), pending_.data() + pendingAt_, size_t(n) * ch * sizeof(int16_t));
            pendingAt_ += size_t(n) * ch;
            done += n;
            position_ += n;
        }
        // Decoding ended before the container's length: the real end is here.
        if (done < frames && ended_ && pendingAt_ >= pending_.size() && position_ < length_)
            length_ = position_;
        return done;
    }

private:
    // Where stamps are coarser than a sample (Matroska: milliseconds) but the
    // codec's frames all have one size after the first (AAC, FLAC, Opus as
    // encoded), frame k starts at first + k * size: a stamp then says which k
    // it is. The second frame is decoded now and kept for the first read.
    void learnFrameGrid() {
        const AVRational tb = stream_->time_base;
        const double quantum = double(tb.num) * format_.rate / std::max(tb.den, 1);
        if (quantum <= 1.0 || !(held_ = av_frame_alloc()))
            return;
        const int64_t first = int64_t(pendingFrames());
        std::vector<int16_t> firstPcm = std::move(pending_);
        const size_t firstAt = pendingAt_;
        if (decodeFrame()) {
            if (frame_->sample_rate == int(format_.rate) && frame_->nb_samples > 2 * quantum) {
                gridSize_ = frame_->nb_samples;
                gridFirst_ = first;
            }
            av_frame_move_ref(held_, frame_);
        }
        pending_ = std::move(firstPcm);
        pendingAt_ = firstAt;
    }

    int64_t onFrameGrid(int64_t start) const {
        if (gridSize_ <= 0 || frame_->nb_samples != gridSize_ || frame_->sample_rate != int(format_.rate) ||
            start < gridFirst_ - gridSize_ / 2)
            return start;
        const int64_t k = (start - gridFirst_ + gridSize_ / 2) / gridSize_;
        return gridFirst_ + k * gridSize_;
    }

    // A fresh codec: a flushed one keeps state (noise generators, the priming
    // already dropped) that makes the first packets decode differently.
    int openCodec() {
        avcodec_free_context(&codec_);
        const AVCodec *codec = avcodec_find_decoder(stream_->codecpar->codec_id);
        if (!codec)
            return BASS_ERROR_FILEFORM;
        codec_ = avcodec_alloc_context3(codec);
        if (!codec_ || avcodec_parameters_to_context(codec_, stream_->codecpar) < 0)
            return BASS_ERROR_MEM;
        // The codec drops the priming by the packets' skip data and moves the
        // stamps with it; it needs the packets' time base for that.
        codec_->pkt_timebase = stream_->time_base;
        codec_->thread_count = 1;
        return avcodec_open2(codec_, codec, nullptr) < 0 ? BASS_ERROR_FILEFORM : 0;
    }

    int64_t preroll() const {
        // Ogg stamps the packets of the last page back from its trimmed granule,
        // so those stamps are early by the padding (Vorbis in Matroska inherits
        // them from its encoder): start from a page before it.
        if (endStampsEarly_)
            return std::max<int64_t>(kMinPrerollFrames, 2 * int64_t(format_.rate));
        const int64_t codecPreroll = codec_->seek_preroll > 0
                                         ? av_rescale(codec_->seek_preroll, format_.rate, std::max(codec_->sample_rate, 1))
                                         : 0;
        return std::max(kMinPrerollFrames, codecPreroll);
    }

    size_t pendingFrames() const { return pending_.size() / format_.channels; }

    // The output frame of a decoded frame's first sample by its stamp, or none.
    int64_t stampFrame(const AVFrame *f) const {
        int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            return AV_NOPTS_VALUE;
        return av_rescale_q_rnd(pts, stream_->time_base, AVRational{1, int(format_.rate)},
                                AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }

    // Matroska's per-track "DURATION" tag (HH:MM:SS.nnnnnnnnn) in nanoseconds, or
    // 0: the segment's duration is that of the longest track, often the picture.
    int64_t durationTag() const {
        const AVDictionaryEntry *e = av_dict_get(stream_->metadata, "DURATION", nullptr, 0);
        unsigned h = 0, m = 0;
        double sec = 0;
        if (!e || std::sscanf(e->value, "%u:%u:%lf", &h, &m, &sec) != 3 || m >= 60 || !(sec >= 0 && sec < 60))
            return 0;
        return int64_t(h) * 3600000000000LL + int64_t(m) * 60000000000LL + std::llround(sec * 1e9);
    }

    int64_t containerLength() const {
        int64_t end = AV_NOPTS_VALUE;
        if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
            const int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
            end = av_rescale_q(start + stream_->duration, stream_->time_base, AVRational{1, int(format_.rate)});
        } else if (const int64_t tagged = durationTag(); tagged > 0) {
            end = av_rescale(tagged, format_.rate, 1000000000);
        } else if (fmt_->duration != AV_NOPTS_VALUE && fmt_->duration > 0) {
            const int64_t start = fmt_->start_time != AV_NOPTS_VALUE ? fmt_->start_time : 0;
            end = av_rescale(start + fmt_->duration, format_.rate, AV_TIME_BASE);
        }
        if (end == AV_NOPTS_VALUE)
            return 0;
        int64_t length = end - origin_;
        // iTunes' count of the source's samples excludes the padding that a file
        // without an edit list would still decode.
        const int64_t counted = itunesSampleCount(fmt_, stream_);
        if (counted > 0 && counted < length && codec_->sample_rate == int(format_.rate))
            length = counted;
        return length;
    }

    // Decodes the next frame of the track into frame_; false at the end or when
    // reading fails. Packets the codec refuses (damage) are skipped.
    bool decodeFrame() {
        if (held_ && held_->nb_samples > 0) {
            av_frame_move_ref(frame_, held_);
            return true;
        }
        for (;;) {
            const int r = avcodec_receive_frame(codec_, frame_);
            if (r == 0)
                return true;
            if (r == AVERROR_EOF || ended_) {
                ended_ = true;
                return false;
            }
            if (r != AVERROR(EAGAIN)) {
                ended_ = true;
                return false;
            }
            const int got = av_read_frame(fmt_, packet_);
            if (got < 0) {
                avcodec_send_packet(codec_, nullptr); // drain what the codec holds
                // A later receive reports EOF; don't mark ended_ yet.
                if (avcodec_receive_frame(codec_, frame_) == 0)
                    return true;
                ended_ = true;
                return false;
            }
            if (packet_->stream_index == stream_->index) {
                if (firstPts_ == AV_NOPTS_VALUE && !seenPacket_)
                    firstPts_ = packet_->pts;
                seenPacket_ = true;
                avcodec_send_packet(codec_, packet_);
            }
            av_packet_unref(packet_);
        }
    }

    // The next frame into pending_, counted on from the last one.
    bool nextFrame() {
        if (failed_ || !decodeFrame())
            return false;
        frameStart_ += int64_t(pendingFrames());
        if (!convert(frameStart_)) {
            failed_ = true;
            return false;
        }
        return true;
    }

    // Decodes forward, dropping frames, until position_ reaches frame.
    void discardTo(int64_t frame) {
        const size_t ch = format_.channels;
        while (position_ < frame) {
            if (pendingAt_ >= pending_.size() && !nextFrame())
                return;
            const int64_t n = std::min<int64_t>(int64_t((pending_.size() - pendingAt_) / ch), frame - position_);
            pendingAt_ += size_t(n) * ch;
            position_ += n;
        }
    }

    // frame_ as interleaved 16-bit in the output format, into pending_; start is
    // the output frame of its first sample. Samples before frame 0 (priming a
    // container marks only by negative stamps) are dropped.
    bool convert(int64_t start) {
        if (!configure())
            return false;
        const int in = frame_->nb_samples;
        const int room = swr_get_out_samples(swr_, in);
        if (room < 0)
            return false;
        pending_.resize(size_t(room) * format_.channels);
        uint8_t *outPlanes[1] = {reinterpret_cast<uint8_t *>(pending_.data())};
        const int n = swr_convert(swr_, outPlanes, room, const_cast<const uint8_t **>(frame_->extended_data), in);
        if (n < 0)
            return false;
        pending_.resize(size_t(n) * format_.channels);
        pendingAt_ = 0;
        if (start < 0) {
            const size_t drop = std::min(pending_.size(), size_t(-start) * format_.channels);
            pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(drop));
            frameStart_ = start + int64_t(drop / format_.channels);
        }
        av_frame_unref(frame_);
        return true;
    }

    // A converter for the current frame's layout; rebuilt when a stream changes
    // its layout or rate on the way.
    bool configure() {
        const AVChannelLayout &in = frame_->ch_layout;
        if (swr_ && in.nb_channels == inChannels_ && frame_->sample_rate == inRate_ && frame_->format == inFormat_)
            return true;
        swr_free(&swr_);
        AVChannelLayout out{};
        av_channel_layout_default(&out, int(format_.channels));
        AVChannelLayout source{};
        if (in.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_copy(&source, &in) < 0)
            av_channel_layout_default(&source, in.nb_channels);
        const int r = swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, int(format_.rate), &source,
                                          AVSampleFormat(frame_->format), frame_->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&source);
        av_channel_layout_uninit(&out);
        if (r < 0 || !swr_ || swr_init(swr_) < 0)
            return false;
        inChannels_ = in.nb_channels;
        inRate_ = frame_->sample_rate;
        inFormat_ = frame_->format;
        return true;
    }

    std::unique_ptr<SourceFile> file_;
    IoCursor cursor_;
    AVIOContext *io_ = nullptr;
    AVFormatContext *fmt_ = nullptr;
    AVStream *stream_ = nullptr;
    AVCodecContext *codec_ = nullptr;
    AVPacket *packet_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVFrame *held_ = nullptr; // a frame decoded ahead, delivered next (see learnFrameGrid)
    int gridSize_ = 0;        // samples of every frame after the first, where known
    int64_t gridFirst_ = 0;   // output frame where the second codec frame begins
    SwrContext *swr_ = nullptr;
    int inChannels_ = 0, inRate_ = 0, inFormat_ = -1;

    bool endStampsEarly_ = false;
    bool ended_ = false;
    bool failed_ = false;
    bool seenPacket_ = false;
    int64_t firstPts_ = AV_NOPTS_VALUE; // of the track's first packet
    int64_t origin_ = 0;     // stamp of the first delivered sample, in output frames
    int64_t length_ = 0;
    int64_t position_ = 0;   // next frame readFrames delivers
    int64_t frameStart_ = 0; // output frame of pending_'s first sample
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;   // samples of pending_ already delivered
};

} // namespace

std::unique_ptr<Decoder> openAvDecoder(std::unique_ptr<SourceFile> &file, int &error) {
    if (auto chain = openOggChain(file, error))
        return chain;
    if (!file)
        return nullptr;
    return openAvContainer(file, error);
}

std::unique_ptr<Decoder> openAvContainer(std::unique_ptr<SourceFile> &file, int &error) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    auto dec = std::make_unique<AvDecoder>(std::move(file));
    const int r = dec->open();
    if (r == 0)
        return dec;
    if (r < 0) {
        file = dec->releaseFile();
        return nullptr;
    }
    error = r;
    return nullptr;
}

} // namespace vorel::audiolib::detail
