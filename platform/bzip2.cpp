#include "bzip2.h"

#include "tempfolder.h"

#include <bzlib.h>
#include <cstdint>
#include <string>

namespace vorel::platform {

namespace {

[[noreturn]] void fail(int code) { throw EPlatformError("error " + std::to_string(code)); }

} // namespace

std::vector<uint8_t> Bunzip2(const uint8_t *data, size_t size, int *bufferSizes) {
    if (bufferSizes)
        *bufferSizes = 1;
    if (size > UINT32_MAX / 4)
        fail(BZ_PARAM_ERROR);
    const size_t step = (size + 255) / 256 * 256;
    std::vector<uint8_t> out(size * 2);

    // The stream form of the one-call decompression: a full buffer is grown and
    // decompression goes on where it stopped, instead of starting over each time.
    bz_stream bz{};
    int rc = BZ2_bzDecompressInit(&bz, 0, 0);
    if (rc != BZ_OK)
        fail(rc);
    struct End {
        bz_stream *s;
        ~End() { BZ2_bzDecompressEnd(s); }
    } end{&bz};
    static char none = 0; // the library refuses null buffers even when empty
    bz.next_in = size ? const_cast<char *>(reinterpret_cast<const char *>(data)) : &none;
    bz.avail_in = static_cast<unsigned int>(size);
    size_t produced = 0;
    for (;;) {
        bz.next_out = out.empty() ? &none : reinterpret_cast<char *>(out.data()) + produced;
        bz.avail_out = static_cast<unsigned int>(out.size() - produced);
        const unsigned int room = bz.avail_out;
        rc = BZ2_bzDecompress(&bz);
        produced += room - bz.avail_out;
        if (rc == BZ_STREAM_END) {
            out.resize(produced);
            return out;
        }
        if (rc != BZ_OK)
            fail(rc);
        if (bz.avail_out > 0) // all input used, stream not ended
            fail(BZ_UNEXPECTED_EOF);
        if (step == 0 || out.size() + step > UINT32_MAX)
            fail(BZ_OUTBUFF_FULL);
        out.resize(out.size() + step);
        if (bufferSizes)
            ++*bufferSizes;
    }
}

} // namespace vorel::platform
