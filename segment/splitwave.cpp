#include "splitwave.h"

#include <charconv>
#include <vector>

#include "audio/channelinfo.h"

namespace vorel::segment {

int32_t StrToInt(const std::string &text) {
    int32_t v = 0;
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (first == last || ec != std::errc() || end != last)
        throw ESegmentError("'" + text + "' is not a valid integer value");
    return v;
}

TSplitScan::TSplitScan(const TSplitSettings &settings)
    : settings_(settings), minPause_(settings.MinPauseMs / audio::MsPerColumn),
      minSentence_(settings.MinSentenceMs / audio::MsPerColumn) {}

int64_t TSplitScan::Feed(int32_t value) {
    const int64_t i = next_++;
    const int64_t a = value < 0 ? -static_cast<int64_t>(value) : value;
    if (a < settings_.SilenceLevel) {
        // A gap wider than tolerated drops the run, and this silent sample
        // with it: the next run starts one sample later.
        if (!run_.empty() && (i - run_.back() - 1) > settings_.GapTolerance)
            run_.clear();
        else
            run_.push_back(i);
        return -1;
    }
    if (static_cast<int64_t>(run_.size()) <= minPause_)
        return -1;
    const int64_t candidate = run_[run_.size() / 2];
    run_.clear();
    // Each candidate is measured from the last accepted one, so acceptance is
    // final at once.
    if (candidate - accepted_ <= minSentence_)
        return -1;
    accepted_ = candidate;
    return candidate;
}

void TSplitWave::Split(const TStrings &samples, TStrings &breakpoints) const {
    breakpoints.clear();
    TSplitScan scan(settings_);
    std::vector<int64_t> accepted{0};
    for (const std::string &s : samples)
        if (const int64_t c = scan.Feed(StrToInt(s)); c >= 0)
            accepted.push_back(c);
    // Silence lasting to the end yields nothing: the last sentence keeps it.
    accepted.push_back(static_cast<int64_t>(samples.size()));
    breakpoints.reserve(accepted.size());
    for (const int64_t c : accepted)
        breakpoints.push_back(std::to_string(c * audio::MsPerColumn));
}

} // namespace vorel::segment
