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

std::optional<TWavePcmLayout> FindPcmData(const uint8_t *file, size_t size) {
    if (!file || size < 12 || std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0)
        return std::nullopt;

    bool haveFmt = false, haveData = false;
    TWavePcmLayout out;
    uint16_t formatTag = 0, blockAlign = 0;
    size_t dataChunkBytes = 0;

    // The RIFF size field is often wrong in files written by streaming tools, so
    // the walk is bounded by the file itself.
    size_t pos = 12;
    while (pos <= size - 8 && !(haveFmt && haveData)) {
        const uint8_t *id = file + pos;
        const uint32_t declared = le32(file + pos + 4);
        const size_t body = pos + 8;
        const size_t available = size - body;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (declared < 16 || declared > available)
                return std::nullopt;
            formatTag = le16(file + body);
            out.channels = le16(file + body + 2);
            out.sampleRate = le32(file + body + 4);
            blockAlign = le16(file + body + 12);
            out.bitsPerSample = le16(file + body + 14);
            haveFmt = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            out.dataOffset = body;
            // A truncated file, or a stream that never patched its size field
            // (0xFFFFFFFF), holds less than declared: read only what is there.
            dataChunkBytes = declared < available ? declared : available;
            haveData = true;
        }
        const size_t step = static_cast<size_t>(declared) + (declared & 1u);
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
    out.dataBytes = dataChunkBytes - dataChunkBytes % blockAlign;
    return out;
}

} // namespace vorel::segment
