#include "tailrule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "samplelist.h"
#include "splitwave.h"

namespace vorel::segment {

int32_t ReadingStopMs(const TStrings &columns, int32_t silenceLevel, int32_t endMs, double columnMs) {
    const int64_t end = endMs;
    const int64_t fullStop = std::min<int64_t>(end + ReadingTailMs, std::numeric_limits<int32_t>::max());
    if (end < 0 || !(columnMs > 0))
        return static_cast<int32_t>(fullStop);
    // The column holding the end counts too: a stamp just before a word may lie
    // inside the column where the word begins.
    const auto n = static_cast<int64_t>(columns.size());
    for (auto c = static_cast<int64_t>(std::floor(double(end) / columnMs)); c < n; ++c) {
        // Rounded down: the stop never lands after the sound it avoids.
        const auto startMs = static_cast<int64_t>(std::floor(double(c) * columnMs));
        if (startMs >= fullStop)
            break;
        const int64_t v = StrToInt(columns[static_cast<size_t>(c)]);
        if ((v < 0 ? -v : v) >= silenceLevel)
            return static_cast<int32_t>(std::max(end, startMs));
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
