#include "tailrule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "samplelist.h"
#include "splitwave.h"

namespace vorel::segment {

namespace {

int64_t level(const TStrings &columns, int64_t c) {
    const int64_t v = StrToInt(columns[static_cast<size_t>(c)]);
    return v < 0 ? -v : v;
}

// Room noise near a sentence's end: the quietest column of the second before it
// and the tail. A pause holds the room's own noise; a recording without pauses
// has a floor as loud as its speech, and the soft rule then never fires.
int64_t localFloor(const TStrings &columns, int64_t endColumn, int64_t lastColumn, double columnMs) {
    const auto span = static_cast<int64_t>(1000.0 / columnMs);
    int64_t floor = std::numeric_limits<int64_t>::max();
    for (int64_t c = std::max<int64_t>(0, endColumn - span); c <= lastColumn; ++c)
        floor = std::min(floor, level(columns, c));
    return floor;
}

// A soft onset (a breathy or voiced start) stays under the silence level for
// tens of milliseconds: a column that rises to twice the level of the one
// before and to twice the room's floor is speech resuming. A sentence's own
// fading tail never rises, and room noise (brown noise included) varies by less
// than 6 dB between the peaks of two 40 ms columns; a slower rise over two
// columns is not told from drifting noise.
constexpr int64_t SoftRise = 2;
// Digital silence has no floor to measure: sound from -60 dBFS counts.
constexpr int64_t QuietestOnset = 33;

} // namespace

int32_t ReadingStopMs(const TStrings &columns, int32_t silenceLevel, int32_t endMs, double columnMs) {
    const int64_t end = endMs;
    const int64_t fullStop = std::min<int64_t>(end + ReadingTailMs, std::numeric_limits<int32_t>::max());
    if (end < 0 || !(columnMs > 0))
        return static_cast<int32_t>(fullStop);
    // The column holding the end counts too: a stamp just before a word may lie
    // inside the column where the word begins.
    const auto n = static_cast<int64_t>(columns.size());
    const auto first = static_cast<int64_t>(std::floor(double(end) / columnMs));
    if (first >= n)
        return static_cast<int32_t>(fullStop);
    int64_t last = first;
    while (last + 1 < n && std::floor(double(last + 1) * columnMs) < double(fullStop))
        ++last;
    const int64_t soft = std::max(SoftRise * localFloor(columns, first, last, columnMs), QuietestOnset);
    for (int64_t c = first; c <= last; ++c) {
        const int64_t v = level(columns, c);
        const int64_t before = c > 0 ? level(columns, c - 1) : v;
        const bool rising = c > first && v >= soft && v >= SoftRise * before;
        if (v < silenceLevel && !rising)
            continue;
        // A rise spread over columns began where the level first stood clear of
        // the floor on its way up.
        int64_t from = c;
        while (rising && from - 1 >= first && level(columns, from - 1) < level(columns, from) &&
               level(columns, from - 1) * 4 >= soft * 3)
            --from;
        // Rounded down: the stop never lands after the sound it avoids.
        const auto at = static_cast<int64_t>(std::floor(double(from) * columnMs));
        return static_cast<int32_t>(std::max(end, at));
    }
    return static_cast<int32_t>(fullStop);
}

double ColumnMsOf(const audio::TChannelInfo &info) {
    const double bytesPerMs = double(info.sampleRate) * info.channels * (info.bitsPerSample / 8) / 1000.0;
    if (info.byteLength <= 0 || !(bytesPerMs > 0))
        return audio::MsPerColumn;
    const auto grid = TWaveSampleList::BlockLayout(static_cast<size_t>(info.byteLength),
                                                   TWaveSampleList::SampleCountFor(info.duration));
    if (grid.blockSize == 0)
        return audio::MsPerColumn;
    return double(grid.blockSize) / bytesPerMs;
}

} // namespace vorel::segment
