// Arbitrary bytes as PCM: the first bytes choose the format and the step count,
// the rest is the data. The sampler must stay inside the buffer and produce
// steps - 2 integers on the 16-bit scale.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "segment/samplelist.h"

using vorel::segment::TStrings;
using vorel::segment::TWaveSampleList;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4)
        return 0;
    static const int bitsChoice[] = {8, 16, 24, 0};
    const int bits = bitsChoice[data[0] & 3];
    const int channels = data[1] % 4;
    const int32_t steps = static_cast<int32_t>((data[2] | (data[3] << 8)) % 4096) - 2;
    TStrings out;
    TWaveSampleList::SampleBuffer(bits, channels, data + 4, size - 4, steps, out);
    if (out.size() != static_cast<size_t>(steps >= 3 ? steps - 2 : 0))
        std::abort();
    for (const auto &s : out) {
        const long v = std::strtol(s.c_str(), nullptr, 10);
        if (v < -32768 || v > 32767 || std::to_string(v) != s)
            std::abort();
    }
    return 0;
}
