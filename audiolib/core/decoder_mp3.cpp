// MPEG audio through libmpg123, gapless, always 16-bit at the stream's own rate and
// channel count.
#include "audiolib.h"
#include "decoder_detail.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace vorel::audiolib::detail {

namespace {

struct FrameHeader {
    int version = 0; // raw bits: 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    int layer = 0;   // raw bits: 1 layer III, 2 layer II, 3 layer I
    int rateIndex = 0;
    bool mono = false;
    uint32_t length = 0; // bytes, header included
};

// Free-format frames (bit rate index 0) are refused: their length cannot be
// known from the header, and real files almost never use them.
bool parseHeader(const unsigned char *p, FrameHeader &h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    h.version = (p[1] >> 3) & 3;
    h.layer = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    h.rateIndex = (p[2] >> 2) & 3;
    if (h.version == 1 || h.layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || h.rateIndex == 3 ||
        (p[3] & 3) == 2)
        return false;
    static const int kbps[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 layer II, III
    };
    static const int rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = h.version == 3;
    const int rate = rates[h.rateIndex] >> (mpeg1 ? 0 : h.version == 2 ? 1 : 2);
    const int table = mpeg1 ? 3 - h.layer : (h.layer == 3 ? 3 : 4);
    const uint32_t bitrate = static_cast<uint32_t>(kbps[table][bitrateIndex]) * 1000;
    const uint32_t padding = (p[2] >> 1) & 1;
    if (h.layer == 3)
        h.length = (12 * bitrate / rate + padding) * 4;
    else if (h.layer == 1 && !mpeg1)
        h.length = 72 * bitrate / rate + padding;
    else
        h.length = 144 * bitrate / rate + padding;
    h.mono = (p[3] >> 6) == 3;
    return h.length > 4;
}

bool sameStream(const FrameHeader &a, const FrameHeader &b) {
    return a.version == b.version && a.layer == b.layer && a.rateIndex == b.rateIndex && a.mono == b.mono;
}

// A Xing/Info (LAME) or VBRI header in the first frame.
bool hasVbrHeader(const unsigned char *p, const FrameHeader &h, size_t avail) {
    if (h.layer != 1)
        return false;
    const size_t side = h.version == 3 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
    const size_t xing = 4 + side;
    if (avail >= xing + 4 && (std::memcmp(p + xing, "Xing", 4) == 0 || std::memcmp(p + xing, "Info", 4) == 0))
        return true;
    return avail >= 40 && std::memcmp(p + 36, "VBRI", 4) == 0;
}

// Syncsafe size of an ID3v2 tag at p, or -1 when p holds no valid tag header.
int64_t id3v2Size(const unsigned char *p) {
    if (p[0] != 'I' || p[1] != 'D' || p[2] != '3' || p[3] == 0xFF || p[4] == 0xFF)
        return -1;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80)
        return -1;
    const int64_t body = (int64_t(p[6]) << 21) | (int64_t(p[7]) << 14) | (int64_t(p[8]) << 7) | p[9];
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

// How far into the audio the first frame may lie: junk some tools leave between a
// tag and the audio. A chain of frames must start within it.
constexpr size_t kJunkWindow = 64 * 1024;
// Longest possible frame (MPEG-2 layer II, 160 kbit/s at 8 kHz) with room to spare.
constexpr size_t kMaxFrame = 4096;
// Consecutive consistent frames asked for. A random 11-bit sync with valid fields
// shows up about once per 7000 bytes, and a second one at the right distance about
// once in 10^4 of those: four in a row by chance are out of reach. A tag or a VBR
// header in front vouches for the stream, so three suffice there.
constexpr int kPlainChain = 4;
constexpr int kVouchedChain = 3;
// MPEG frames decoded and dropped before the target of a seek: the bit reservoir
// (511 bytes) spans 22 frames at the smallest layer III frame size, plus one frame
// of filter-bank overlap.
constexpr int kSeekRunInFrames = 24;

} // namespace

std::optional<uint64_t> findMpegAudioStart(const SourceFile &file) {
    uint64_t pos = 0;
    bool tagged = false;
    for (int tags = 0; tags < 8; ++tags) {
        unsigned char h[10];
        if (file.readAt(pos, h, sizeof h) != static_cast<int64_t>(sizeof h))
            break;
        const int64_t size = id3v2Size(h);
        if (size < 0)
            break;
        pos += static_cast<uint64_t>(size);
        tagged = true;
    }
    if (pos >= file.size())
        return std::nullopt;

    std::vector<unsigned char> buf(std::min<uint64_t>(kJunkWindow + kPlainChain * kMaxFrame, file.size() - pos));
    const int64_t got = file.readAt(pos, buf.data(), buf.size());
    if (got <= 0)
        return std::nullopt;
    const size_t n = static_cast<size_t>(got);
    const bool bufferReachesEnd = pos + n >= file.size();

    // The tail of a stream may hold an ID3v1 tag instead of a further frame.
    auto endsHere = [&](size_t at) {
        if (!bufferReachesEnd)
            return false;
        const size_t rest = n - std::min(at, n);
        return rest == 0 || (rest == 128 && std::memcmp(buf.data() + at, "TAG", 3) == 0);
    };

    const size_t lastStart = std::min(n, kJunkWindow);
    for (size_t start = 0; start + 4 <= n && start < lastStart; ++start) {
        FrameHeader first;
        if (!parseHeader(buf.data() + start, first))
            continue;
        const bool vouched = tagged || hasVbrHeader(buf.data() + start, first, n - start);
        const int need = vouched ? kVouchedChain : kPlainChain;
        int chained = 1;
        size_t at = start + first.length;
        bool reachedEnd = false;
        while (chained < need) {
            if (at > n)
                break;
            if (endsHere(at)) {
                reachedEnd = true;
                break;
            }
            FrameHeader next;
            if (at + 4 > n || !parseHeader(buf.data() + at, next) || !sameStream(first, next))
                break;
            ++chained;
            at += next.length;
        }
        // A stream only a frame or two long is accepted when it ends exactly at the
        // end of the file.
        if (chained >= need || (reachedEnd && (vouched || chained >= 2)))
            return pos + start;
    }
    return std::nullopt;
}

namespace {

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

// libmpg123 reads the file through this window, which starts at the first frame:
// tags and junk before it are already dealt with. It asks for a frame header and a
// frame body at a time, so reads go through a small cache instead of a system call
// each.
struct Window {
    static constexpr size_t kCache = 64 * 1024;

    const SourceFile *file;
    uint64_t base;
    uint64_t pos = 0;
    std::vector<unsigned char> cache = std::vector<unsigned char>(kCache);
    uint64_t cacheStart = 0; // window offset of cache[0]
    size_t cacheFill = 0;

    uint64_t length() const { return file->size() - base; }
};

ssize_t windowRead(void *handle, void *buf, size_t n) {
    auto *w = static_cast<Window *>(handle);
    auto *out = static_cast<unsigned char *>(buf);
    size_t done = 0;
    while (done < n) {
        if (w->pos < w->cacheStart || w->pos >= w->cacheStart + w->cacheFill) {
            if (n - done >= Window::kCache) { // large reads need no cache
                const int64_t got = w->file->readAt(w->base + w->pos, out + done, n - done);
                if (got < 0)
                    return done ? static_cast<ssize_t>(done) : -1;
                w->pos += static_cast<uint64_t>(got);
                return static_cast<ssize_t>(done + static_cast<size_t>(got));
            }
            const int64_t got = w->file->readAt(w->base + w->pos, w->cache.data(), Window::kCache);
            w->cacheStart = w->pos;
            w->cacheFill = got > 0 ? static_cast<size_t>(got) : 0;
            if (got < 0)
                return done ? static_cast<ssize_t>(done) : -1;
            if (got == 0)
                break;
        }
        const size_t offset = static_cast<size_t>(w->pos - w->cacheStart);
        const size_t take = std::min(n - done, w->cacheFill - offset);
        std::memcpy(out + done, w->cache.data() + offset, take);
        done += take;
        w->pos += take;
    }
    return static_cast<ssize_t>(done);
}

off_t windowSeek(void *handle, off_t offset, int whence) {
    auto *w = static_cast<Window *>(handle);
    int64_t target;
    switch (whence) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = static_cast<int64_t>(w->pos) + offset; break;
    case SEEK_END: target = static_cast<int64_t>(w->length()) + offset; break;
    default: return -1;
    }
    if (target < 0)
        return -1;
    w->pos = static_cast<uint64_t>(target);
    return static_cast<off_t>(target);
}

class MpegDecoder final : public Decoder {
public:
    MpegDecoder(std::unique_ptr<SourceFile> file, uint64_t audioStart)
        : file_(std::move(file)), window_{file_.get(), audioStart} {
        fileSize_ = file_->size();
        ctype_ = BASS_CTYPE_STREAM_MP3;
    }

    ~MpegDecoder() override {
        if (mh_) {
            mpg123_close(mh_);
            mpg123_delete(mh_);
        }
    }

    bool open(bool prescan) {
        initLibrary();
        mh_ = mpg123_new(nullptr, nullptr);
        if (!mh_)
            return false;
        mpg123_param(mh_, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
        // A broken transfer leaves damage of any length; by default libmpg123
        // gives up after 1 KiB and the rest of the recording is lost.
        mpg123_param(mh_, MPG123_RESYNC_LIMIT, -1, 0);
        // Every rate and channel count allowed, in 16-bit only: libmpg123 then keeps
        // the stream's own rate and channels instead of converting.
        mpg123_format_none(mh_);
        const long *rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        for (size_t i = 0; i < rateCount; ++i)
            mpg123_format(mh_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

        if (mpg123_replace_reader_handle(mh_, windowRead, windowSeek, nullptr) != MPG123_OK ||
            mpg123_open_handle(mh_, &window_) != MPG123_OK)
            return false;
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(mh_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels < 1 ||
            channels > 2 || encoding != MPG123_ENC_SIGNED_16)
            return false;
        format_.rate = static_cast<uint32_t>(rate);
        format_.channels = static_cast<uint32_t>(channels);
        format_.bytesPerSample = 2;

        if (prescan && mpg123_scan(mh_) != MPG123_OK)
            return false;
        const off_t length = mpg123_length(mh_);
        length_ = length > 0 ? static_cast<int64_t>(length) : 0;
        return true;
    }

    int64_t lengthFrames() const override { return length_; }
    int64_t positionFrame() const override { return position_; }

    // libmpg123 lands on the right sample but primes too few frames after its
    // seek: a layer III frame may take its data from up to 511 bytes of earlier
    // frames, and what it decodes without them is wrong (silence, usually) for a
    // few frames. So the seek goes far enough back to cover the bit reservoir at
    // the smallest frame size, and the run-in is decoded and dropped. Stereo
    // MPEG-1 then matches a decode from the start bit for bit; mono and MPEG-2
    // synthesis keep rounding state across the seek, so an odd sample there may
    // differ by one step.
    bool seekFrame(int64_t frame) override {
        if (frame < 0 || frame > length_)
            return false;
        const int64_t runIn = kSeekRunInFrames * std::max(1, mpg123_spf(mh_));
        const int64_t from = std::max<int64_t>(0, frame - runIn);
        ended_ = false;
        const off_t at = mpg123_seek(mh_, static_cast<off_t>(from), SEEK_SET);
        if (at < 0) {
            position_ = 0;
            mpg123_seek(mh_, 0, SEEK_SET);
            return false;
        }
        position_ = static_cast<int64_t>(at);
        std::vector<unsigned char> scratch(4096 * format_.frameBytes());
        while (position_ < frame) {
            const int64_t got =
                readFrames(scratch.data(), std::min<int64_t>(frame - position_, 4096));
            if (got <= 0)
                break;
        }
        if (position_ != frame) {
            // A stream shorter than it said: stay at its real end.
            return false;
        }
        ended_ = false;
        return true;
    }

    int64_t readFrames(void *buf, int64_t frames) override {
        if (frames <= 0 || ended_)
            return 0;
        const size_t frameBytes = format_.frameBytes();
        auto *out = static_cast<unsigned char *>(buf);
        const size_t want = static_cast<size_t>(frames) * frameBytes;
        size_t filled = 0;
        bool atEnd = false;
        while (filled < want) {
            size_t done = 0;
            const int rc = mpg123_read(mh_, out + filled, want - filled, &done);
            filled += done;
            if (rc == MPG123_OK)
                continue;
            if (rc == MPG123_NEW_FORMAT) {
                long rate = 0;
                int channels = 0, encoding = 0;
                mpg123_getformat(mh_, &rate, &channels, &encoding);
                if (static_cast<uint32_t>(rate) == format_.rate &&
                    static_cast<uint32_t>(channels) == format_.channels)
                    continue;
                // A stream that changes its format midway ends at the change: what
                // follows would be delivered at the wrong rate or channel count.
                atEnd = true;
            } else if (rc == MPG123_DONE) {
                atEnd = true;
            } else if (filled == 0) {
                return -1;
            }
            break;
        }
        const int64_t got = static_cast<int64_t>(filled / frameBytes);
        position_ += got;
        if (atEnd) {
            // The decoded end is the truth where the scan or the estimate differ
            // (a file cut short, a damaged tail).
            ended_ = true;
            length_ = position_;
        } else if (position_ > length_) {
            length_ = position_;
        }
        return got;
    }

private:
    std::unique_ptr<SourceFile> file_;
    Window window_;
    mpg123_handle *mh_ = nullptr;
    int64_t length_ = 0;
    int64_t position_ = 0;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<Decoder> openMpegDecoder(std::unique_ptr<SourceFile> file, uint64_t audioStart, bool prescan,
                                         int &error) {
    auto dec = std::make_unique<MpegDecoder>(std::move(file), audioStart);
    if (!dec->open(prescan)) {
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    return dec;
}

} // namespace vorel::audiolib::detail
