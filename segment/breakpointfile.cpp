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
    list.DropFrom(durationMs);
    list.InsertBreakpoint(durationMs, 0);
    list.RefreshStamp(list.Count() - 1);
}

namespace {

std::string skippedNotice(const std::string &lrc, const std::vector<int32_t> &lines) {
    // A few line numbers are enough to find the typing errors.
    constexpr size_t Shown = 5;
    std::string which;
    for (size_t i = 0; i < lines.size() && i < Shown; ++i)
        which += (i ? "、" : "") + std::to_string(lines[i]);
    if (lines.size() > Shown)
        which += "等共" + std::to_string(lines.size());
    return "断点文件" + std::filesystem::path(lrc).filename().string() + "第" + which + "行的时间标签无效，已跳过。";
}

} // namespace

TBreakpointLoad LoadBreakpoints(TSegmentList &list, const std::string &audioPath, const TStrings &samples,
                                int32_t durationMs) {
    const std::string lrc = BreakpointFileFor(audioPath);
    std::error_code ec;
    if (std::filesystem::is_regular_file(lrc, ec)) {
        try {
            list.LoadFromFile(lrc);
        } catch (const ESegmentError &e) {
            list.Clear();
            TBreakpointLoad how{TBreakpointSource::Split, list.AutoSplit(samples), false, {}};
            how.Notice = std::string(e.what()) + "，已按停顿自动断句。";
            return how;
        }
        const std::string notice = list.SkippedLines.empty() ? "" : skippedNotice(lrc, list.SkippedLines);
        if (list.Count() > 0) {
            EndAtDuration(list, durationMs);
            // The tail rule still needs the recording's silence level.
            TStrings unused;
            return {TBreakpointSource::Lrc, {SplitAtNoiseFloor(list.Settings, samples, unused).SilenceLevel, false},
                    false, notice};
        }
        return {TBreakpointSource::Split, list.AutoSplit(samples), true, notice};
    }
    return {TBreakpointSource::Split, list.AutoSplit(samples), false, {}};
}

} // namespace vorel::segment
