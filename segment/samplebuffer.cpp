// The pure part of the sampler: block peaks over raw PCM. Kept apart from the
// decoding so that it builds and fuzzes without the audio engine.
#include "samplelist.h"

#include <cstdlib>

namespace vorel::segment {

int32_t TWaveSampleList::SampleCountFor(int32_t durationMs) {
    // Integer form of round-half-even(duration / 60000 * 1500): floating point
    // would put 140 ms at 3.4999... instead of 3.5.
    const uint32_t d = static_cast<uint32_t>(durationMs);
    const uint32_t step = 60000 / audio::ColumnsPerMinute;
    uint32_t n = d / step;
    const uint32_t twiceRest = 2 * (d % step);
    if (twiceRest > step || (twiceRest == step && (n & 1u)))
        ++n;
    return static_cast<int32_t>(n);
}

namespace {

template <typename Read>
TBlockPeaks scanPeaks(const uint8_t *block, size_t frames, size_t frameBytes, size_t sampleBytes,
                      bool stereo, int32_t lowest, int32_t highest, Read read) {
    int32_t minV[2] = {highest, highest}, maxV[2] = {lowest, lowest};
    size_t minAt[2] = {0, 0}, maxAt[2] = {0, 0};
    const int chans = stereo ? 2 : 1;
    for (size_t f = 0; f < frames; ++f) {
        const uint8_t *frame = block + f * frameBytes;
        for (int c = 0; c < chans; ++c) {
            const int32_t v = read(frame + c * sampleBytes);
            if (v < minV[c]) {
                minV[c] = v;
                minAt[c] = f;
            }
            if (v > maxV[c]) {
                maxV[c] = v;
                maxAt[c] = f;
            }
        }
    }
    TBlockPeaks out{};
    for (int c = 0; c < chans; ++c) {
        // First result: the extreme that occurs first in time.
        if (maxAt[c] < minAt[c]) {
            out[2 * c] = maxV[c];
            out[2 * c + 1] = minV[c];
        } else {
            out[2 * c] = minV[c];
            out[2 * c + 1] = maxV[c];
        }
    }
    if (!stereo) {
        out[2] = out[0];
        out[3] = out[1];
    }
    return out;
}

int32_t laterOfEqual(int32_t first, int32_t second) { return std::abs(first) > std::abs(second) ? first : second; }

} // namespace

TBlockPeaks TWaveSampleList::BlockPeaks(int bits, int channels, const uint8_t *block, size_t n) {
    const bool stereo = channels == 2;
    if (bits == 8) {
        const size_t frameBytes = stereo ? 2 : 1;
        const size_t frames = n / frameBytes;
        if (frames == 0)
            return {128, 128, 128, 128};
        TBlockPeaks p = scanPeaks(block, frames, frameBytes, 1, stereo, -128, 127,
                                  [](const uint8_t *s) { return static_cast<int32_t>(*s) - 128; });
        for (auto &v : p)
            v += 128;
        return p;
    }
    const size_t frameBytes = stereo ? 4 : 2;
    const size_t frames = n / frameBytes;
    if (frames == 0)
        return {0, 0, 0, 0};
    return scanPeaks(block, frames, frameBytes, 2, stereo, -32768, 32767, [](const uint8_t *s) {
        return static_cast<int32_t>(static_cast<int16_t>(static_cast<uint16_t>(s[0] | (s[1] << 8))));
    });
}

void TWaveSampleList::SampleBuffer(int bits, int channels, const uint8_t *data, size_t size, int32_t steps,
                                   TStrings &list) {
    list.clear();
    if (steps < 3)
        return;
    const size_t blocks = static_cast<size_t>(steps) - 2;
    const size_t blockSize = (size / blocks) & ~static_cast<size_t>(3);
    list.reserve(blocks);
    for (size_t i = 0; i < blocks; ++i) {
        TBlockPeaks p{};
        // blocks * blockSize <= size, so every block lies inside the data. With
        // size 0 there is no block at all and the sample is 0.
        if (size > 0 && i * blockSize < size) {
            p = BlockPeaks(bits, channels, data + i * blockSize, blockSize);
            if (bits == 8)
                for (auto &v : p)
                    v = (v - 128) * 256;
        }
        const int32_t left = laterOfEqual(p[0], p[1]);
        const int32_t right = laterOfEqual(p[2], p[3]);
        list.push_back(std::to_string(std::abs(left) > std::abs(right) ? left : right));
    }
}

} // namespace vorel::segment
