#include "wavlayout.h"

#include <cstring>

namespace vorel::segment {

namespace {

uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint16_t FormatPcm = 1;

} // namespace

std::optional<TWavePcmLayout> FindPcmData(const TByteReader &read, uint64_t size) {
    uint8_t head[12];
    if (size < 12 || !read(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;

    bool haveFmt = false, haveData = false;
    TWavePcmLayout out;
    uint16_t formatTag = 0, blockAlign = 0;
    uint64_t dataChunkBytes = 0;

    // The RIFF size field is often wrong in files written by streaming tools, so
    // the walk is bounded by the file itself.
    uint64_t pos = 12;
    while (pos <= size - 8 && !(haveFmt && haveData)) {
        uint8_t chunk[8];
        if (!read(pos, chunk, 8))
            return std::nullopt;
        const uint32_t declared = le32(chunk + 4);
        const uint64_t body = pos + 8;
        const uint64_t available = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[16];
            if (declared < 16 || declared > available || !read(body, fmt, 16))
                return std::nullopt;
            formatTag = le16(fmt);
            out.channels = le16(fmt + 2);
            out.sampleRate = le32(fmt + 4);
            blockAlign = le16(fmt + 12);
            out.bitsPerSample = le16(fmt + 14);
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            out.dataOffset = static_cast<size_t>(body);
            // A truncated file, or a stream that never patched its size field
            // (0xFFFFFFFF), holds less than declared: read only what is there.
            dataChunkBytes = declared < available ? declared : available;
            haveData = true;
        }
        const uint64_t step = uint64_t(declared) + (declared & 1u);
        if (step > available)
            break;
        pos = body + step;
    }

    if (!haveFmt || !haveData || formatTag != FormatPcm || out.channels == 0)
        return std::nullopt;
    if (out.bitsPerSample != 8 && out.bitsPerSample != 16)
        return std::nullopt;
    if (blockAlign != out.channels * (out.bitsPerSample / 8))
        return std::nullopt;
    out.dataBytes = static_cast<size_t>(dataChunkBytes - dataChunkBytes % blockAlign);
    return out;
}

std::optional<TWavePcmLayout> FindPcmData(const uint8_t *file, size_t size) {
    if (!file)
        return std::nullopt;
    return FindPcmData(
        [file, size](uint64_t offset, uint8_t *buf, size_t n) {
            if (offset > size || n > size - offset)
                return false;
            std::memcpy(buf, file + offset, n);
            return true;
        },
        size);
}

} // namespace vorel::segment
