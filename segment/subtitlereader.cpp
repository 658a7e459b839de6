#include "subtitlereader.h"

#include <algorithm>
#include <unordered_set>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "lrctext.h"
#include "platform/tempfolder.h"

namespace vorel::segment {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view trimView(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number of at most 9 digits, or -1.
int64_t number(std::string_view s) {
    if (!allDigits(s) || s.size() > 9)
        return -1;
    int64_t v = 0;
    for (const char c : s)
        v = v * 10 + (c - '0');
    return v;
}

// Blocks that carry no cue: comments, style sheets and region definitions.
bool isVttMetaBlock(std::string_view first) {
    for (const std::string_view word : {"NOTE", "STYLE", "REGION"})
        if (first.substr(0, word.size()) == word && (first.size() == word.size() || isSpace(first[word.size()])))
            return true;
    return false;
}

// Runs of white space become one space; both ends trimmed.
std::string collapseSpaces(std::string_view s) {
    std::string out;
    bool space = false;
    for (const char c : trimView(s)) {
        if (isSpace(c)) {
            space = true;
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

std::string joinedText(const std::vector<std::string> &lines, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i) {
        const std::string line = collapseSpaces(StripCueMarkup(lines[i]));
        if (line.empty())
            continue;
        if (!text.empty())
            text += ' ';
        text += line;
    }
    return text;
}

} // namespace

int32_t ReadCueTime(std::string_view text) {
    text = trimView(text);
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    if (parts.size() != 2 && parts.size() != 3)
        return -1;
    std::string_view secText = parts.back();
    int64_t ms = 0;
    const size_t point = secText.find_first_of(",.");
    if (point != std::string_view::npos) {
        const std::string_view fraction = secText.substr(point + 1);
        if (fraction.empty() || fraction.size() > 3 || !allDigits(fraction))
            return -1;
        ms = number(fraction);
        for (size_t k = fraction.size(); k < 3; ++k)
            ms *= 10;
        secText = secText.substr(0, point);
    }
    const int64_t seconds = secText.size() <= 2 ? number(secText) : -1;
    const int64_t minutes = number(parts[parts.size() - 2]);
    const int64_t hours = parts.size() == 3 ? number(parts[0]) : 0;
    // With hours in front the minutes are those of the hour; without, any count.
    if (seconds < 0 || seconds > 59 || minutes < 0 || hours < 0 || (parts.size() == 3 && minutes > 59))
        return -1;
    const int64_t t = ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
    return t > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(t);
}

std::string StripCueMarkup(std::string_view line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const bool tag = c == '<';
        const bool code = c == '{' && i + 1 < line.size() && line[i + 1] == '\\';
        if (tag || code) {
            const size_t close = line.find(tag ? '>' : '}', i + 1);
            if (close != std::string_view::npos) {
                i = close;
                continue;
            }
        }
        out += c;
    }
    // After the tags, so that an escaped "&lt;i&gt;" stays as the text "<i>".
    out = replaceAll(std::move(out), "&nbsp;", " ");
    out = replaceAll(std::move(out), "&lrm;", "");
    out = replaceAll(std::move(out), "&rlm;", "");
    out = replaceAll(std::move(out), "&lt;", "<");
    out = replaceAll(std::move(out), "&gt;", ">");
    out = replaceAll(std::move(out), "&quot;", "\"");
    out = replaceAll(std::move(out), "&apos;", "'");
    return replaceAll(std::move(out), "&amp;", "&");
}

TSubtitleRead ReadSubtitles(std::string_view bytes, TSubtitleFormat format, const std::string &displayName,
                            const TStopFlag *stop) {
    // UTF-16 (with its byte-order mark) as the LRC reader takes it.
    std::vector<std::string> lines = SplitTextLines(Utf16ToUtf8(bytes), stop);
    LinesToUtf8(lines);
    StopIfAsked(stop);

    TSubtitleRead read;
    auto notice = [&](size_t index, const char *why) {
        read.Notices.push_back(displayName + " 第" + std::to_string(index + 1) + "行：" + why + "，已跳过。");
    };

    size_t i = 0;
    const auto blank = [&](size_t k) { return trimView(lines[k]).empty(); };
    if (format == TSubtitleFormat::Vtt && !lines.empty() && trimView(lines[0]).substr(0, 6) == "WEBVTT")
        while (i < lines.size() && !blank(i))
            ++i; // the header and its metadata lines
    for (size_t blocks = 0; i < lines.size();) {
        if (++blocks % 4096 == 0)
            StopIfAsked(stop);
        if (blank(i)) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < lines.size() && !blank(end))
            ++end;
        const size_t blockStart = i;
        i = end;
        if (format == TSubtitleFormat::Vtt && isVttMetaBlock(trimView(lines[blockStart])))
            continue;

        std::vector<size_t> timings;
        for (size_t k = blockStart; k < end; ++k)
            if (lines[k].find("-->") != std::string::npos)
                timings.push_back(k);
        // Before the timing line stands at most the cue number or identifier.
        if (timings.empty() || timings.front() > blockStart + 1) {
            notice(blockStart, "字幕没有可读的时间行");
            continue;
        }
        for (size_t t = 0; t < timings.size(); ++t) {
            const size_t at = timings[t];
            size_t textEnd = t + 1 < timings.size() ? timings[t + 1] : end;
            // Cues written without the blank line between them: the next cue's
            // number is no text of this one.
            if (t + 1 < timings.size() && textEnd - 1 > at && allDigits(trimView(lines[textEnd - 1])))
                --textEnd;
            const std::string &timing = lines[at];
            const size_t arrow = timing.find("-->");
            std::string_view right = trimView(std::string_view(timing).substr(arrow + 3));
            right = right.substr(0, std::min(right.size(), right.find_first_of(" \t"))); // cue settings follow
            TCue cue;
            cue.StartMs = ReadCueTime(std::string_view(timing).substr(0, arrow));
            cue.EndMs = ReadCueTime(right);
            if (cue.StartMs < 0 || cue.EndMs < 0) {
                notice(at, "字幕时间无法识别");
                continue;
            }
            if (cue.EndMs < cue.StartMs) {
                notice(at, "字幕结束早于开始");
                continue;
            }
            cue.Text = joinedText(lines, at + 1, textEnd);
            read.Cues.push_back(std::move(cue));
        }
    }
    return read;
}

void CuesToBreakpoints(TSegmentList &list, std::vector<TCue> cues, int32_t durationMs) {
    std::stable_sort(cues.begin(), cues.end(), [](const TCue &a, const TCue &b) { return a.StartMs < b.StartMs; });
    // Cues starting together (two speakers, two languages) share one sentence.
    std::vector<TCue> merged;
    // The texts joined into merged.back(): a set, so that a hundred thousand cues
    // at one time merge in linear time.
    std::unordered_set<std::string> parts;
    for (TCue &cue : cues) {
        if (merged.empty() || merged.back().StartMs != cue.StartMs) {
            parts.clear();
            parts.insert(cue.Text);
            merged.push_back(std::move(cue));
            continue;
        }
        TCue &into = merged.back();
        into.EndMs = std::max(into.EndMs, cue.EndMs);
        if (cue.Text.empty() || !parts.insert(cue.Text).second)
            continue; // the same cue written twice
        if (!into.Text.empty())
            into.Text += ' ';
        into.Text += cue.Text;
    }
    if (merged.empty())
        return;

    auto add = [&list](int32_t t, std::string text) { list.Add({t, TSegmentList::MakeStamp(t), std::move(text)}); };
    if (merged.front().StartMs > 0)
        add(0, "");
    int32_t endedAt = 0; // the latest end of the cues so far: overlapping cues run on
    for (size_t k = 0; k < merged.size(); ++k) {
        const TCue &cue = merged[k];
        add(cue.StartMs, cue.Text);
        endedAt = std::max(endedAt, cue.EndMs);
        const int64_t next = k + 1 < merged.size() ? merged[k + 1].StartMs : durationMs;
        if (endedAt > cue.StartMs && next - endedAt > GapMs)
            add(endedAt, "");
    }
}

TSubtitleRead ReadSubtitleFile(const std::string &path, TSubtitleFormat format, const TStopFlag *stop) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ESegmentError("不能打开字幕文件" + path + "：" + platform::SystemErrorText(errno));
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > static_cast<uintmax_t>(MaxTextFileBytes))
        throw ESegmentError("字幕文件" + path + "超过" + std::to_string(MaxTextFileBytes >> 20) + " MB");
    // In one read: a character at a time takes a second for a file near the limit.
    std::string bytes(ec ? 0 : static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    // A file that grew since its size was taken: the rest, up to the limit.
    for (char buf[1 << 16]; in && bytes.size() <= static_cast<size_t>(MaxTextFileBytes);) {
        in.read(buf, sizeof buf);
        bytes.append(buf, static_cast<size_t>(in.gcount()));
    }
    if (in.bad())
        throw ESegmentError("不能读取字幕文件" + path);
    StopIfAsked(stop);
    return ReadSubtitles(bytes, format, std::filesystem::path(path).filename().string(), stop);
}

} // namespace vorel::segment
