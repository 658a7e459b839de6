#include "segmentlist.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string_view>

#include "lrctext.h"
#include "platform/tempfolder.h"

namespace vorel::segment {

namespace {

const char *const IndexOutOfRange = "索引越界错误！";

[[noreturn]] void listIndexError(int32_t index) {
    throw ESegmentError("List index out of bounds (" + std::to_string(index) + ")");
}

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isTrimmed(s[b]))
        ++b;
    while (e > b && isTrimmed(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string replaceAll(const std::string &s, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = s.find(from, pos);
        if (hit == std::string::npos)
            break;
        out.append(s, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s, pos, std::string::npos);
    return out;
}

// A decimal field of at most 9 digits.
std::optional<int32_t> field(std::string_view s) {
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    int32_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<int32_t> parseTime(std::string_view text) {
    const size_t c1 = text.find(':');
    if (c1 == std::string_view::npos)
        return std::nullopt;
    const size_t c2 = text.find(':', c1 + 1);
    if (c2 == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = text.substr(c2 + 1);
    std::string_view secText = rest, msText;
    const size_t dot = rest.find('.');
    if (dot != std::string_view::npos) {
        secText = rest.substr(0, dot);
        msText = rest.substr(dot + 1);
    }
    const auto h = field(text.substr(0, c1));
    const auto m = field(text.substr(c1 + 1, c2 - c1 - 1));
    const auto s = field(secText);
    const auto ms = dot == std::string_view::npos ? std::optional<int32_t>(0) : field(msText);
    // LRC stamps count minutes past the hour ([75:10.00], [600:00.00] in a ten-hour
    // book): any count goes whose time fits the millisecond value.
    if (!h || !m || !s || !ms || *h > 23 || *s > 59 || *ms > 999)
        return std::nullopt;
    const int64_t t = (int64_t(*h) * 3600 + int64_t(*m) * 60 + *s) * 1000 + *ms;
    if (t > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(t);
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The time text of a stamp with a minute count of three digits or more
// ([100:00], [100:00.50], [600:00.000]); these stand beyond the positions of the
// two-digit forms. The fraction counts hundredths with two digits and
// milliseconds with three. Empty for anything else.
std::optional<std::string> longMinuteTimeText(std::string_view inner) {
    const size_t colon = inner.find(':');
    if (colon == std::string_view::npos || colon < 3 || !allDigits(inner.substr(0, colon)))
        return std::nullopt;
    const std::string_view rest = inner.substr(colon + 1);
    const std::string_view sec = rest.substr(0, 2);
    if (sec.size() != 2 || !allDigits(sec))
        return std::nullopt;
    std::string fraction = "000";
    if (rest.size() > 2) {
        const std::string_view f = rest.substr(3);
        if (rest[2] != '.' || (f.size() != 2 && f.size() != 3) || !allDigits(f))
            return std::nullopt;
        fraction = std::string(f) + (f.size() == 2 ? "0" : "");
    }
    return "00:" + std::string(inner.substr(0, colon)) + ":" + std::string(sec) + "." + fraction;
}

} // namespace

int32_t ReadTimeText(const std::string &text) {
    const auto t = parseTime(text);
    if (!t)
        throw ESegmentError("'" + text + "' is not a valid time");
    return *t;
}

void TSegmentList::checkIndex(int32_t index, int32_t limit) const {
    if (index < 0 || index >= limit)
        listIndexError(index);
}

void TSegmentList::Add(TSegmentRec rec) { records_.push_back(std::make_unique<TSegmentRec>(std::move(rec))); }

void TSegmentList::Insert(int32_t index, TSegmentRec rec) {
    checkIndex(index, Count() + 1);
    records_.insert(records_.begin() + index, std::make_unique<TSegmentRec>(std::move(rec)));
}

void TSegmentList::Delete(int32_t index) {
    checkIndex(index, Count());
    records_.erase(records_.begin() + index);
}

void TSegmentList::Clear() {
    while (!records_.empty())
        records_.pop_back();
}

TSegmentRec &TSegmentList::record(int32_t index) const {
    if (index < 0 || index >= Count())
        throw ESegmentError(IndexOutOfRange);
    return *records_[static_cast<size_t>(index)];
}

TSegmentRec &TSegmentList::Items(int32_t index) { return record(index); }

const TSegmentRec &TSegmentList::Items(int32_t index) const { return record(index); }

void TSegmentList::LoadFromFile(const std::string &fileName, const TStopFlag *stop) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw ESegmentError("不能打开断点文件" + fileName + "：" + platform::SystemErrorText(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size > MaxFileBytes)
        throw ESegmentError("断点文件" + fileName + "超过" + std::to_string(MaxFileBytes >> 20) + " MB");
    in.seekg(0, std::ios::beg);
    std::string bytes(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad() || in.gcount() != static_cast<std::streamsize>(bytes.size()))
        throw ESegmentError("不能读取断点文件" + fileName);
    StopIfAsked(stop);
    LoadFromStrings(SplitTextLines(Utf16ToUtf8(bytes), stop), stop);
}

TSegmentList::TLrcLine TSegmentList::ParseLrcLine(const std::string &s, int32_t &ms, size_t &textAt) {
    const size_t bracket = s.find(']');
    const size_t p = bracket == std::string::npos ? 0 : bracket + 1; // 1-based
    if (s.empty() || s[0] != '[' || p < 7)
        return TLrcLine::Untimed;
    const auto longMinutes = longMinuteTimeText(std::string_view(s).substr(1, p - 2));
    if (p > 11 && !longMinutes)
        return TLrcLine::Untimed;

    std::string timeText = s;
    if (longMinutes)
        timeText = *longMinutes;
    else if (p == 7)
        timeText = "00:" + s.substr(1, 5) + ".000";
    else if (p == 10 && s.find('.') == 6)
        timeText = "00:" + s.substr(1, 8) + "0";
    else if (p == 11)
        timeText = "00:" + s.substr(1, 9);
    if (!IsTimeText(timeText))
        return TLrcLine::Untimed;
    const auto time = parseTime(timeText);
    if (!time)
        return TLrcLine::BadTime;
    ms = *time;
    textAt = p;
    return TLrcLine::Timed;
}

void TSegmentList::LoadFromStrings(const TStrings &lines, const TStopFlag *stop) {
    SkippedLines.clear();
    StopIfAsked(stop);
    const bool gbk = IsGbkFile(lines);
    for (size_t n = 0; n < lines.size(); ++n) {
        if (n % 4096 == 0)
            StopIfAsked(stop);
        const std::string s = trim(lines[n]);
        int32_t ms = 0;
        size_t p = 0;
        const TLrcLine kind = ParseLrcLine(s, ms, p);
        if (kind == TLrcLine::Untimed)
            continue;
        // One mistyped stamp must not cost the learner the whole file.
        if (kind == TLrcLine::BadTime) {
            SkippedLines.push_back(static_cast<int32_t>(n + 1));
            continue;
        }
        TSegmentRec rec;
        rec.TimeMs = ms;
        rec.Stamp = s.substr(0, p);
        const std::string_view written = std::string_view(s).substr(p);
        rec.Text = NormalizeText(gbk ? GbkToUtf8(written) : TextToUtf8(written));
        Add(std::move(rec));
    }
    if (records_.empty())
        return;
    // Out of order or repeated stamps would make sentences of negative or no
    // length, which playback cannot leave.
    std::stable_sort(records_.begin(), records_.end(),
                     [](const auto &a, const auto &b) { return a->TimeMs < b->TimeMs; });
    if (records_.front()->TimeMs != 0) {
        TSegmentRec first;
        first.Stamp = "[00:00.00]";
        Insert(0, std::move(first));
    }
    size_t kept = 0;
    for (size_t i = 1; i < records_.size(); ++i) {
        TSegmentRec &last = *records_[kept];
        if (records_[i]->TimeMs != last.TimeMs) {
            if (++kept != i)
                records_[kept] = std::move(records_[i]);
            continue;
        }
        const std::string &text = records_[i]->Text;
        if (!text.empty() && text != last.Text)
            last.Text += last.Text.empty() ? text : " " + text;
    }
    records_.resize(kept + 1);
}

void TSegmentList::DropFrom(int32_t ms) {
    if (records_.empty())
        return;
    const auto end = std::remove_if(records_.begin() + 1, records_.end(),
                                    [ms](const auto &r) { return r->TimeMs >= ms; });
    records_.erase(end, records_.end());
}

TSplitOutcome TSegmentList::AutoSplit(const TStrings &samples) {
    TStrings times;
    const TSplitOutcome outcome = SplitAtNoiseFloor(Settings, samples, times);
    Clear();
    for (const std::string &v : times) {
        TSegmentRec rec;
        rec.TimeMs = StrToInt(v);
        rec.Stamp = MakeStamp(rec.TimeMs);
        Add(std::move(rec));
    }
    return outcome;
}

int32_t TSegmentList::InsertBreakpoint(int32_t t, int32_t tolerance) {
    for (int32_t i = Count() - 1; i >= 0; --i) {
        const int64_t c = records_[static_cast<size_t>(i)]->TimeMs;
        if (c > t)
            continue;
        if (t <= c - tolerance || t >= c + tolerance) {
            TSegmentRec rec;
            rec.TimeMs = t;
            rec.Stamp = MakeStamp(t);
            Insert(i + 1, std::move(rec));
            return i + 1;
        }
        return -1;
    }
    return -1;
}

int32_t TSegmentList::DeleteBreakpointNear(int32_t t, int32_t tolerance) {
    if (Count() < 3)
        return -1;
    for (int32_t i = 1; i <= Count() - 2; ++i) {
        const int64_t c = records_[static_cast<size_t>(i)]->TimeMs;
        if (c - tolerance <= t && t <= c + tolerance) {
            // The joined sentence keeps both texts: the LRC written from this list
            // wins over a subtitle file, so a text dropped here is lost for good.
            std::string &kept = records_[static_cast<size_t>(i) - 1]->Text;
            const std::string &joined = records_[static_cast<size_t>(i)]->Text;
            if (!joined.empty())
                kept = kept.empty() ? joined : kept + " " + joined;
            Delete(i);
            return i - 1;
        }
    }
    return -1;
}

int32_t TSegmentList::FindSentence(int32_t t, int32_t &start, int32_t &end) const {
    start = t;
    if (records_.empty())
        listIndexError(-1);
    end = records_.back()->TimeMs;
    if (t > end)
        return -1;
    for (int32_t i = Count() - 1; i >= 0; --i) {
        if (records_[static_cast<size_t>(i)]->TimeMs <= t) {
            start = records_[static_cast<size_t>(i)]->TimeMs;
            if (i < Count() - 1)
                end = records_[static_cast<size_t>(i) + 1]->TimeMs;
            return i;
        }
    }
    return -1;
}

void TSegmentList::RefreshStamp(int32_t index) {
    checkIndex(index, Count());
    TSegmentRec &rec = *records_[static_cast<size_t>(index)];
    rec.Stamp = MakeStamp(rec.TimeMs);
}

std::string TSegmentList::MakeStamp(int32_t ms) {
    // Minutes within the hour, hundredths truncated: the stamp of a time of day.
    const int64_t t = ms < 0 ? 0 : ms;
    const int64_t minutes = (t / 60000) % 60;
    const int64_t seconds = (t / 1000) % 60;
    const int64_t hundredths = (t % 1000) / 10;
    char buf[16];
    std::snprintf(buf, sizeof buf, "[%02d:%02d.%02d]", static_cast<int>(minutes), static_cast<int>(seconds),
                  static_cast<int>(hundredths));
    return buf;
}

bool TSegmentList::IsTimeText(const std::string &text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == ':' || c == '.'; });
}

std::string TSegmentList::NormalizeText(const std::string &text) {
    std::string s = replaceAll(trim(text), ".", ". ");
    s = replaceAll(trim(s), ",", ", ");
    s = replaceAll(trim(s), "  ", " ");
    while (s.find("  ") != std::string::npos)
        s = replaceAll(s, "  ", " ");
    return s;
}

} // namespace vorel::segment
