// File decoders of the core library: MP3 through libmpg123; WAV and FLAC through
// libsndfile; Ogg Vorbis and Opus, and the audio track of MP4/M4A/MOV and
// Matroska/WebM through libavformat. A decoder is used by one thread at a time (the
// caller's for decoding channels, the update thread for playing ones); it is never
// touched from the audio callback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vorel::audiolib {

// PCM as a channel delivers it: interleaved, 8-bit unsigned or 16-bit signed
// little-endian.
struct PcmFormat {
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint32_t bytesPerSample = 2; // 1 or 2

    uint32_t frameBytes() const { return channels * bytesPerSample; }
};

class Decoder {
public:
    virtual ~Decoder() = default;

    // Opens path (UTF-8). prescan asks for the exact length of an MP3: a walk over its
    // frame headers, kept for later opens of the unchanged file, or where the stream
    // is not clean libmpg123's full scan. Any thread; several may open at once.
    // On failure returns null and sets error to BASS_ERROR_FILEOPEN (missing,
    // unreadable), BASS_ERROR_FILEFORM (no audio we can decode) or
    // BASS_ERROR_NOTAUDIO (a container without an audio track).
    static std::unique_ptr<Decoder> open(const std::string &path, bool prescan, int &error);

    const PcmFormat &format() const { return format_; }
    // BASS_CTYPE_STREAM_MP3, _WAV_PCM (integer PCM WAV) or _WAV_FLOAT (float WAV),
    // _FLAC, _OGG (Vorbis), _OPUS, _MP4 (AAC in MP4), _AAC, _ALAC, plain _STREAM for
    // other codecs in a container, _WAV for the other formats libsndfile reads (AIFF...). Float, 24- and
    // 32-bit samples are delivered as 16-bit, so for those the file's own data is
    // not in format().
    uint32_t channelType() const { return ctype_; }
    uint64_t fileSize() const { return fileSize_; }
    // The container's chapter marks as VOREL_TAG_CHAPTERS text ("<ms>\t<title>\0"
    // each, a final "\0"); empty when it has none.
    const std::string &chapters() const { return chapters_; }

    // Total frames of audio. For an MP3 opened without prescan an estimate until
    // the end is read; once a read meets the real end (a file cut short, say) the
    // length becomes the position there.
    virtual int64_t lengthFrames() const = 0;
    // Sample-exact; false when frame is beyond the end (frame == length is the
    // end itself: allowed, the next read gives 0).
    virtual bool seekFrame(int64_t frame) = 0;
    // The frame the next read starts at.
    virtual int64_t positionFrame() const = 0;
    // Up to frames frames into buf in format(); returns frames read, 0 at the end,
    // -1 on a read error (the caller ends the stream there).
    virtual int64_t readFrames(void *buf, int64_t frames) = 0;

protected:
    PcmFormat format_;
    uint32_t ctype_ = 0;
    uint64_t fileSize_ = 0;
    std::string chapters_;
};

} // namespace vorel::audiolib
