// Arbitrary bytes as an LRC file beside the audio: reading always succeeds, and
// what it keeps holds the list's promises.
#include <cstdint>
#include <string>

#include "segment/lrctext.h"
#include "segment/segmentlist.h"
#include "scratchfile.h"

using vorel::segment::TSegmentList;

using vorel::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = vorel::fuzz::ScratchFile(data, size);

    // Reading never fails on what it can open: bad lines are skipped.
    TSegmentList list;
    list.LoadFromFile(path);
    if (list.Count() > 0)
        check(list.Items(0).TimeMs == 0);
    for (int32_t i = 0; i < list.Count(); ++i) {
        const auto &r = list.Items(i);
        check(r.TimeMs >= 0);
        check(i == 0 || r.TimeMs > list.Items(i - 1).TimeMs); // in time order, no duplicates
        check(vorel::segment::IsValidUtf8(r.Text));
        check(r.Stamp.size() >= 7 && r.Stamp.front() == '[' && r.Stamp.back() == ']');
    }

    // The same lines handed over directly append to what is there.
    const int32_t before = list.Count();
    list.LoadFromStrings(
        vorel::segment::SplitTextLines(std::string_view(reinterpret_cast<const char *>(data), size)));
    check(list.Count() >= before);

    // Edits over a list that starts at 0 keep it ascending where it was.
    if (list.Count() > 0 && size >= 4) {
        const int32_t t = static_cast<int32_t>(data[0] | (data[1] << 8) | (data[2] << 16));
        int32_t start = 0, end = 0;
        const int32_t k = list.FindSentence(t, start, end);
        check(k >= -1 && k < list.Count());
        list.InsertBreakpoint(t, data[3]);
        list.DeleteBreakpointNear(t, data[3]);
    }
    return 0;
}
