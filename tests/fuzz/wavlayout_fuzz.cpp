// Arbitrary bytes as a WAV file read in place: the chunk walk must stay inside the
// file and only ever hand out a region that lies in it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "segment/samplelist.h"
#include "segment/wavlayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A private copy, so that ASan catches any read past the file's end.
    std::vector<uint8_t> file(data, data + size);
    const auto layout = vorel::segment::FindPcmData(file.data(), file.size());
    if (!layout)
        return 0;
    if (layout->dataOffset > size || layout->dataBytes > size - layout->dataOffset)
        std::abort();
    if (layout->dataBytes % (layout->channels * layout->bitsPerSample / 8) != 0)
        std::abort();
    vorel::segment::TStrings out;
    vorel::segment::TWaveSampleList::SampleBuffer(layout->bitsPerSample, layout->channels,
                                                  file.data() + layout->dataOffset, layout->dataBytes, 100, out);
    return 0;
}
