#include "pcmsource.h"

#include <algorithm>
#include <cstring>

namespace vorel::audiolib {

Renderer::~Renderer() = default;
SourceChannel::~SourceChannel() = default;

namespace {

class DecoderSource : public PcmSource {
public:
    explicit DecoderSource(std::unique_ptr<Decoder> d) : d_(std::move(d)) {}
    PcmFormat format() const override { return d_->format(); }
    int64_t lengthFrames() const override { return d_->lengthFrames(); }
    bool seekFrame(int64_t frame) override { return d_->seekFrame(frame); }
    int64_t positionFrame() const override { return d_->positionFrame(); }
    int64_t readFrames(void *buf, int64_t frames) override { return d_->readFrames(buf, frames); }
    uint64_t fileSize() const override { return d_->fileSize(); }
    DWORD ctype() const override { return d_->channelType(); }

private:
    std::unique_ptr<Decoder> d_;
};

class ProcSource : public PcmSource {
public:
    ProcSource(PcmFormat f, STREAMPROC *proc, DWORD user, const DWORD *handle)
        : f_(f), proc_(proc), user_(user), handle_(handle) {}
    PcmFormat format() const override { return f_; }
    int64_t lengthFrames() const override { return -1; }
    bool seekFrame(int64_t frame) override { return frame == pos_; }
    int64_t positionFrame() const override { return pos_; }
    int64_t readFrames(void *buf, int64_t frames) override {
        if (ended_ || frames <= 0) return 0;
        const uint32_t fb = f_.frameBytes();
        DWORD want = DWORD(std::min<int64_t>(frames, 1 << 20) * fb);
        DWORD r = proc_(*handle_, buf, want, user_);
        if (r & BASS_STREAMPROC_END) ended_ = true;
        // A procedure may return a partial frame; whole frames only.
        int64_t got = std::min<DWORD>(r & ~BASS_STREAMPROC_END, want) / fb;
        pos_ += got;
        if (got == 0 && !ended_) return 0; // nothing now: treated as the end
        return got;
    }

private:
    PcmFormat f_;
    STREAMPROC *proc_;
    DWORD user_;
    const DWORD *handle_;
    int64_t pos_ = 0;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<PcmSource> makeDecoderSource(std::unique_ptr<Decoder> decoder) {
    return std::make_unique<DecoderSource>(std::move(decoder));
}

std::unique_ptr<PcmSource> makeProcSource(PcmFormat format, STREAMPROC *proc, DWORD user,
                                          const DWORD *handle) {
    return std::make_unique<ProcSource>(format, proc, user, handle);
}

void toStereo16(const void *in, const PcmFormat &f, int64_t frames, int16_t *out) {
    const uint32_t ch = f.channels;
    for (int64_t i = 0; i < frames; ++i) {
        int16_t l, r;
        if (f.bytesPerSample == 1) {
            const uint8_t *p = static_cast<const uint8_t *>(in) + i * ch;
            l = int16_t((int(p[0]) - 128) << 8);
            r = ch > 1 ? int16_t((int(p[1]) - 128) << 8) : l;
        } else {
            const int16_t *p = static_cast<const int16_t *>(in) + i * ch;
            l = p[0];
            r = ch > 1 ? p[1] : l;
        }
        out[2 * i] = l;
        out[2 * i + 1] = r;
    }
}

PlainRenderer::PlainRenderer(std::unique_ptr<PcmSource> source, bool loop)
    : source_(std::move(source)), format_(source_->format()), loop_(loop),
      buf_(size_t(kBufFrames) * 2), raw_(size_t(kBufFrames) * format_.frameBytes()) {
    frame_ = base_ = source_->positionFrame();
}

int64_t PlainRenderer::lengthBytes() const {
    int64_t n = source_->lengthFrames();
    return n < 0 ? -1 : n * format_.frameBytes();
}

bool PlainRenderer::seek(uint64_t byte) {
    int64_t f = int64_t(byte / format_.frameBytes());
    if (!source_->seekFrame(f)) return false;
    frame_ = base_ = f;
    frac_ = 0;
    count_ = 0;
    sourceEnded_ = false;
    return true;
}

bool PlainRenderer::available(int64_t f) {
    while (f >= base_ + count_) {
        if (sourceEnded_) return false;
        // Keep the frame the output stands on (needed for interpolation).
        int64_t drop = std::min(frame_, base_ + count_) - base_;
        if (drop > 0) {
            std::memmove(buf_.data(), buf_.data() + drop * 2, size_t(count_ - drop) * 2 * sizeof(int16_t));
            base_ += drop;
            count_ -= drop;
        }
        int64_t room = kBufFrames - count_;
        int64_t got = room > 0 ? source_->readFrames(raw_.data(), room) : 0;
        if (got <= 0) {
            sourceEnded_ = true;
            return false;
        }
        toStereo16(raw_.data(), format_, got, buf_.data() + count_ * 2);
        count_ += got;
    }
    return true;
}

void PlainRenderer::render(int16_t *out, int maxFrames, uint32_t deviceRate, uint64_t stopAt,
                           RenderResult &r) {
    const uint32_t fb = format_.frameBytes();
    const uint32_t srcRate = format_.rate;
    // A sync at byte E is reached once the output time is at or past frame ceil(E / fb).
    const int64_t stopFrame = stopAt >= uint64_t(INT64_MAX) / 2 ? INT64_MAX : int64_t((stopAt + fb - 1) / fb);
    auto pos = [&] { return (double(frame_) + double(frac_) / deviceRate) * fb; };
    r = RenderResult{};
    r.srcStart = pos();
    int n = 0;
    while (n < maxFrames) {
        if (frame_ >= stopFrame) {
            r.atStop = true;
            break;
        }
        if (!available(frame_)) {
            if (loop_ && n == 0 && frame_ > 0 && seek(0)) {
                r.srcStart = pos();
                continue;
            }
            break;
        }
        const int16_t *a = &buf_[size_t(frame_ - base_) * 2];
        if (frac_ == 0) {
            out[2 * n] = a[0];
            out[2 * n + 1] = a[1];
        } else {
            const int16_t *b = available(frame_ + 1) ? &buf_[size_t(frame_ + 1 - base_) * 2] : a;
            a = &buf_[size_t(frame_ - base_) * 2]; // available() may have moved the buffer
            double t = double(frac_) / deviceRate;
            out[2 * n] = int16_t(a[0] + (b[0] - a[0]) * t);
            out[2 * n + 1] = int16_t(a[1] + (b[1] - a[1]) * t);
        }
        ++n;
        frac_ += srcRate;
        while (frac_ >= deviceRate) {
            frac_ -= deviceRate;
            ++frame_;
        }
    }
    r.frames = n;
    r.srcEnd = pos();
    if (!r.atStop && frame_ >= stopFrame) r.atStop = true;
    if (!loop_ && !available(frame_)) r.ended = true;
}

} // namespace vorel::audiolib
