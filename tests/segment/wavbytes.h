// RIFF/WAVE files byte by byte, for layouts the common writers do not make:
// extra chunks, float, 24-bit and extensible formats, wrong size fields.
#pragma once

#include <cstdint>
#include <vector>

namespace vorel::test {

struct WavBytes {
    std::vector<uint8_t> b;

    void tag(const char *t) { b.insert(b.end(), t, t + 4); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void u16(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    }
    // The RIFF size is left 0 unless patched: readers must not depend on it.
    void riff() {
        tag("RIFF");
        u32(0);
        tag("WAVE");
    }
    void patchRiffSize() {
        const uint32_t n = static_cast<uint32_t>(b.size() - 8);
        for (int i = 0; i < 4; ++i)
            b[4 + i] = static_cast<uint8_t>(n >> (8 * i));
    }
    void fmt(uint16_t format, uint16_t channels, uint16_t bits, uint16_t align, uint32_t rate = 44100) {
        tag("fmt ");
        u32(16);
        u16(format);
        u16(channels);
        u32(rate);
        u32(rate * align);
        u16(align);
        u16(bits);
    }
    // WAVE_FORMAT_EXTENSIBLE with the PCM sub-format.
    void fmtExtensible(uint16_t channels, uint16_t bits, uint32_t rate = 44100) {
        const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
        tag("fmt ");
        u32(40);
        u16(0xFFFE);
        u16(channels);
        u32(rate);
        u32(rate * align);
        u16(align);
        u16(bits);
        u16(22);
        u16(bits);
        u32(channels == 1 ? 0x4 : 0x3);
        static const uint8_t pcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                            0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), pcmGuid, pcmGuid + 16);
    }
    void chunk(const char *id, const std::vector<uint8_t> &body, uint32_t declared) {
        tag(id);
        u32(declared);
        b.insert(b.end(), body.begin(), body.end());
        if (body.size() & 1)
            b.push_back(0);
    }
};

} // namespace vorel::test
