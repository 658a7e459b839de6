// Where the PCM of a RIFF/WAVE file lies, found by walking its chunks. Only plain
// 8- and 16-bit integer PCM qualifies for reading in place; float, 24/32-bit and
// extensible-format files go through the decoder instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace vorel::segment {

struct TWavePcmLayout {
    size_t dataOffset = 0; // from the start of the file
    size_t dataBytes = 0;  // bounded by the bytes the file holds, whole frames only
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0; // 8 or 16
    uint32_t sampleRate = 0;
};

// Reads n bytes at offset into buf; false when they cannot all be read.
using TByteReader = std::function<bool(uint64_t offset, uint8_t *buf, size_t n)>;

// Walks the chunks of a file of size bytes through read, asking only for bytes
// inside it (chunk headers and the "fmt " body). Empty when the file is no
// RIFF/WAVE, lacks a "fmt " or "data" chunk, holds anything but 8/16-bit integer
// PCM with a consistent block alignment, or a read fails (a file that shrank).
std::optional<TWavePcmLayout> FindPcmData(const TByteReader &read, uint64_t size);
// The same over a file in memory; reads nothing outside [file, file + size).
std::optional<TWavePcmLayout> FindPcmData(const uint8_t *file, size_t size);

} // namespace vorel::segment
