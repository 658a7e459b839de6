#include "lrcwriter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>

#include "lrctext.h"
#include "platform/safefile.h"

namespace vorel::segment {

namespace {

int32_t roundToHundredths(int32_t ms) {
    const int64_t t = (int64_t(ms < 0 ? 0 : ms) + 5) / 10 * 10;
    return t > 2147483640 ? 2147483640 : static_cast<int32_t>(t);
}

} // namespace

std::string LrcStamp(int32_t ms) {
    const int64_t t = roundToHundredths(ms);
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%02lld:%02lld.%02lld]", static_cast<long long>(t / 60000),
                  static_cast<long long>(t / 1000 % 60), static_cast<long long>(t % 1000 / 10));
    return buf;
}

void RoundForLrc(TSegmentList &list) {
    for (int32_t i = 0; i + 1 < list.Count(); ++i) {
        TSegmentRec &rec = list.Items(i);
        const int32_t last = list.Items(list.Count() - 1).TimeMs;
        const int32_t rounded = roundToHundredths(rec.TimeMs);
        // Rounded up onto or past the end, it would be dropped by the next load.
        rec.TimeMs = rounded < last || i == 0 ? rounded : rec.TimeMs / 10 * 10;
        rec.Stamp = LrcStamp(rec.TimeMs);
        rec.Text = TSegmentList::NormalizeText(rec.Text);
        if (i == 0 || list.Items(i - 1).TimeMs != rec.TimeMs)
            continue;
        TSegmentRec &before = list.Items(i - 1);
        if (!rec.Text.empty())
            before.Text = TSegmentList::NormalizeText(before.Text + " " + rec.Text);
        list.Delete(i--);
    }
}

std::string LrcBytes(const TSegmentList &list) {
    std::string out;
    for (int32_t i = 0; i + 1 < list.Count(); ++i) {
        const TSegmentRec &rec = list.Items(i);
        out += LrcStamp(rec.TimeMs) + rec.Text + "\n";
    }
    return out;
}

namespace {

// What an LRC file already at the target holds beyond its stamps: tags and
// untimed lines as written, the texts as written, its encoding and line ends.
struct TExistingLrc {
    bool gbk = false, crlf = false, bom = false;
    // Untimed lines with the time of the stamped line before them (-1: none).
    std::vector<std::pair<int32_t, std::string>> untimed;
    // A text as the reader gives it -> its bytes as written.
    std::map<std::string, std::string> written;
};

TExistingLrc readExisting(const std::string &path) {
    TExistingLrc old;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return old;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > TSegmentList::MaxFileBytes)
        return old;
    in.seekg(0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in.read(bytes.data(), size))
        return old;
    // UTF-16 is read, but written back as UTF-8.
    bytes = Utf16ToUtf8(bytes);
    old.bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    old.crlf = bytes.find("\r\n") != std::string::npos;
    const TStrings lines = SplitTextLines(bytes);
    old.gbk = IsGbkFile(lines);
    int32_t last = -1;
    for (const std::string &line : lines) {
        size_t b = line.find_first_not_of(" \t"), e = line.find_last_not_of(" \t");
        const std::string s = b == std::string::npos ? std::string() : line.substr(b, e - b + 1);
        int32_t ms = 0;
        size_t at = 0;
        if (TSegmentList::ParseLrcLine(s, ms, at) != TSegmentList::TLrcLine::Timed) {
            old.untimed.emplace_back(last, line);
            continue;
        }
        last = ms;
        const std::string text = s.substr(at);
        old.written.emplace(TSegmentList::NormalizeText(old.gbk ? GbkToUtf8(text) : TextToUtf8(text)), text);
    }
    return old;
}

// The file a link points to, so that the link stays; path itself otherwise.
std::string linkTarget(const std::string &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char *real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string target = real;
    std::free(real);
    return target;
}

} // namespace

void SaveLrcFile(TSegmentList &list, const std::string &path) {
    RoundForLrc(list);
    const std::string target = linkTarget(path);
    const TExistingLrc old = readExisting(target);
    // Texts unchanged go back as written, new ones in the file's encoding; where
    // one has no GBK form the whole file becomes UTF-8.
    struct TLine {
        std::string bytes;
        bool asWritten;
    };
    std::vector<TLine> lines;
    bool gbk = old.gbk;
    size_t u = 0;
    for (int32_t i = 0; i + 1 < list.Count(); ++i) {
        const TSegmentRec &rec = list.Items(i);
        for (; u < old.untimed.size() && old.untimed[u].first < rec.TimeMs; ++u)
            lines.push_back({old.untimed[u].second, true});
        const auto same = old.written.find(rec.Text);
        if (same != old.written.end()) {
            lines.push_back({LrcStamp(rec.TimeMs) + same->second, true});
            continue;
        }
        std::string encoded;
        if (gbk && !Utf8ToGbk(rec.Text, encoded))
            gbk = false;
        lines.push_back({LrcStamp(rec.TimeMs) + rec.Text, false});
    }
    for (; u < old.untimed.size(); ++u)
        lines.push_back({old.untimed[u].second, true});
    std::string bytes = old.bom ? "\xEF\xBB\xBF" : "";
    std::string encoded;
    for (const TLine &line : lines) {
        if (old.gbk && !gbk && line.asWritten)
            bytes += GbkToUtf8(line.bytes);
        else if (gbk && !line.asWritten && Utf8ToGbk(line.bytes, encoded))
            bytes += encoded;
        else
            bytes += line.bytes;
        bytes += old.crlf ? "\r\n" : "\n";
    }
    platform::WriteFileReplacing(target, bytes.data(), bytes.size(), 0644);
}

} // namespace vorel::segment
