#include "breakpointfile.h"

#include <filesystem>

namespace vorel::segment {

std::string BreakpointFileFor(const std::string &audioPath) {
    std::filesystem::path p(audioPath);
    p.replace_extension(".lrc");
    return p.string();
}

void EndAtDuration(TSegmentList &list, int32_t durationMs) {
    list.Items(list.Count() - 1); // an empty list fails here, as it always did
    // Stamps at or past the end would make sentences that never play, and two of
    // them would leave the list out of time order. The first record (0 ms) stays.
    for (int32_t i = list.Count() - 1; i >= 1; --i)
        if (list.Items(i).TimeMs >= durationMs)
            list.Delete(i);
    list.InsertBreakpoint(durationMs, 0);
    list.RefreshStamp(list.Count() - 1);
}

TBreakpointLoad LoadBreakpoints(TSegmentList &list, const std::string &audioPath, const TStrings &samples,
                                int32_t durationMs) {
    const std::string lrc = BreakpointFileFor(audioPath);
    std::error_code ec;
    if (std::filesystem::is_regular_file(lrc, ec)) {
        list.LoadFromFile(lrc);
        if (list.Count() > 0) {
            EndAtDuration(list, durationMs);
            // The tail rule still needs the recording's silence level.
            TStrings unused;
            return {TBreakpointSource::Lrc, {SplitAtNoiseFloor(list.Settings, samples, unused).SilenceLevel, false},
                    false};
        }
        return {TBreakpointSource::Split, list.AutoSplit(samples), true};
    }
    return {TBreakpointSource::Split, list.AutoSplit(samples), false};
}

} // namespace vorel::segment
