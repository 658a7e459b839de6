// Helpers of the fuzz targets that hand their input to code reading a file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace vorel::fuzz {

inline void check(bool ok) {
    if (!ok)
        std::abort();
}

// The input as the content of one in-memory file (so that the fuzzer measures the
// reader, not the disk); returns a path that opens it.
inline std::string ScratchFile(const uint8_t *data, size_t size) {
    static const int fd = memfd_create("fuzzinput", 0);
    check(fd >= 0);
    check(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace vorel::fuzz
