// The C++ interface the effects library builds its channels with.
#include "api_util.h"
#include "pcmsource.h"

namespace vorel::audiolib {

namespace {

class ChannelSource : public SourceChannel {
public:
    explicit ChannelSource(std::shared_ptr<Channel> ch) : ch_(std::move(ch)) {}
    DWORD handle() const override { return ch_->handle; }
    PcmFormat format() const override { return ch_->fmt; }
    int64_t lengthFrames() const override {
        std::lock_guard<std::mutex> lock(ch_->mutex);
        return ch_->source->lengthFrames();
    }
    uint64_t fileSize() const override { return ch_->source->fileSize(); }
    bool seekFrame(int64_t frame) override {
        std::lock_guard<std::mutex> lock(ch_->mutex);
        if (ch_->freed) return false;
        ch_->decodeEnded = false;
        return ch_->source->seekFrame(frame);
    }
    int64_t readFrames(void *buf, int64_t frames) override {
        std::lock_guard<std::mutex> lock(ch_->mutex);
        if (ch_->freed) return 0;
        int64_t got = ch_->source->readFrames(buf, frames);
        if (got <= 0) {
            ch_->decodeEnded = true;
            return 0;
        }
        return got;
    }

private:
    std::shared_ptr<Channel> ch_;
};

} // namespace

std::shared_ptr<SourceChannel> openSource(DWORD handle, DWORD &error) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    auto ch = findChannel(handle);
    if (!ch) {
        error = BASS_ErrorGetCode();
        return nullptr;
    }
    if (!ch->decoding) {
        error = BASS_FX_ERROR_NODECODE;
        return nullptr;
    }
    return std::make_shared<ChannelSource>(ch);
}

HSTREAM addChannel(std::unique_ptr<Renderer> renderer, DWORD flags, DWORD ctype, DWORD freeWith,
                   DWORD &error) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    if (!e.initialised) {
        error = BASS_ERROR_INIT;
        return 0;
    }
    auto ch = std::make_shared<Channel>();
    ch->flags = flags;
    ch->ctype = ctype;
    ch->freeWith = freeWith;
    ch->fmt = renderer->sourceFormat();
    ch->renderer = std::move(renderer);
    HSTREAM h = registerChannel(ch);
    if (!h) error = BASS_ERROR_NOCHAN;
    return h;
}

bool withRenderer(DWORD handle, bool (*fn)(Renderer &, void *), void *arg, DWORD &error) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    auto ch = findChannel(handle);
    if (!ch || !ch->renderer) {
        error = ch ? BASS_ERROR_HANDLE : BASS_ErrorGetCode();
        return false;
    }
    std::lock_guard<std::mutex> chLock(ch->mutex);
    return fn(*ch->renderer, arg);
}

} // namespace vorel::audiolib
