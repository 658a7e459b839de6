#include "breakpointfile.h"

#include <filesystem>

#include "subtitlereader.h"

namespace vorel::segment {

std::string CompanionFileFor(const std::string &audioPath, const char *ext) {
    std::filesystem::path p(audioPath);
    p.replace_extension(ext);
    return p.string();
}

std::string BreakpointFileFor(const std::string &audioPath) { return CompanionFileFor(audioPath, ".lrc"); }

const char *SourceName(TBreakpointSource source) {
    switch (source) {
    case TBreakpointSource::Lrc:
        return "lrc";
    case TBreakpointSource::Srt:
        return "srt";
    case TBreakpointSource::Vtt:
        return "vtt";
    case TBreakpointSource::Txt:
        return "txt";
    case TBreakpointSource::Split:
        break;
    }
    return "split";
}

std::string NoticeSummary(const std::vector<std::string> &notices) {
    if (notices.empty())
        return "";
    if (notices.size() == 1)
        return notices.front();
    return notices.front() + "（另有" + std::to_string(notices.size() - 1) + "处）";
}

void EndAtDuration(TSegmentList &list, int32_t durationMs) {
    list.Items(list.Count() - 1); // an empty list fails here, as it always did
    // Stamps at or past the end would make sentences that never play, and two of
    // them would leave the list out of time order. The first record (0 ms) stays.
    list.DropFrom(durationMs);
    list.InsertBreakpoint(durationMs, 0);
    list.RefreshStamp(list.Count() - 1);
}

int32_t TailLevel(const TSplitSettings &settings, const TStrings &samples) {
    TStrings unused;
    return SplitAtNoiseFloor(settings, samples, unused).SilenceLevel;
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

TBreakpointLoad LoadBreakpointFile(TSegmentList &list, const std::string &audioPath, int32_t durationMs,
                                   const TStopFlag *stop) {
    TBreakpointLoad how;
    const std::string lrc = BreakpointFileFor(audioPath);
    std::error_code ec;
    bool lrcWithoutStamps = false;
    if (std::filesystem::is_regular_file(lrc, ec)) {
        try {
            list.LoadFromFile(lrc, stop);
        } catch (const ESegmentError &e) {
            // Too large or unreadable: the recording still opens.
            list.Clear();
            how.Notices.push_back(std::string(e.what()) + "，已按停顿自动断句。");
            return how;
        }
        if (!list.SkippedLines.empty())
            how.Notices.push_back(skippedNotice(lrc, list.SkippedLines));
        if (list.Count() > 0) {
            EndAtDuration(list, durationMs);
            how.Source = TBreakpointSource::Lrc;
            return how;
        }
        lrcWithoutStamps = true;
    }
    const struct {
        TBreakpointSource source;
        TSubtitleFormat format;
        const char *ext;
    } subtitles[] = {{TBreakpointSource::Srt, TSubtitleFormat::Srt, ".srt"},
                     {TBreakpointSource::Vtt, TSubtitleFormat::Vtt, ".vtt"}};
    for (const auto &sub : subtitles) {
        const std::string path = CompanionFileFor(audioPath, sub.ext);
        if (!std::filesystem::is_regular_file(path, ec))
            continue;
        TSubtitleRead read;
        try {
            read = ReadSubtitleFile(path, sub.format, stop);
        } catch (const ESegmentError &e) {
            // Too large or unreadable, as an LRC file: the recording still opens.
            list.Clear();
            how.Notices.push_back(std::string(e.what()) + "，已按停顿自动断句。");
            return how;
        }
        how.Notices.insert(how.Notices.end(), read.Notices.begin(), read.Notices.end());
        if (stop && *stop)
            return how;
        CuesToBreakpoints(list, std::move(read.Cues), durationMs);
        if (list.Count() > 0) {
            EndAtDuration(list, durationMs);
            how.Source = sub.source;
            return how;
        }
        how.Notices.push_back(std::filesystem::path(path).filename().string() + "中没有可用的字幕。");
    }
    list.Clear();
    how.LrcWithoutStamps = lrcWithoutStamps;
    return how;
}

TBreakpointLoad LoadBreakpoints(TSegmentList &list, const std::string &audioPath, const TStrings &samples,
                                int32_t durationMs) {
    TBreakpointLoad how = LoadBreakpointFile(list, audioPath, durationMs);
    if (how.Source == TBreakpointSource::Split)
        how.Split = list.AutoSplit(samples);
    else
        how.Split.SilenceLevel = TailLevel(list.Settings, samples);
    return how;
}

} // namespace vorel::segment
