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

void TSplitWave::Split(const TStrings &samples, TStrings &breakpoints) const {
    breakpoints.clear();
    const int64_t minPause = settings_.MinPauseMs / audio::MsPerColumn;
    const int64_t minSentence = settings_.MinSentenceMs / audio::MsPerColumn;

    std::vector<int64_t> run; // silent indices of the pause under way
    std::vector<int64_t> candidates;
    const int64_t n = static_cast<int64_t>(samples.size());
    for (int64_t i = 0; i < n; ++i) {
        const int64_t v = StrToInt(samples[static_cast<size_t>(i)]);
        const int64_t a = v < 0 ? -v : v;
        if (a < settings_.SilenceLevel) {
            // A gap wider than tolerated drops the run, and this silent sample
            // with it: the next run starts one sample later.
            if (!run.empty() && (i - run.back() - 1) > settings_.GapTolerance)
                run.clear();
            else
                run.push_back(i);
        } else if (static_cast<int64_t>(run.size()) > minPause) {
            candidates.push_back(run[run.size() / 2]);
            run.clear();
        }
    }
    // Silence lasting to the end yields nothing: the last sentence keeps it.

    std::vector<int64_t> accepted{0};
    for (const int64_t c : candidates)
        if (c - accepted.back() > minSentence)
            accepted.push_back(c);
    accepted.push_back(n);

    breakpoints.reserve(accepted.size());
    for (const int64_t c : accepted)
        breakpoints.push_back(std::to_string(c * audio::MsPerColumn));
}

} // namespace vorel::segment
