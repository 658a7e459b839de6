#include "pcmread.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/tempfolder.h"
#include "samplelist.h"

namespace vorel::segment {

namespace {

// Reads go through a window of about this size: large enough that the system
// calls cost little, small enough that the scan finds the window still in the
// core's own cache after the kernel copied it there.
constexpr size_t ReadWindowBytes = 256 << 10;

} // namespace

size_t SamplePcmBlocks(int fd, int64_t at, size_t blockSize, size_t count, int bits, int channels,
                       const std::atomic<bool> *cancel, TStrings &out) {
    out.reserve(out.size() + count);
    if (blockSize == 0) {
        TWaveSampleList::SampleBlocks(bits, channels, nullptr, 0, count, out);
        return count;
    }
    const size_t perWindow = std::max<size_t>(1, ReadWindowBytes / blockSize);
    std::vector<uint8_t> buffer(perWindow * blockSize);
    size_t done = 0;
    while (done < count) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return done;
        const size_t blocks = std::min(perWindow, count - done);
        const size_t want = blocks * blockSize;
        size_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd, buffer.data() + got, want - got, static_cast<off_t>(at + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw platform::EPlatformError(std::string("不能读取文件：") + platform::SystemErrorText(errno));
            if (n == 0)
                break;
            got += static_cast<size_t>(n);
        }
        // Only a file cut short while we read it ends early: the samples end there.
        const size_t real = (got + blockSize - 1) / blockSize;
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got),
                  buffer.begin() + static_cast<std::ptrdiff_t>(real * blockSize), bits == 8 ? 128 : 0);
        TWaveSampleList::SampleBlocks(bits, channels, buffer.data(), blockSize, real, out);
        done += real;
        if (real < blocks)
            return done;
        at += static_cast<int64_t>(want);
    }
    return done;
}

} // namespace vorel::segment
