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

// Eight 16-bit lanes: one SSE2 register on x86-64 (pminsw/pmaxsw), one NEON
// register on ARM; the compiler's vector types keep the loops free of branches at
// the project's -O2, where its own vectoriser leaves lane arrays on the stack.
using TLanes = int16_t __attribute__((vector_size(16)));
using TByteLanes = uint8_t __attribute__((vector_size(8)));
constexpr size_t LaneCount = 8;
// Lane groups per stretch: the scan tracks where extremes occur per stretch, not
// per group, which leaves two operations per group.
constexpr size_t StretchGroups = 8;
constexpr size_t StretchValues = StretchGroups * LaneCount;
// Stretch numbers are 16-bit lanes compared signed.
constexpr size_t ChunkStretches = 32767;

// The extremes of each channel and where each first occurs.
struct TExtremes {
    int32_t mn[2] = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
    int32_t mx[2] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()};
    size_t atMin[2] = {}, atMax[2] = {};

    void take(size_t c, int32_t v, size_t at) {
        if (v < mn[c] || (v == mn[c] && at < atMin[c])) {
            mn[c] = v;
            atMin[c] = at;
        }
        if (v > mx[c] || (v == mx[c] && at < atMax[c])) {
            mx[c] = v;
            atMax[c] = at;
        }
    }
};

template <typename T>
T valueAt(const uint8_t *block, size_t i) {
    T v;
    std::memcpy(&v, block + i * sizeof(T), sizeof v);
    return v;
}

template <typename T>
TLanes loadLanes(const uint8_t *p) {
    if constexpr (sizeof(T) == 1) {
        TByteLanes b;
        std::memcpy(&b, p, sizeof b);
        return __builtin_convertvector(b, TLanes);
    } else {
        TLanes v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
}

// Running lane extremes and, per lane, the last step (group or stretch) in which
// each was strictly bettered: since the steps come in order, that is the step
// holding the first occurrence of the lane's final extreme. A lane never bettered
// holds the start value, which then is its value in step 0: step 0 is right too.
struct TLaneTrack {
    TLanes mn, mx, atMn{}, atMx{}, step{};

    TLaneTrack() {
        const int16_t lowest = std::numeric_limits<int16_t>::lowest(), highest = std::numeric_limits<int16_t>::max();
        mn = TLanes{} + highest;
        mx = TLanes{} + lowest;
    }
    // The extremes of the next step: its minima and maxima per lane.
    void add(TLanes stepMin, TLanes stepMax) {
        const int16_t one = 1;
        const TLanes below = stepMin < mn, above = stepMax > mx;
        // Spelled apart from the masks above so that they become pminsw/pmaxsw.
        mn = mn > stepMin ? stepMin : mn;
        mx = mx < stepMax ? stepMax : mx;
        const TLanes gotMin = step & below, gotMax = step & above;
        atMn = gotMin > atMn ? gotMin : atMn;
        atMx = gotMax > atMx ? gotMax : atMx;
        step += one;
    }
};

// Groups [first, first + n) one at a time, n < 32768.
template <typename T>
void scanGroups(const uint8_t *block, size_t first, size_t n, size_t chans, TExtremes &e) {
    TLaneTrack t;
    for (size_t k = 0; k < n; ++k) {
        const TLanes v = loadLanes<T>(block + (first + k) * LaneCount * sizeof(T));
        t.add(v, v);
    }
    for (size_t l = 0; l < LaneCount && n > 0; ++l) {
        const size_t base = first * LaneCount + l;
        e.take(l % chans, t.mn[l], base + static_cast<size_t>(t.atMn[l]) * LaneCount);
        e.take(l % chans, t.mx[l], base + static_cast<size_t>(t.atMx[l]) * LaneCount);
    }
}

// Stretches [first, first + n), n <= ChunkStretches, a stretch at a time; then
// for each channel's extreme the first stretch holding it is searched value by value.
template <typename T>
void scanStretches(const uint8_t *block, size_t first, size_t n, size_t chans, TExtremes &e) {
    TLaneTrack t;
    const uint8_t *p = block + first * StretchValues * sizeof(T);
    for (size_t k = 0; k < n; ++k, p += StretchValues * sizeof(T)) {
        TLanes mn = loadLanes<T>(p), mx = mn;
#pragma GCC unroll 8
        for (size_t g = 1; g < StretchGroups; ++g) {
            const TLanes v = loadLanes<T>(p + g * LaneCount * sizeof(T));
            mn = mn > v ? v : mn;
            mx = mx < v ? v : mx;
        }
        t.add(mn, mx);
    }
    for (size_t c = 0; c < chans; ++c)
        for (const bool isMin : {true, false}) {
            const TLanes &value = isMin ? t.mn : t.mx;
            const TLanes &at = isMin ? t.atMn : t.atMx;
            int32_t best = value[c];
            size_t stretch = static_cast<size_t>(at[c]);
            for (size_t l = c + chans; l < LaneCount; l += chans) {
                const int32_t v = value[l];
                const size_t s = static_cast<size_t>(at[l]);
                if ((isMin ? v < best : v > best) || (v == best && s < stretch)) {
                    best = v;
                    stretch = s;
                }
            }
            // The stretch holds best in channel c: its first occurrence there, in time order.
            const size_t start = (first + stretch) * StretchValues;
            for (size_t i = start + c; i < start + StretchValues; i += chans)
                if (valueAt<T>(block, i) == best) {
                    e.take(c, best, i);
                    break;
                }
        }
}

// The extremes of each channel of a block of interleaved samples (T: int16_t, or
// uint8_t for 8-bit, widened to 16 bits) and which of them comes first. The values
// are taken eight lanes at a time; with one or two channels each lane belongs to
// one channel.
template <typename T>
TBlockPeaks scanPeaks(const uint8_t *block, size_t frames, size_t chans) {
    static_assert(std::endian::native == std::endian::little, "samples are little-endian");
    const size_t count = frames * chans;
    const size_t stretches = count / StretchValues;
    TExtremes e;
    for (size_t first = 0; first < stretches; first += ChunkStretches)
        scanStretches<T>(block, first, std::min(ChunkStretches, stretches - first), chans, e);
    const size_t groups = count / LaneCount;
    scanGroups<T>(block, stretches * StretchGroups, groups - stretches * StretchGroups, chans, e);
    for (size_t i = groups * LaneCount; i < count; ++i)
        e.take(i % chans, valueAt<T>(block, i), i);

    TBlockPeaks out{};
    for (size_t c = 0; c < chans; ++c) {
        // Equal positions only when the channel is constant: either order is the same.
        const bool minFirst = e.atMin[c] <= e.atMax[c];
        out[2 * c] = minFirst ? e.mn[c] : e.mx[c];
        out[2 * c + 1] = minFirst ? e.mx[c] : e.mn[c];
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
