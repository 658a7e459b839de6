// Whole-buffer bzip2 decompression for the program's embedded resources (the
// audio libraries, the help page). Any thread; no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorel::platform {

// Decompresses one whole bzip2 stream. The output buffer starts at twice the
// compressed size and grows by the compressed size rounded up to a multiple of
// 256 whenever it is full; the result is cut to size. bufferSizes (optional)
// receives how many buffer sizes were used (1 + the growths). Throws
// EPlatformError (tempfolder.h) "error <code>" with bzip2's negative code when the
// bytes are not one whole bzip2 stream.
std::vector<uint8_t> Bunzip2(const uint8_t *data, size_t size, int *bufferSizes = nullptr);

} // namespace vorel::platform
