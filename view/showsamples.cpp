#include "showsamples.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "mmoscope.h"

namespace vorel::view {

int16_t SampleValue(const std::string &text)
{
    int64_t v = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec == std::errc::result_out_of_range)
        return text.front() == '-' ? std::numeric_limits<int16_t>::min() : std::numeric_limits<int16_t>::max();
    if (ec != std::errc() || ptr != end)
        return 0;
    if (v < std::numeric_limits<int16_t>::min())
        return std::numeric_limits<int16_t>::min();
    if (v > std::numeric_limits<int16_t>::max())
        return std::numeric_limits<int16_t>::max();
    return int16_t(v);
}

void ShowSamples(TMMOscope *control, const std::vector<std::string> &samples, int64_t first, int32_t maxCount)
{
    if (!control)
        return;
    const int32_t columns = control->Columns();
    std::vector<int16_t> buffer(size_t(columns), 0);
    const int64_t size = int64_t(samples.size());
    for (int64_t k = 0; k < std::min<int64_t>(maxCount, columns); ++k) {
        const int64_t i = first + k;
        if (i >= 0 && i < size)
            buffer[size_t(k)] = SampleValue(samples[size_t(i)]);
    }

    // The immediate drawing shows the whole stretch in the inactive colour; the
    // restore invalidates, and the next paint shows the highlighted range again.
    struct TRestore {
        TMMOscope *control;
        TColor colour;
        ~TRestore() { control->SetForegroundColor(colour); }
    } restore{control, control->ForegroundColor()};
    control->SetForegroundColor(control->InactiveColor());
    control->ClearData();
    control->ShowData(buffer.data());
}

} // namespace vorel::view
