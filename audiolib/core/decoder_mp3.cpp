// MPEG audio through libmpg123, gapless, always 16-bit at the stream's own rate and
// channel count.
#include "audiolib.h"
#include "decoder_detail.h"

#include <mpg123.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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

int samplesPerFrame(const FrameHeader &h) {
    if (h.layer == 3)
        return 384;
    return h.layer == 1 && h.version != 3 ? 576 : 1152;
}

// Where a Xing/Info tag sits in a layer III frame: after the side information.
size_t xingOffset(const FrameHeader &h) {
    return 4 + (h.version == 3 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17));
}

bool hasXingHeader(const unsigned char *p, const FrameHeader &h, size_t avail) {
    const size_t xing = xingOffset(h);
    return h.layer == 1 && avail >= xing + 4 &&
           (std::memcmp(p + xing, "Xing", 4) == 0 || std::memcmp(p + xing, "Info", 4) == 0);
}

bool hasVbriHeader(const unsigned char *p, const FrameHeader &h, size_t avail) {
    return h.layer == 1 && avail >= 40 && std::memcmp(p + 36, "VBRI", 4) == 0;
}

// A Xing/Info (LAME) or VBRI header in the first frame.
bool hasVbrHeader(const unsigned char *p, const FrameHeader &h, size_t avail) {
    return hasXingHeader(p, h, avail) || hasVbriHeader(p, h, avail);
}

uint32_t be32(const unsigned char *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t le32(const unsigned char *p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
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

// ---- The exact length without libmpg123's full scan ----------------------------
//
// libmpg123's scan parses every frame through the reader callbacks, on every open.
// A clean stream (one unbroken chain of frames of one kind, then at most tags) has
// its length in its frame headers alone: they are walked here in large blocks, and
// the result is kept per file, so that the player, the probe and the sampler's
// streams opening the same recording pay for one walk. Anything unusual (damage,
// free format, a format change, a cut frame, a VBRI header) is left to the scan.

constexpr size_t kWalkBlock = 1 << 20;
// The seek index keeps at most this many entries: frames per entry double as it
// fills, as in libmpg123's own index. A ten-hour file (1.4 million frames) gets one
// entry per 512 frames, so a seek parses at most that many headers (some 200 KiB).
constexpr size_t kIndexCapacity = 4096;
// Files whose layout is kept: the recording being worked on, with room for a few
// others opened in between.
constexpr size_t kLayoutCacheSize = 8;

#ifdef VOREL_DECODER_TEST_HOOKS
std::atomic<bool> gLibraryScanForced{false};
std::atomic<uint64_t> gScansAvoided{0};
#else
constexpr bool gLibraryScanForced = false;
#endif

struct FrameWalk {
    uint64_t frames = 0;     // audio frames; a leading Xing/Info frame is not one
    bool tagFrame = false;   // the first frame is a Xing/Info frame
    int64_t tagFrames = -1;  // the frame count it declares, -1 when none
    int samplesPerFrame = 0;
    off_t step = 1;
    std::vector<off_t> index; // window offsets of audio frames 0, step, 2 step...
};

// True when nothing but tags lies between pos and end: an APE tag (with or without
// its header) or an ID3v2 tag appended to the stream.
bool onlyTagsBetween(const SourceFile &file, uint64_t pos, uint64_t end) {
    if (pos == end)
        return true;
    if (end - pos < 10)
        return false;
    unsigned char b[32];
    const size_t n = static_cast<size_t>(std::min<uint64_t>(end - pos, sizeof b));
    if (file.readAt(pos, b, n) != static_cast<int64_t>(n))
        return false;
    if (id3v2Size(b) == static_cast<int64_t>(end - pos))
        return true;
    // An APE header's size counts the items and the footer, not the header itself.
    if (n == 32 && std::memcmp(b, "APETAGEX", 8) == 0 && 32 + uint64_t(le32(b + 12)) == end - pos)
        return true;
    return end - pos >= 32 && file.readAt(end - 32, b, 32) == 32 && std::memcmp(b, "APETAGEX", 8) == 0 &&
           uint64_t(le32(b + 12)) == end - pos;
}

// Walks the frame chain from audioStart; nothing unless the stream is clean.
std::optional<FrameWalk> walkFrames(const SourceFile &file, uint64_t audioStart) {
    uint64_t end = file.size();
    // An ID3v1 tag is taken off the end first, as libmpg123 does: a frame running
    // into it is a cut frame.
    unsigned char tail[3];
    if (end - audioStart >= 128 && file.readAt(end - 128, tail, 3) == 3 && std::memcmp(tail, "TAG", 3) == 0)
        end -= 128;

    std::vector<unsigned char> buf(kWalkBlock);
    uint64_t bufStart = 0;
    size_t bufFill = 0;
    // n bytes at the file offset at, refilling the buffer from there when needed.
    auto bytesAt = [&](uint64_t at, size_t n) -> const unsigned char * {
        if (at < bufStart || at + n > bufStart + bufFill) {
            const int64_t got =
                file.readAt(at, buf.data(), static_cast<size_t>(std::min<uint64_t>(kWalkBlock, end - at)));
            bufStart = at;
            bufFill = got > 0 ? static_cast<size_t>(got) : 0;
            if (n > bufFill)
                return nullptr;
        }
        return buf.data() + (at - bufStart);
    };

    FrameWalk walk;
    FrameHeader first;
    uint64_t pos = audioStart;
    for (bool firstFrame = true; pos < end; firstFrame = false) {
        FrameHeader h;
        const unsigned char *p = end - pos >= 4 ? bytesAt(pos, 4) : nullptr;
        if (!p || !parseHeader(p, h))
            break;
        if (h.length > end - pos)
            return std::nullopt;
        if (firstFrame) {
            first = h;
            walk.samplesPerFrame = samplesPerFrame(h);
            const size_t avail = std::min<size_t>(h.length, 64);
            p = bytesAt(pos, avail);
            if (!p || hasVbriHeader(p, h, avail))
                return std::nullopt;
            if (hasXingHeader(p, h, avail)) {
                const size_t x = xingOffset(h);
                walk.tagFrame = true;
                if (avail >= x + 12 && (be32(p + x + 4) & 1))
                    walk.tagFrames = be32(p + x + 8);
                pos += h.length;
                continue;
            }
        } else if (!sameStream(first, h)) {
            return std::nullopt;
        }
        if (walk.frames % static_cast<uint64_t>(walk.step) == 0) {
            if (walk.index.size() == kIndexCapacity) {
                for (size_t i = 0; i < kIndexCapacity / 2; ++i)
                    walk.index[i] = walk.index[2 * i];
                walk.index.resize(kIndexCapacity / 2);
                walk.step *= 2;
            }
            if (walk.frames % static_cast<uint64_t>(walk.step) == 0)
                walk.index.push_back(static_cast<off_t>(pos - audioStart));
        }
        ++walk.frames;
        pos += h.length;
    }
    if (walk.frames == 0 || !onlyTagsBetween(file, pos, end))
        return std::nullopt;
    return walk;
}

// What a full scan of the file would tell: its length, and a seek index.
struct MpegLayout {
    int64_t length = 0; // sample frames, as mpg123_length() gives after mpg123_scan()
    off_t step = 1;
    std::vector<off_t> index;
};

// The length libmpg123 would report after its scan, given the walk and a handle
// just opened on the same window; nothing where that cannot be told for certain.
std::optional<int64_t> lengthFromWalk(mpg123_handle *mh, const FrameWalk &walk) {
    off_t *offsets = nullptr;
    off_t step = 0;
    size_t fill = 0;
    // libmpg123 must have taken the same frame for its first audio frame.
    if (mpg123_spf(mh) != walk.samplesPerFrame || mpg123_index(mh, &offsets, &step, &fill) != MPG123_OK ||
        fill < 1 || offsets[0] != walk.index.front())
        return std::nullopt;
    if (!walk.tagFrame) {
        // No Info frame, so no gapless trim: every frame is delivered whole.
        long delay = 0;
        double unused = 0;
        if (mpg123_getstate(mh, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK || delay != -1)
            return std::nullopt;
        return static_cast<int64_t>(walk.frames) * walk.samplesPerFrame;
    }
    // libmpg123 took the frame count and the gapless trim from the Info frame at
    // open; where the walk confirms that count, the scan would find the same. A
    // count that differs (files joined, a tag written before the end was known)
    // is left to the scan, which also decides how the trim then applies.
    if (walk.tagFrames != static_cast<int64_t>(walk.frames) ||
        mpg123_framelength(mh) != static_cast<off_t>(walk.frames))
        return std::nullopt;
    const off_t length = mpg123_length(mh);
    if (length <= 0)
        return std::nullopt;
    return static_cast<int64_t>(length);
}

// Which file, in which state: a rewritten file differs in size, mtime or ctime,
// a replaced one in its inode as well.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};
    uint64_t audioStart = 0;

    bool operator==(const FileIdentity &o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec && audioStart == o.audioStart;
    }
};

std::optional<FileIdentity> identityOf(const SourceFile &file, uint64_t audioStart) {
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, audioStart};
}

// Layouts of the last few files walked, for every thread. A file being walked is
// marked pending: other threads opening it wait for that walk instead of starting
// their own. An entry with no layout records that the file needs the full scan.
class LayoutCache {
public:
    struct Found {
        bool known = false; // false: the caller walks, then calls publish()
        std::shared_ptr<const MpegLayout> layout;
    };

    // Any thread.
    Found findOrClaim(const FileIdentity &id) {
        std::unique_lock lock(mutex_);
        for (;;) {
            Entry *e = find(id);
            if (!e)
                break;
            if (!e->pending) {
                e->used = ++clock_;
                return {true, e->layout};
            }
            changed_.wait(lock);
        }
        // Room is made from the least recently used settled entry; with every
        // entry pending the caller walks without keeping the result.
        if (entries_.size() >= kLayoutCacheSize) {
            auto victim = entries_.end();
            for (auto it = entries_.begin(); it != entries_.end(); ++it)
                if (!it->pending && (victim == entries_.end() || it->used < victim->used))
                    victim = it;
            if (victim == entries_.end())
                return {};
            entries_.erase(victim);
        }
        entries_.push_back({id, nullptr, true, ++clock_});
        return {};
    }

    // Any thread; settles a claim of findOrClaim(). kept false drops the entry
    // (the file changed during the walk).
    void publish(const FileIdentity &id, std::shared_ptr<const MpegLayout> layout, bool keep) {
        {
            std::lock_guard lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end(); ++it) {
                if (it->pending && it->id == id) {
                    if (keep) {
                        it->layout = std::move(layout);
                        it->pending = false;
                    } else {
                        entries_.erase(it);
                    }
                    break;
                }
            }
        }
        changed_.notify_all();
    }

private:
    struct Entry {
        FileIdentity id;
        std::shared_ptr<const MpegLayout> layout;
        bool pending = false;
        uint64_t used = 0;
    };

    Entry *find(const FileIdentity &id) {
        for (auto &e : entries_)
            if (e.id == id)
                return &e;
        return nullptr;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;
    uint64_t clock_ = 0;
};

LayoutCache &layoutCache() {
    static LayoutCache cache;
    return cache;
}

// The layout of the file from the cache or a walk; null where only libmpg123's
// scan can tell. mh is a handle just opened on the window at audioStart. Called
// from the opening thread; several may open the same file at once.
std::shared_ptr<const MpegLayout> layoutOf(const SourceFile &file, uint64_t audioStart, mpg123_handle *mh) {
    const auto id = identityOf(file, audioStart);
    if (!id)
        return nullptr;
    auto &cache = layoutCache();
    const auto found = cache.findOrClaim(*id);
    if (found.known)
        return found.layout;

    // The claim is settled however this ends, or the threads waiting for it
    // would wait forever.
    struct Settle {
        LayoutCache &cache;
        const FileIdentity &id;
        const SourceFile &file;
        std::shared_ptr<const MpegLayout> layout;
        ~Settle() {
            // A file written to during the walk is not remembered in either state.
            const auto after = identityOf(file, id.audioStart);
            cache.publish(id, layout, after && *after == id);
        }
    } settle{cache, *id, file, nullptr};
    if (const auto walk = walkFrames(file, audioStart)) {
        if (const auto length = lengthFromWalk(mh, *walk)) {
            auto layout = std::make_shared<MpegLayout>();
            layout->length = *length;
            layout->step = walk->step;
            layout->index = walk->index;
            settle.layout = std::move(layout);
        }
    }
    return settle.layout;
}

} // namespace

#ifdef VOREL_DECODER_TEST_HOOKS
void setMpegLibraryScanForced(bool forced) {
    gLibraryScanForced = forced;
}

uint64_t mpegScansAvoided() {
    return gScansAvoided;
}
#endif

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

        if (prescan && !gLibraryScanForced) {
            if (auto layout = layoutOf(*file_, window_.base, mh_)) {
                // libmpg123 copies the index. Without it a seek far into a long file
                // parses every frame before its target.
                mpg123_set_index(mh_, const_cast<off_t *>(layout->index.data()), layout->step,
                                 layout->index.size());
                length_ = layout->length;
#ifdef VOREL_DECODER_TEST_HOOKS
                ++gScansAvoided;
#endif
                return true;
            }
        }
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
