// The pure part of the sampler: block peaks over raw PCM. Kept apart from the
// decoding so that it builds and fuzzes without the audio engine.
#include "samplelist.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
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

// The extremes of each channel of a block of interleaved samples (T: int16_t, or
// uint8_t for 8-bit), first-occurring first. The values are taken a fixed number
// of lanes at a time, and with one or two channels every lane belongs to one
// channel, so both passes vectorise: the first finds the extremes, the second
// skips whole lane groups holding neither to find which extreme comes first.
// (Strict comparisons in a frame-by-frame scan keep the first occurrence of each
// extreme, which is what this finds.)
template <typename T>
TBlockPeaks scanPeaks(const uint8_t *block, size_t frames, size_t chans) {
    static_assert(std::endian::native == std::endian::little, "samples are little-endian");
    constexpr size_t L = 32 / sizeof(T);
    const size_t count = frames * chans;
    auto load = [block](size_t i) {
        T v;
        std::memcpy(&v, block + i * sizeof(T), sizeof v);
        return v;
    };

    T lmin[L], lmax[L];
    std::fill_n(lmin, L, std::numeric_limits<T>::max());
    std::fill_n(lmax, L, std::numeric_limits<T>::lowest());
    size_t i = 0;
    for (; i + L <= count; i += L) {
        T v[L];
        std::memcpy(v, block + i * sizeof(T), sizeof v);
        for (size_t k = 0; k < L; ++k) {
            lmin[k] = std::min(lmin[k], v[k]);
            lmax[k] = std::max(lmax[k], v[k]);
        }
    }
    T mn[2] = {std::numeric_limits<T>::max(), std::numeric_limits<T>::max()};
    T mx[2] = {std::numeric_limits<T>::lowest(), std::numeric_limits<T>::lowest()};
    for (size_t k = 0; k < L; ++k) {
        mn[k % chans] = std::min(mn[k % chans], lmin[k]);
        mx[k % chans] = std::max(mx[k % chans], lmax[k]);
    }
    for (; i < count; ++i) {
        const T v = load(i);
        mn[i % chans] = std::min(mn[i % chans], v);
        mx[i % chans] = std::max(mx[i % chans], v);
    }

    TBlockPeaks out{};
    for (size_t c = 0; c < chans; ++c) {
        T tmin[L], tmax[L];
        for (size_t k = 0; k < L; ++k) {
            // Lanes of the other channel look for a value pair that cannot match both.
            const bool mine = k % chans == c;
            tmin[k] = mine ? mn[c] : std::numeric_limits<T>::max();
            tmax[k] = mine ? mx[c] : std::numeric_limits<T>::max();
        }
        const bool otherHasMax = chans == 2 && (mx[1 - c] == std::numeric_limits<T>::max());
        size_t j = 0;
        if (!otherHasMax) {
            for (; j + L <= count; j += L) {
                T v[L];
                std::memcpy(v, block + j * sizeof(T), sizeof v);
                int hit = 0;
                for (size_t k = 0; k < L; ++k)
                    hit |= (v[k] == tmin[k]) | (v[k] == tmax[k]);
                if (hit)
                    break;
            }
        }
        j = j / chans * chans + c;
        while (j < count && load(j) != mn[c] && load(j) != mx[c])
            j += chans;
        const bool minFirst = j >= count || load(j) == mn[c];
        out[2 * c] = minFirst ? mn[c] : mx[c];
        out[2 * c + 1] = minFirst ? mx[c] : mn[c];
    }
    if (chans == 1) {
        out[2] = out[0];
        out[3] = out[1];
    }
    return out;
}

int32_t laterOfEqual(int32_t first, int32_t second) { return std::abs(first) > std::abs(second) ? first : second; }

} // namespace

TBlockPeaks TWaveSampleList::BlockPeaks(int bits, int channels, const uint8_t *block, size_t n) {
    const size_t chans = channels == 2 ? 2 : 1;
    if (bits == 8) {
        // Unsigned bytes order as (byte - 128) does, and are returned as bytes.
        const size_t frames = n / chans;
        if (frames == 0)
            return {128, 128, 128, 128};
        return scanPeaks<uint8_t>(block, frames, chans);
    }
    const size_t frames = n / (2 * chans);
    if (frames == 0)
        return {0, 0, 0, 0};
    return scanPeaks<int16_t>(block, frames, chans);
}

TWaveSampleList::TBlockLayout TWaveSampleList::BlockLayout(size_t size, int32_t steps) {
    if (steps < 3)
        return {};
    const size_t blocks = static_cast<size_t>(steps) - 2;
    return {blocks, (size / blocks) & ~static_cast<size_t>(3)};
}

void TWaveSampleList::SampleBlocks(int bits, int channels, const uint8_t *data, size_t blockSize, size_t count,
                                   TStrings &list) {
    for (size_t i = 0; i < count; ++i) {
        // A block size of 0 (less data than blocks, or none) gives silent samples.
        TBlockPeaks p{};
        if (blockSize > 0) {
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

void TWaveSampleList::SampleBuffer(int bits, int channels, const uint8_t *data, size_t size, int32_t steps,
                                   TStrings &list) {
    list.clear();
    // blocks * blockSize <= size, so every block lies inside the data.
    const TBlockLayout layout = BlockLayout(size, steps);
    list.reserve(layout.blocks);
    SampleBlocks(bits, channels, data, layout.blockSize, layout.blocks, list);
}

} // namespace vorel::segment
