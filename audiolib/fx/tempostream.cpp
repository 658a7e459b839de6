// Tempo streams: a decoding channel played through SoundTouch, tempo changed
// without changing the pitch. Positions, lengths and syncs count source bytes.
//
// Exactness at sync positions: the producer asks for output up to a source byte E.
// The renderer counts the source exactly up to E, feeds a little real audio past it
// (so the segment does not end in the fade SoundTouch makes of its flush padding),
// flushes, and emits exactly round((E - S) / ratio) frames for the segment that
// began at S, then starts a fresh segment at E with the audio read past it. Content
// timing inside a segment is approximate (the overlap-add shifts it by up to ~20 ms);
// the segment's frame count is exact.
#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "engine.h"

using namespace vorel::audiolib;

namespace {

class TempoRenderer : public Renderer {
public:
    explicit TempoRenderer(std::shared_ptr<SourceChannel> source)
        : src_(std::move(source)), fmt_(src_->format()), playRate_(fmt_.rate) {
        const uint32_t chans = std::min<uint32_t>(fmt_.channels, 2);
        st_.setChannels(chans);
        st_.setSampleRate(fmt_.rate);
        // Speech: short sequences keep syllables intact.
        st_.setSetting(SETTING_SEQUENCE_MS, 40);
        st_.setSetting(SETTING_SEEKWINDOW_MS, 15);
        st_.setSetting(SETTING_OVERLAP_MS, 8);
        raw_.resize(size_t(kBlock) * fmt_.frameBytes());
        lookahead_ = std::max<int64_t>(kBlock * 4, fmt_.rate / 10);
        carry_.resize(size_t(lookahead_ + kBlock) * fmt_.frameBytes());
        in_.resize(size_t(kBlock) * chans);
        out_.resize(size_t(kMaxOut) * chans);
    }

    DWORD sourceHandle() const { return src_->handle(); }
    PcmFormat sourceFormat() const override { return fmt_; }
    int64_t lengthBytes() const override {
        int64_t n = src_->lengthFrames();
        return n < 0 ? -1 : n * fmt_.frameBytes();
    }
    uint64_t fileSize() const override { return src_->fileSize(); }
    uint64_t position() const override { return uint64_t(fed_) * fmt_.frameBytes(); }

    bool seek(uint64_t byte) override {
        int64_t frame = int64_t(byte / fmt_.frameBytes());
        if (!src_->seekFrame(frame)) return false;
        fed_ = frame;
        srcEnded_ = false;
        carryFrames_ = carryOffset_ = 0;
        newSegment();
        return true;
    }

    void render(int16_t *out, int maxFrames, uint32_t deviceRate, uint64_t stopAt, RenderResult &r) override;

    // tempo: percent change; playRate: source samples per second of output (0: keep).
    void setTempo(float tempo, float playRate, float pitch) {
        tempo_ = std::clamp(tempo, -95.0f, 5000.0f);
        st_.setTempo(1.0 + tempo_ / 100.0);
        if (playRate > 0) {
            playRate_ = playRate;
            if (deviceRate_) st_.setRate(playRate_ / deviceRate_);
        }
        if (pitch >= -60 && pitch <= 60) {
            pitch_ = pitch;
            st_.setPitchSemiTones(pitch_);
        }
    }
    void getTempo(float *tempo, float *rate, float *pitch) const {
        if (tempo) *tempo = tempo_;
        if (rate) *rate = playRate_;
        if (pitch) *pitch = pitch_;
    }
    float rateRatio() const { return playRate_ / fmt_.rate; }
    bool setOption(DWORD option, DWORD value) { return option >= 1 && option <= 6 && st_.setSetting(int(option) - 1, int(value)); }
    DWORD option(DWORD option) const {
        return option >= 1 && option <= 6 ? DWORD(st_.getSetting(int(option) - 1)) : DWORD(-1);
    }

private:
    static constexpr int kBlock = 1024;
    static constexpr int kMaxOut = 1024;

    // Output frames per input frame at the current settings.
    double outPerIn() const {
        return double(deviceRate_) / (double(playRate_) * (1.0 + tempo_ / 100.0));
    }
    void newSegment() {
        st_.clear();
        flushed_ = false;
        segExpected_ = 0;
        segOut_ = 0;
        target_ = 0;
        outPos_ = double(fed_) * fmt_.frameBytes();
    }
    void emit(int16_t *out, int frames) {
        const uint32_t chans = std::min<uint32_t>(fmt_.channels, 2);
        for (int i = 0; i < frames; ++i) {
            float l = out_[size_t(i) * chans], rr = chans > 1 ? out_[size_t(i) * chans + 1] : l;
            out[2 * i] = int16_t(std::lrint(std::clamp(l * 32768.0f, -32768.0f, 32767.0f)));
            out[2 * i + 1] = int16_t(std::lrint(std::clamp(rr * 32768.0f, -32768.0f, 32767.0f)));
        }
        segOut_ += frames;
        outPos_ += frames * fmt_.frameBytes() / outPerIn();
    }
    // Audio read past the last stop first, then the source.
    int64_t readSource(void *buf, int64_t frames) {
        if (carryOffset_ < carryFrames_) {
            int64_t k = std::min(frames, carryFrames_ - carryOffset_);
            const size_t fb = fmt_.frameBytes();
            std::copy_n(carry_.data() + carryOffset_ * fb, k * fb, static_cast<uint8_t *>(buf));
            carryOffset_ += k;
            return k;
        }
        carryFrames_ = carryOffset_ = 0;
        return src_->readFrames(buf, frames);
    }
    // Feeds audio past the stop that counts for nothing but the segment's tail; it
    // is kept to start the next segment with.
    void feedLookahead() {
        const size_t fb = fmt_.frameBytes();
        // Unread carry moves to the front; what is read now is appended.
        std::copy(carry_.begin() + carryOffset_ * fb, carry_.begin() + carryFrames_ * fb, carry_.begin());
        carryFrames_ -= carryOffset_;
        carryOffset_ = 0;
        int64_t fedAhead = 0;
        while (fedAhead < lookahead_) {
            int64_t want = std::min<int64_t>(kBlock, lookahead_ - fedAhead);
            if (fedAhead + want > carryFrames_) {
                int64_t got = src_->readFrames(carry_.data() + carryFrames_ * fb, fedAhead + want - carryFrames_);
                if (got > 0) carryFrames_ += got;
                want = std::min(want, carryFrames_ - fedAhead);
                if (want <= 0) break;
            }
            toFloat(carry_.data() + fedAhead * fb, int(want));
            st_.putSamples(in_.data(), uint32_t(want));
            fedAhead += want;
        }
    }
    void toFloat(const void *raw, int frames) {
        const uint32_t ch = fmt_.channels, chans = std::min<uint32_t>(ch, 2);
        for (int i = 0; i < frames; ++i)
            for (uint32_t c = 0; c < chans; ++c)
                in_[size_t(i) * chans + c] =
                    fmt_.bytesPerSample == 1
                        ? (int(static_cast<const uint8_t *>(raw)[size_t(i) * ch + c]) - 128) / 128.0f
                        : static_cast<const int16_t *>(raw)[size_t(i) * ch + c] / 32768.0f;
    }
    void feed(const void *raw, int frames) {
        toFloat(raw, frames);
        st_.putSamples(in_.data(), uint32_t(frames));
        segExpected_ += frames * outPerIn();
        fed_ += frames;
    }

    std::shared_ptr<SourceChannel> src_;
    PcmFormat fmt_;
    soundtouch::SoundTouch st_;
    float tempo_ = 0, playRate_, pitch_ = 0;
    uint32_t deviceRate_ = 0;
    int64_t fed_ = 0;           // source frames fed so far (absolute)
    bool srcEnded_ = false;
    bool flushed_ = false;      // the segment's input is complete and flushed
    double segExpected_ = 0;    // output frames the segment's input is worth
    int64_t segOut_ = 0, target_ = 0;
    double outPos_ = 0;         // source byte of the next output frame
    std::vector<uint8_t> raw_;
    std::vector<float> in_, out_;
    int64_t lookahead_ = 0;                   // frames fed past a stop
    std::vector<uint8_t> carry_;              // source frames read past the last stop
    int64_t carryFrames_ = 0, carryOffset_ = 0;
};

void TempoRenderer::render(int16_t *out, int maxFrames, uint32_t deviceRate, uint64_t stopAt, RenderResult &r) {
    if (deviceRate != deviceRate_) {
        deviceRate_ = deviceRate;
        st_.setRate(playRate_ / deviceRate_);
    }
    const uint32_t fb = fmt_.frameBytes();
    const int64_t stopFrame = stopAt >= uint64_t(INT64_MAX) / 2 ? INT64_MAX : int64_t((stopAt + fb - 1) / fb);
    r = RenderResult{};
    r.srcStart = outPos_;
    int n = 0;
    while (true) {
        if (flushed_) {
            int64_t left = target_ - segOut_;
            if (left > 0 && n < maxFrames) {
                int k = int(std::min<int64_t>({left, maxFrames - n, kMaxOut}));
                int got = int(st_.receiveSamples(out_.data(), uint32_t(k)));
                // SoundTouch came up short: pad the segment to its exact length.
                if (got < k) std::fill(out_.begin() + got * std::min<uint32_t>(fmt_.channels, 2), out_.end(), 0.0f);
                emit(out + 2 * n, k);
                n += k;
                continue;
            }
            if (left > 0) break;
            // Segment complete: its end is exactly where the input stopped.
            newSegment();
            if (fed_ >= stopFrame) {
                r.atStop = true;
                break;
            }
            if (srcEnded_) {
                r.ended = true;
                break;
            }
            continue;
        }
        if (n >= maxFrames) break;
        if (st_.numSamples() > 0) {
            int k = int(std::min<uint32_t>({st_.numSamples(), uint32_t(maxFrames - n), uint32_t(kMaxOut)}));
            k = int(st_.receiveSamples(out_.data(), uint32_t(k)));
            emit(out + 2 * n, k);
            n += k;
            continue;
        }
        if (fed_ >= stopFrame || srcEnded_) {
            if (!srcEnded_) feedLookahead();
            st_.flush();
            flushed_ = true;
            target_ = std::llround(segExpected_);
            continue;
        }
        int64_t want = std::min<int64_t>(kBlock, stopFrame - fed_);
        int64_t got = readSource(raw_.data(), want);
        if (got <= 0) {
            srcEnded_ = true;
            continue;
        }
        feed(raw_.data(), int(got));
    }
    r.frames = n;
    r.srcEnd = outPos_;
}

TempoRenderer *asTempo(Renderer &r) { return dynamic_cast<TempoRenderer *>(&r); }

template <typename F> bool onTempo(HSTREAM chan, F f) {
    DWORD error = BASS_OK;
    struct Call {
        F *f;
        bool ok;
    } call{&f, true};
    bool found = withRenderer(
        chan,
        [](Renderer &r, void *arg) {
            auto *c = static_cast<Call *>(arg);
            TempoRenderer *t = asTempo(r);
            if (!t) return false;
            // No C++ exception leaves the library.
            try {
                c->ok = (*c->f)(*t);
            } catch (...) {
                c->ok = false;
            }
            return true;
        },
        &call, error);
    if (!found) {
        setError(error != BASS_OK ? error : BASS_ERROR_HANDLE);
        return false;
    }
    setError(call.ok ? BASS_OK : BASS_ERROR_ILLPARAM);
    return call.ok;
}

} // namespace

extern "C" {

AUDIOLIB_API HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags) {
    if (flags & BASS_STREAM_DECODE) {
        setError(BASS_ERROR_NOTAVAIL); // tempo streams are always playable
        return 0;
    }
    DWORD error = BASS_OK;
    auto source = openSource(chan, error);
    if (!source) {
        setError(error);
        return 0;
    }
    std::unique_ptr<TempoRenderer> renderer;
    try {
        renderer = std::make_unique<TempoRenderer>(source);
    } catch (const std::bad_alloc &) {
        setError(BASS_ERROR_MEM);
        return 0;
    } catch (...) {
        setError(BASS_ERROR_FORMAT); // the tempo processor refused the source
        return 0;
    }
    if (!renderer->seek(0)) {
        setError(BASS_ERROR_POSITION);
        return 0;
    }
    HSTREAM h = addChannel(std::move(renderer), flags & ~DWORD(BASS_FX_FREESOURCE), BASS_CTYPE_STREAM_TEMPO,
                           (flags & BASS_FX_FREESOURCE) ? chan : 0, error);
    setError(h ? BASS_OK : error);
    return h;
}

AUDIOLIB_API DWORD BASS_FX_TempoGetSource(HSTREAM chan) {
    DWORD source = 0;
    onTempo(chan, [&](TempoRenderer &t) {
        source = t.sourceHandle();
        return true;
    });
    return source;
}

AUDIOLIB_API BOOL BASS_FX_TempoSet(HSTREAM chan, float tempo, float samplerate, float pitch) {
    if (!std::isfinite(tempo) || !std::isfinite(samplerate) || !std::isfinite(pitch) || samplerate < 0) {
        setError(BASS_ERROR_ILLPARAM);
        return FALSE;
    }
    return onTempo(chan, [&](TempoRenderer &t) {
        t.setTempo(tempo, samplerate, pitch);
        return true;
    });
}

AUDIOLIB_API BOOL BASS_FX_TempoGet(HSTREAM chan, float *tempo, float *samplerate, float *pitch) {
    return onTempo(chan, [&](TempoRenderer &t) {
        t.getTempo(tempo, samplerate, pitch);
        return true;
    });
}

AUDIOLIB_API float BASS_FX_TempoGetRateRatio(HSTREAM chan) {
    float ratio = 0;
    onTempo(chan, [&](TempoRenderer &t) {
        ratio = t.rateRatio();
        return true;
    });
    return ratio;
}

AUDIOLIB_API BOOL BASS_FX_TempoSetOption(HSTREAM chan, DWORD option, DWORD value) {
    return onTempo(chan, [&](TempoRenderer &t) { return t.setOption(option, value); });
}

AUDIOLIB_API DWORD BASS_FX_TempoGetOption(HSTREAM chan, DWORD option) {
    DWORD value = DWORD(-1);
    onTempo(chan, [&](TempoRenderer &t) {
        value = t.option(option);
        return value != DWORD(-1);
    });
    return value;
}

} // extern "C"
