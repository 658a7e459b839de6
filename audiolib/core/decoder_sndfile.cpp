// WAV and the other PCM files libsndfile reads, and FLAC (sample-exact lengths and
// seeks). 8-bit stays 8-bit unsigned and
// 16-bit is passed through; everything wider, and floating point, is read as float
// and brought to 16-bit here: libsndfile's own float-to-short read does not scale.
#include "audiolib.h"
#include "decoder_detail.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vorel::audiolib::detail {

namespace {

// libsndfile reads through the already open file, never by name: with a name it
// would guess headerless formats from the extension.
// base: where the bytes libsndfile sees begin in the file (headerless reads).
struct Cursor {
    const SourceFile *file;
    sf_count_t pos = 0;
    sf_count_t base = 0;
    // A FLAC's STREAMINFO total as libsndfile is to see it; -1 for the file's own.
    int64_t flacTotal = -1;

    sf_count_t size() const { return static_cast<sf_count_t>(file->size()) - base; }
};

sf_count_t vioLength(void *user) {
    return static_cast<Cursor *>(user)->size();
}

sf_count_t vioSeek(sf_count_t offset, int whence, void *user) {
    auto *c = static_cast<Cursor *>(user);
    sf_count_t target;
    switch (whence) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = c->pos + offset; break;
    case SEEK_END: target = c->size() + offset; break;
    default: return -1;
    }
    if (target < 0)
        return -1;
    c->pos = target;
    return target;
}

// STREAMINFO's total sample count: 36 bits from the low nibble of byte 21.
void patchFlacTotal(unsigned char *buf, int64_t offset, int64_t n, uint64_t total) {
    for (int64_t at = std::max<int64_t>(offset, 21); at < std::min<int64_t>(offset + n, 26); ++at) {
        unsigned char &b = buf[at - offset];
        b = at == 21 ? uint8_t((b & 0xF0) | ((total >> 32) & 0x0F)) : uint8_t(total >> (8 * (25 - at)));
    }
}

sf_count_t vioRead(void *ptr, sf_count_t count, void *user) {
    auto *c = static_cast<Cursor *>(user);
    if (count <= 0)
        return 0;
    const int64_t got = c->file->readAt(static_cast<uint64_t>(c->base + c->pos), ptr, static_cast<size_t>(count));
    if (got < 0)
        return 0;
    if (c->flacTotal >= 0)
        patchFlacTotal(static_cast<unsigned char *>(ptr), c->base + c->pos, got, uint64_t(c->flacTotal));
    c->pos += got;
    return got;
}

sf_count_t vioWrite(const void *, sf_count_t, void *) {
    return 0;
}

sf_count_t vioTell(void *user) {
    return static_cast<Cursor *>(user)->pos;
}

enum class Sample { U8, S16, Float };

constexpr int kChunkFrames = 4096;
// More channels than this is not audio the rest of the library can carry (the
// channel count travels in a byte).
constexpr int kMaxChannels = 255;

int16_t toS16(float v) {
    // NaN lands on 0; the range check before the conversion keeps it defined.
    const float scaled = v * 32768.0f;
    if (!(scaled > -32768.0f))
        return std::isnan(scaled) ? 0 : -32768;
    if (scaled >= 32767.0f)
        return 32767;
    return static_cast<int16_t>(std::lrint(scaled));
}

class SndfileDecoder final : public Decoder {
public:
    explicit SndfileDecoder(std::unique_ptr<SourceFile> file) : file_(std::move(file)), cursor_{file_.get()} {
        fileSize_ = file_->size();
    }

    ~SndfileDecoder() override {
        if (sf_)
            sf_close(sf_);
    }

    // -1: not ours (leave the file to others); 0: ours but unusable; 1: open.
    int open() {
        SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
        SF_INFO info{};
        sf_ = sf_open_virtual(&io, SFM_READ, &info, &cursor_);
        if (!sf_)
            return -1;
        const int major = info.format & SF_FORMAT_TYPEMASK;
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        // Vorbis and Opus go to libavformat: libsndfile's Vorbis seek can land
        // thousands of frames off, and its Opus decoding takes three times as long.
        if (major == SF_FORMAT_MPEG || major == SF_FORMAT_RAW || subtype == SF_FORMAT_VORBIS ||
            subtype == SF_FORMAT_OPUS)
            return -1;
        if (info.channels < 1 || info.channels > kMaxChannels || info.samplerate <= 0 || info.frames < 0)
            return 0;
        // Positions must be exact; an encoding libsndfile cannot seek in (GSM 6.10
        // in WAV) is one we do not support.
        if (!info.seekable || sf_seek(sf_, 0, SEEK_SET) != 0)
            return 0;

        switch (subtype) {
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_S8:
            sample_ = Sample::U8;
            break;
        case SF_FORMAT_PCM_16:
            sample_ = Sample::S16;
            break;
        default:
            sample_ = Sample::Float;
            break;
        }
        format_.rate = static_cast<uint32_t>(info.samplerate);
        format_.channels = static_cast<uint32_t>(info.channels);
        format_.bytesPerSample = sample_ == Sample::U8 ? 1 : 2;
        length_ = info.frames;
        if (major == SF_FORMAT_FLAC && !findFlacLength())
            return 0;

        const bool riff = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
        const bool floating = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
        const bool integerPcm = subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_16 ||
                                subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_32;
        if ((major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX) && (floating || integerPcm) && !readToFileEnd(info))
            return 0;
        if (riff && floating)
            ctype_ = BASS_CTYPE_STREAM_WAV_FLOAT;
        else if (riff && integerPcm)
            ctype_ = BASS_CTYPE_STREAM_WAV_PCM;
        else if (major == SF_FORMAT_FLAC)
            ctype_ = BASS_CTYPE_STREAM_FLAC;
        else
            ctype_ = BASS_CTYPE_STREAM_WAV;
        return 1;
    }

    // A streaming writer leaves STREAMINFO's total at 0 (libsndfile then says
    // SF_COUNT_MAX), and a damaged header may claim more or less than its
    // frames hold: the length is where the frames end. The last frame's header
    // says where it starts; decoding from there finds the end, and where no
    // header is found the whole file is decoded. False when nothing decodes.
    bool findFlacLength() {
        const TFlacFrame lastFrame = lastFlacFrame();
        const int64_t last = lastFrame.start;
        // libsndfile stops at the header's claim: where frames go on past it, it is
        // shown an unknown total while the end is looked for, then the real one.
        const bool claimsFewer = last >= 0 && length_ < last + lastFrame.samples;
        if (claimsFewer) {
            cursor_.flacTotal = 0;
            if (!reopen())
                return false;
        }
        int64_t end = 0;
        if (last > 0 && sf_seek(sf_, last, SEEK_SET) == last)
            end = last + countToEnd();
        // libFLAC may refuse a seek in a stream of unknown length, and refuses
        // every seek after that: a fresh decoder counts from the start.
        if (end <= last) {
            if (!reopen())
                return false;
            end = countToEnd();
        }
        if (claimsFewer)
            cursor_.flacTotal = end;
        if (!reopen())
            return false;
        length_ = end;
        return end > 0;
    }

    bool reopen() {
        sf_close(sf_);
        cursor_.pos = 0;
        SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
        SF_INFO info{};
        sf_ = sf_open_virtual(&io, SFM_READ, &info, &cursor_);
        return sf_ != nullptr;
    }

    int64_t countToEnd() {
        shorts_.resize(size_t(kChunkFrames) * format_.channels);
        int64_t n = 0;
        for (sf_count_t got; (got = sf_readf_short(sf_, shorts_.data(), kChunkFrames)) > 0;)
            n += got;
        return n;
    }

    struct TFlacFrame {
        int64_t start = -1; // its first sample
        int64_t samples = 0;
    };

    // The file's last intact frame (sync code, valid fields, matching CRC-8 of
    // the header); start -1 where none is found.
    TFlacFrame lastFlacFrame() const {
        unsigned char info[8];
        // "fLaC", the STREAMINFO block header, then its minimum block size.
        if (file_->readAt(0, info, 8) != 8 || std::memcmp(info, "fLaC", 4) != 0)
            return {};
        unsigned char minBlock[2];
        if (file_->readAt(8, minBlock, 2) != 2)
            return {};
        const int64_t fixedBlock = minBlock[0] << 8 | minBlock[1];
        // Larger than the largest frame libFLAC writes at 8 channels of 24 bits.
        constexpr int64_t kWindow = 1 << 20;
        const int64_t size = int64_t(file_->size());
        const int64_t base = std::max<int64_t>(0, size - kWindow);
        std::vector<unsigned char> tail(size_t(size - base));
        if (file_->readAt(uint64_t(base), tail.data(), tail.size()) != int64_t(tail.size()))
            return {};
        for (int64_t i = int64_t(tail.size()) - 4; i >= 0; --i) {
            if (tail[size_t(i)] != 0xFF || (tail[size_t(i) + 1] & 0xFE) != 0xF8)
                continue;
            const TFlacFrame frame = flacFrameAt(tail.data() + i, tail.size() - size_t(i), fixedBlock);
            if (frame.start >= 0)
                return frame;
        }
        return {};
    }

    static TFlacFrame flacFrameAt(const unsigned char *h, size_t n, int64_t fixedBlock) {
        if (n < 6)
            return {};
        const bool variable = h[1] & 1;
        const int blockCode = h[2] >> 4, rateCode = h[2] & 15, chanCode = h[3] >> 4, sizeCode = (h[3] >> 1) & 7;
        if (blockCode == 0 || rateCode == 15 || chanCode > 10 || sizeCode == 3 || (h[3] & 1))
            return {};
        // The coded frame or sample number, UTF-8 style, up to 36 bits.
        size_t at = 4;
        int extra = 0;
        uint64_t number = h[at];
        if (number >= 0x80) {
            if (number >= 0xFE || (number & 0xC0) != 0xC0)
                return {};
            for (unsigned mask = 0x40; number & mask; mask >>= 1)
                ++extra;
            number &= (0x3Fu >> extra);
        }
        ++at;
        for (int k = 0; k < extra; ++k, ++at) {
            if (at >= n || (h[at] & 0xC0) != 0x80)
                return {};
            number = number << 6 | (h[at] & 0x3F);
        }
        // The block size: coded, or in the one or two bytes after the number.
        int64_t samples = 0;
        if (blockCode == 1)
            samples = 192;
        else if (blockCode <= 5)
            samples = int64_t(576) << (blockCode - 2);
        else if (blockCode >= 8)
            samples = int64_t(256) << (blockCode - 8);
        if (blockCode == 6 || blockCode == 7) {
            if (at + size_t(blockCode - 5) > n)
                return {};
            samples = (blockCode == 6 ? h[at] : h[at] << 8 | h[at + 1]) + 1;
        }
        at += blockCode == 6 ? 1 : blockCode == 7 ? 2 : 0;
        at += rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
        if (at >= n)
            return {};
        uint8_t crc = 0;
        for (size_t k = 0; k < at; ++k) {
            crc ^= h[k];
            for (int b = 0; b < 8; ++b)
                crc = uint8_t(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
        }
        if (crc != h[at])
            return {};
        if (variable)
            return {int64_t(number), samples};
        if (fixedBlock <= 0)
            return {};
        return {int64_t(number) * fixedBlock, samples};
    }

    // A recorder that streams a WAV never patches its sizes: 0xFFFFFFFF in the
    // data chunk, and libsndfile stops there, 4 GiB in. Such data runs to the end
    // of the file: read it headerless from where the data begins. False when
    // that reopening fails.
    bool readToFileEnd(SF_INFO &info) {
        const sf_count_t dataOffset = cursor_.pos; // sf_seek(0) went to the first frame
        unsigned char chunk[8];
        if (dataOffset < 8 || file_->readAt(static_cast<uint64_t>(dataOffset - 8), chunk, 8) != 8 ||
            std::memcmp(chunk, "data", 4) != 0 || std::memcmp(chunk + 4, "\xFF\xFF\xFF\xFF", 4) != 0)
            return true;
        SF_INFO raw{};
        raw.samplerate = info.samplerate;
        raw.channels = info.channels;
        raw.format = SF_FORMAT_RAW | (info.format & SF_FORMAT_SUBMASK) | SF_ENDIAN_LITTLE;
        sf_close(sf_);
        cursor_ = Cursor{file_.get(), 0, dataOffset};
        SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
        sf_ = sf_open_virtual(&io, SFM_READ, &raw, &cursor_);
        if (!sf_)
            return false;
        info.frames = raw.frames;
        length_ = raw.frames;
        return true;
    }

    std::unique_ptr<SourceFile> releaseFile() {
        if (sf_)
            sf_close(sf_);
        sf_ = nullptr;
        return std::move(file_);
    }

    int64_t lengthFrames() const override { return length_; }
    int64_t positionFrame() const override { return position_; }

    bool seekFrame(int64_t frame) override {
        if (frame < 0 || frame > length_)
            return false;
        if (sf_seek(sf_, frame, SEEK_SET) != frame)
            return false;
        position_ = frame;
        return true;
    }

    int64_t readFrames(void *buf, int64_t frames) override {
        if (frames <= 0)
            return 0;
        if (sample_ == Sample::S16)
            return finish(sf_readf_short(sf_, static_cast<short *>(buf), frames), frames);

        const size_t channels = format_.channels;
        int64_t total = 0;
        while (total < frames) {
            const sf_count_t ask = std::min<int64_t>(kChunkFrames, frames - total);
            sf_count_t got;
            if (sample_ == Sample::U8) {
                shorts_.resize(static_cast<size_t>(ask) * channels);
                got = sf_readf_short(sf_, shorts_.data(), ask);
                auto *out = static_cast<uint8_t *>(buf) + static_cast<size_t>(total) * channels;
                // libsndfile widens 8-bit samples by 8 bits exactly, so this is lossless.
                for (size_t i = 0; i < static_cast<size_t>(std::max<sf_count_t>(got, 0)) * channels; ++i)
                    out[i] = static_cast<uint8_t>((shorts_[i] >> 8) + 128);
            } else {
                floats_.resize(static_cast<size_t>(ask) * channels);
                got = sf_readf_float(sf_, floats_.data(), ask);
                auto *out = static_cast<int16_t *>(buf) + static_cast<size_t>(total) * channels;
                for (size_t i = 0; i < static_cast<size_t>(std::max<sf_count_t>(got, 0)) * channels; ++i)
                    out[i] = toS16(floats_[i]);
            }
            if (got <= 0)
                break;
            total += got;
            if (got < ask)
                break;
        }
        return finish(total, frames);
    }

private:
    int64_t finish(sf_count_t got, int64_t asked) {
        if (got <= 0 && asked > 0 && sf_error(sf_) != SF_ERR_NO_ERROR)
            return -1;
        got = std::max<sf_count_t>(got, 0);
        position_ += got;
        if (position_ > length_)
            length_ = position_;
        return got;
    }

    std::unique_ptr<SourceFile> file_;
    Cursor cursor_;
    SNDFILE *sf_ = nullptr;
    Sample sample_ = Sample::S16;
    int64_t length_ = 0;
    int64_t position_ = 0;
    std::vector<short> shorts_;
    std::vector<float> floats_;
};

} // namespace

std::unique_ptr<Decoder> openSndfileDecoder(std::unique_ptr<SourceFile> &file, int &error) {
    auto dec = std::make_unique<SndfileDecoder>(std::move(file));
    switch (dec->open()) {
    case 1:
        return dec;
    case 0:
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    default:
        file = dec->releaseFile();
        return nullptr;
    }
}

} // namespace vorel::audiolib::detail
