// Shared between the decoder sources only: the open file and the per-format
// factories that Decoder::open chooses between.
#pragma once

#include "decoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace vorel::audiolib::detail {

// An open regular file, read by absolute offset so that the sniffer and the
// decoder never disturb each other's file position. A view of part of a file
// (one link of a chained Ogg) has its own descriptor and starts at base.
class SourceFile {
public:
    SourceFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    ~SourceFile();
    SourceFile(const SourceFile &) = delete;
    SourceFile &operator=(const SourceFile &) = delete;

    uint64_t size() const { return size_; }
    int fd() const { return fd_; }
    // Reads up to n bytes at offset; returns the count (short only at the end of
    // the file), -1 on an I/O error.
    int64_t readAt(uint64_t offset, void *buf, size_t n) const;

    // A view of bytes [begin, begin + n) of this file, or null when no descriptor
    // is left.
    std::unique_ptr<SourceFile> view(uint64_t begin, uint64_t n) const;

private:
    int fd_;
    uint64_t size_;
    uint64_t base_ = 0;
    bool bounded_ = false; // a view reads nothing past its end
};

// Offset of the first MPEG audio frame when the file carries real evidence of
// being an MPEG audio stream, else nothing.
std::optional<uint64_t> findMpegAudioStart(const SourceFile &file);

#ifdef VOREL_DECODER_TEST_HOOKS
// Only in the decoder test's own build of these sources, never in the library:
// true makes every MP3 prescan run libmpg123's own full scan, as if the frame walk
// had refused the file, and keeps the layout cache out of it. Any thread.
void setMpegLibraryScanForced(bool forced);
// MP3 prescans so far that took the length from a frame walk or its cached result
// instead of libmpg123's scan. Any thread.
uint64_t mpegScansAvoided();
#endif

// Both return null with error set when the content cannot be decoded after all.
std::unique_ptr<Decoder> openMpegDecoder(std::unique_ptr<SourceFile> file, uint64_t audioStart,
                                         bool prescan, int &error);
// Null (error untouched) when libsndfile does not recognise the content, or
// recognises it only as MPEG audio, which is left to libmpg123, or as Vorbis or
// Opus, which are left to libavformat.
std::unique_ptr<Decoder> openSndfileDecoder(std::unique_ptr<SourceFile> &file, int &error);
// Null (error untouched) when the content is no MP4/MOV, Matroska/WebM or Ogg
// container; BASS_ERROR_NOTAUDIO for one without an audio track.
std::unique_ptr<Decoder> openAvDecoder(std::unique_ptr<SourceFile> &file, int &error);
// The same for one container, without the look at Ogg links that openAvDecoder
// makes first.
std::unique_ptr<Decoder> openAvContainer(std::unique_ptr<SourceFile> &file, int &error);
// An Ogg file whose links are more than one (files joined end to end) or whose
// last granule position cannot be real, as one decoder over all its links; null
// (file untouched) for any other file.
std::unique_ptr<Decoder> openOggChain(std::unique_ptr<SourceFile> &file, int &error);

} // namespace vorel::audiolib::detail
