// Ogg files that one container reading does not describe: links joined end to end
// (copies of an Opus file put together with cat, as some recorders and podcast
// tools write them), where libavformat gives the first link's length only, and a
// last page whose granule position cannot be real (a streaming writer's
// placeholder), where it gives a length of weeks. The pages are walked once,
// header by header; each link is decoded by its own container decoder over its
// own bytes, opened when a read or seek reaches it.
#include "audiolib.h"
#include "decoder_detail.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vorel::audiolib::detail {

namespace {

struct Link {
    uint64_t begin = 0, end = 0; // bytes
    uint32_t serial = 0;
    bool audio = false, opus = false;
    uint32_t rate = 0, channels = 0; // as delivered: Opus at 48 kHz, at most stereo
    int64_t preskip = 0;
    int64_t lastGranule = -1; // of the last page that could be real
    bool tailBad = false;     // the link's last stamped page could not be
    int64_t frames = 0;
};

uint32_t le32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The page at pos, or the next one within 64 KiB (damage between pages).
bool findPage(const SourceFile &f, uint64_t &pos) {
    unsigned char magic[4];
    if (f.readAt(pos, magic, 4) == 4 && std::memcmp(magic, "OggS", 4) == 0)
        return true;
    std::vector<unsigned char> buf(64 * 1024 + 3);
    const int64_t got = f.readAt(pos, buf.data(), buf.size());
    for (int64_t i = 0; i + 4 <= got; ++i)
        if (std::memcmp(buf.data() + i, "OggS", 4) == 0) {
            pos += uint64_t(i);
            return true;
        }
    return false;
}

// Every link of the file, with its length in delivered frames. Empty when the
// file is no Ogg of Opus or Vorbis.
std::vector<Link> walkLinks(const SourceFile &f) {
    std::vector<Link> links;
    uint64_t pos = 0;
    bool dataSeen = false;
    unsigned char h[27 + 255];
    while (findPage(f, pos)) {
        if (f.readAt(pos, h, 27) != 27 || h[4] != 0)
            break;
        const int segments = h[26];
        if (f.readAt(pos + 27, h + 27, size_t(segments)) != segments)
            break;
        uint64_t body = 0;
        int packetsEnded = 0;
        for (int i = 0; i < segments; ++i) {
            body += h[27 + i];
            packetsEnded += h[27 + i] < 255;
        }
        const uint64_t next = pos + 27 + uint64_t(segments) + body;
        if (next > f.size())
            break; // a page cut short: the link ends before it
        const bool bos = h[5] & 2;
        int64_t granule;
        std::memcpy(&granule, h + 6, 8); // little-endian, as this machine
        const uint32_t serial = le32(h + 14);
        if (bos && (links.empty() || dataSeen)) {
            if (!links.empty())
                links.back().end = pos;
            links.emplace_back().begin = pos;
            dataSeen = false;
        }
        if (links.empty())
            break; // a stream must open with a first page: this is no Ogg we read
        Link &link = links.back();
        if (bos && !link.audio) {
            unsigned char p[20] = {};
            f.readAt(pos + 27 + uint64_t(segments), p, sizeof p);
            if (std::memcmp(p, "OpusHead", 8) == 0) {
                link.audio = link.opus = true;
                link.rate = 48000;
                link.channels = p[9] >= 2 ? 2 : 1;
                link.preskip = p[10] | p[11] << 8;
                link.serial = serial;
            } else if (std::memcmp(p, "\x01vorbis", 7) == 0) {
                link.audio = true;
                link.rate = le32(p + 12);
                link.channels = p[11] >= 2 ? 2 : 1;
                link.serial = serial;
            }
        }
        if (!bos)
            dataSeen = true;
        if (!bos && link.audio && serial == link.serial && granule != -1) {
            // A page ends at most its packets' longest duration after the last one
            // (Opus 120 ms, Vorbis half its longest block).
            const int64_t step = int64_t(packetsEnded) * (link.opus ? 5760 : 4096);
            const int64_t before = link.lastGranule < 0 ? 0 : link.lastGranule;
            if (granule >= before && granule - before <= step + link.preskip) {
                link.lastGranule = granule;
                link.tailBad = false;
            } else {
                link.tailBad = true;
            }
        }
        link.end = next;
        pos = next;
    }
    for (Link &l : links)
        l.frames = std::max<int64_t>(0, l.lastGranule - (l.opus ? l.preskip : 0));
    if (links.empty() || !links.front().audio)
        return {};
    return links;
}

class ChainDecoder final : public Decoder {
public:
    ChainDecoder(std::unique_ptr<SourceFile> file, std::vector<Link> links)
        : file_(std::move(file)), links_(std::move(links)) {
        fileSize_ = file_->size();
    }

    int open() {
        int error = BASS_ERROR_FILEFORM;
        if (!openLink(0, error))
            return error;
        format_ = cur_->format();
        ctype_ = cur_->channelType();
        // Links of another kind or shape would need another channel: the chain
        // ends before the first of them.
        size_t kept = 1;
        while (kept < links_.size() && links_[kept].audio && links_[kept].opus == links_[0].opus &&
               links_[kept].rate == format_.rate && links_[kept].channels == format_.channels)
            ++kept;
        links_.resize(kept);
        starts_.clear();
        for (size_t i = 0; i < links_.size(); ++i) {
            if (links_[i].tailBad)
                measure(i);
            starts_.push_back(length_);
            length_ += links_[i].frames;
        }
        if (length_ <= 0)
            return BASS_ERROR_FILEFORM;
        return seekFrame(0) ? 0 : BASS_ERROR_FILEFORM;
    }

    std::unique_ptr<SourceFile> releaseFile() { return std::move(file_); }

    int64_t lengthFrames() const override { return length_; }
    int64_t positionFrame() const override { return position_; }

    bool seekFrame(int64_t frame) override {
        if (frame < 0 || frame > length_)
            return false;
        position_ = frame;
        placed_ = false;
        return true;
    }

    int64_t readFrames(void *buf, int64_t frames) override {
        auto *out = static_cast<int16_t *>(buf);
        const size_t ch = format_.channels;
        int64_t done = 0;
        while (done < frames && position_ < length_) {
            const size_t i = size_t(std::upper_bound(starts_.begin(), starts_.end(), position_) - starts_.begin()) - 1;
            const int64_t local = position_ - starts_[i];
            const int64_t want = std::min(frames - done, links_[i].frames - local);
            int64_t got = 0;
            int error = 0;
            if (i != curLink_ || !placed_) {
                placed_ = openLink(i, error) && local <= cur_->lengthFrames() && cur_->seekFrame(local);
            }
            if (placed_ && cur_->positionFrame() == local)
                got = cur_->readFrames(out + done * int64_t(ch), want);
            if (got <= 0) {
                // A link that decodes short of its pages' length is silent to its end.
                std::fill_n(out + done * int64_t(ch), size_t(want) * ch, int16_t(0));
                got = want;
                placed_ = false;
            }
            done += got;
            position_ += got;
        }
        return done;
    }

private:
    bool openLink(size_t i, int &error) {
        if (i == curLink_ && cur_)
            return true;
        cur_.reset();
        curLink_ = i;
        auto part = file_->view(links_[i].begin, links_[i].end - links_[i].begin);
        if (!part) {
            error = BASS_ERROR_FILEOPEN;
            return false;
        }
        cur_ = openAvContainer(part, error);
        return cur_ != nullptr;
    }

    // A link whose last page cannot be real: its end is found by decoding from
    // the last page that could be.
    void measure(size_t i) {
        Link &l = links_[i];
        int error = 0;
        if (!openLink(i, error) || !cur_->seekFrame(std::min(l.frames, cur_->lengthFrames())))
            return;
        std::vector<int16_t> block(size_t(4096) * format_.channels);
        while (cur_->readFrames(block.data(), 4096) > 0) {
        }
        l.frames = std::max(l.frames, cur_->positionFrame());
    }

    std::unique_ptr<SourceFile> file_;
    std::vector<Link> links_;
    std::vector<int64_t> starts_; // first frame of each link
    std::unique_ptr<Decoder> cur_;
    size_t curLink_ = SIZE_MAX;
    bool placed_ = false; // cur_ stands where position_ says
    int64_t length_ = 0;
    int64_t position_ = 0;
};

} // namespace

std::unique_ptr<Decoder> openOggChain(std::unique_ptr<SourceFile> &file, int &error) {
    unsigned char head[4];
    if (file->readAt(0, head, 4) != 4 || std::memcmp(head, "OggS", 4) != 0)
        return nullptr;
    std::vector<Link> links = walkLinks(*file);
    if (links.empty() || (links.size() == 1 && !links[0].tailBad))
        return nullptr;
    auto dec = std::make_unique<ChainDecoder>(std::move(file), std::move(links));
    if (const int r = dec->open(); r != 0) {
        error = r;
        return nullptr;
    }
    return dec;
}

} // namespace vorel::audiolib::detail
