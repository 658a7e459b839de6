#include "lrcwriter.h"

#include <cstdio>

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

void SaveLrcFile(TSegmentList &list, const std::string &path) {
    RoundForLrc(list);
    const std::string bytes = LrcBytes(list);
    platform::WriteFileReplacing(path, bytes.data(), bytes.size(), 0644);
}

} // namespace vorel::segment
