// PCM in a channel's own format (decoder or stream procedure) and the renderer that
// turns it into device-rate stereo for plain streams. Used by one thread at a time
// under the owning channel's lock; never from the audio callback.
#pragma once

#include <memory>
#include <vector>

#include "engine.h"

namespace vorel::audiolib {

class PcmSource {
public:
    virtual ~PcmSource() = default;
    virtual PcmFormat format() const = 0;
    virtual int64_t lengthFrames() const = 0; // -1 when unknown
    virtual bool seekFrame(int64_t frame) = 0;
    virtual int64_t positionFrame() const = 0;
    // 0 at the end, -1 on a read error.
    virtual int64_t readFrames(void *buf, int64_t frames) = 0;
    virtual uint64_t fileSize() const { return 0; }
    virtual DWORD ctype() const { return BASS_CTYPE_STREAM; }
};

std::unique_ptr<PcmSource> makeDecoderSource(std::unique_ptr<Decoder> decoder);
// A stream procedure; handle is filled in once the channel is registered.
std::unique_ptr<PcmSource> makeProcSource(PcmFormat format, STREAMPROC *proc, DWORD user,
                                          const DWORD *handle);

// Converts frames of format to interleaved stereo s16 (mono doubled, channels beyond
// two dropped, 8-bit unsigned widened).
void toStereo16(const void *in, const PcmFormat &format, int64_t frames, int16_t *out);

// Plain stream: the source at the device rate (linear interpolation when the rates
// differ, sample-exact when they match).
class PlainRenderer : public Renderer {
public:
    PlainRenderer(std::unique_ptr<PcmSource> source, bool loop);
    PcmFormat sourceFormat() const override { return format_; }
    int64_t lengthBytes() const override;
    bool seek(uint64_t byte) override;
    uint64_t position() const override { return uint64_t(frame_) * format_.frameBytes(); }
    void render(int16_t *out, int maxFrames, uint32_t deviceRate, uint64_t stopAt,
                RenderResult &result) override;
    uint64_t fileSize() const override { return source_->fileSize(); }

private:
    bool available(int64_t frame);

    std::unique_ptr<PcmSource> source_;
    PcmFormat format_;
    bool loop_;
    static constexpr int kBufFrames = 4096;
    std::vector<int16_t> buf_;     // stereo frames [base_, base_ + count_)
    std::vector<uint8_t> raw_;
    int64_t base_ = 0;
    int64_t count_ = 0;
    bool sourceEnded_ = false;
    int64_t frame_ = 0;            // output time = frame_ + frac_ / deviceRate source frames
    uint32_t frac_ = 0;
};

} // namespace vorel::audiolib
