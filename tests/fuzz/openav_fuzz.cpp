// Arbitrary bytes as a media container (MP4, Matroska, Ogg): opening, reading and
// seeking must stay inside what the file holds, never crash, and keep the
// decoder's own promises (no frame past the length, positions that add up).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audiolib.h"
#include "decoder_detail.h"

using namespace vorel::audiolib;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A memory file is a regular file, like the files the library is given.
    const int fd = memfd_create("openav", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size)) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    auto file = std::make_unique<detail::SourceFile>(fd, size);
    int error = 0;
    auto d = detail::openAvDecoder(file, error);
    if (!d) {
        // Either not a container of ours (the file comes back) or a known code.
        if (!file && error != BASS_ERROR_FILEFORM && error != BASS_ERROR_NOTAUDIO && error != BASS_ERROR_MEM)
            std::abort();
        return 0;
    }
    const PcmFormat f = d->format();
    if (f.rate == 0 || f.channels < 1 || f.channels > 2 || f.bytesPerSample != 2)
        std::abort();
    std::vector<int16_t> buf(4096 * f.channels);
    int64_t total = 0;
    for (int i = 0; i < 64; ++i) {
        const int64_t got = d->readFrames(buf.data(), 4096);
        if (got < 0 || got > 4096)
            std::abort();
        if (got == 0)
            break;
        total += got;
        if (d->positionFrame() != total || total > d->lengthFrames())
            std::abort();
    }
    const int64_t len = d->lengthFrames();
    for (int64_t k : {len / 2, int64_t(0), len - 1, len}) {
        if (k < 0 || !d->seekFrame(k))
            continue;
        if (d->positionFrame() != k)
            std::abort();
        const int64_t got = d->readFrames(buf.data(), 4096);
        if (got < 0 || d->positionFrame() != k + got || d->positionFrame() > d->lengthFrames())
            std::abort();
    }
    return 0;
}
