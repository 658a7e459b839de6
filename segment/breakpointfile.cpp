#include "breakpointfile.h"

#include <filesystem>

namespace vorel::segment {

std::string BreakpointFileFor(const std::string &audioPath) {
    std::filesystem::path p(audioPath);
    p.replace_extension(".lrc");
    return p.string();
}

void EndAtDuration(TSegmentList &list, int32_t durationMs) {
    TSegmentRec &last = list.Items(list.Count() - 1);
    // A stamp up to 200 ms past the end stays and the end goes before it; a later
    // one is pulled back to the end.
    if (last.TimeMs == durationMs)
        return; // a second breakpoint there would make an empty sentence
    if (static_cast<int64_t>(last.TimeMs) - 200 < durationMs)
        list.InsertBreakpoint(durationMs, 0);
    else
        last.TimeMs = durationMs;
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
            return {TBreakpointSource::Lrc, {}, false};
        }
        return {TBreakpointSource::Split, list.AutoSplit(samples), true};
    }
    return {TBreakpointSource::Split, list.AutoSplit(samples), false};
}

} // namespace vorel::segment
