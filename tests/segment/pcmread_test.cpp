// Sampling PCM read from a file a window at a time: the same samples as over the
// bytes in memory, silence for a tail the file lacks, early return on cancel.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/tempfolder.h"
#include "segment/pcmread.h"
#include "segment/samplelist.h"
#include "testfiles.h"

using vorel::segment::SamplePcmBlocks;
using vorel::segment::TStrings;
using vorel::segment::TWaveSampleList;

namespace {

// Deterministic PCM whose every block has its own peak.
std::vector<uint8_t> pcmBytes(size_t n) {
    std::vector<uint8_t> b(n);
    uint32_t seed = 99;
    for (auto &x : b)
        x = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return b;
}

class TFile {
public:
    TFile(const std::string &path, const std::vector<uint8_t> &bytes) {
        FILE *f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            std::fclose(f);
        }
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
    }
    ~TFile() { ::close(fd); }
    int fd = -1;
};

} // namespace

TEST(PcmRead, SamplesAsInMemoryEndingWhereTheFileEnds) {
    const vorel::test::TempDir dir;
    const size_t fileBytes = 3 << 20; // several read windows
    const auto bytes = pcmBytes(fileBytes);
    const TFile file(dir.file("pcm.raw"), bytes);
    struct Case {
        const char *what;
        int bits, channels;
        int64_t at;
        size_t blockSize, count;
    };
    const Case cases[] = {
        {"16-bit stereo over many windows", 16, 2, 44, 7056, 400},
        {"8-bit mono, odd offset", 8, 1, 3, 1764, 1500},
        {"one block larger than a window", 16, 1, 0, 600 << 10, 4},
        {"file ends inside a block", 16, 2, 44, 7056, 500},
        {"8-bit: file ends before the blocks start", 8, 2, fileBytes + 10, 3528, 3},
        {"block size 0", 16, 2, 44, 0, 5},
    };
    for (const Case &c : cases) {
        // The expected samples: the same bytes in memory, the blocks the file
        // reaches into, the last one padded with silence.
        const size_t left = fileBytes > size_t(c.at) ? fileBytes - size_t(c.at) : 0;
        const size_t real = c.blockSize ? std::min(c.count, (left + c.blockSize - 1) / c.blockSize) : c.count;
        std::vector<uint8_t> want(c.blockSize * real, c.bits == 8 ? 128 : 0);
        for (size_t i = 0; i < want.size() && c.at + i < fileBytes; ++i)
            want[i] = bytes[static_cast<size_t>(c.at) + i];
        TStrings expected{"kept"};
        TWaveSampleList::SampleBlocks(c.bits, c.channels, want.data(), c.blockSize, real, expected);
        TStrings got{"kept"};
        EXPECT_EQ(SamplePcmBlocks(file.fd, c.at, c.blockSize, c.count, c.bits, c.channels, nullptr, got), real)
            << c.what;
        EXPECT_EQ(got, expected) << c.what;
    }
}

TEST(PcmRead, CancelAndReadErrors) {
    const vorel::test::TempDir dir;
    const TFile file(dir.file("pcm.raw"), pcmBytes(1 << 20));
    const std::atomic<bool> cancelled{true};
    TStrings out;
    SamplePcmBlocks(file.fd, 0, 7056, 100, 16, 2, &cancelled, out);
    EXPECT_LT(out.size(), 100u);
    const std::atomic<bool> running{false};
    SamplePcmBlocks(file.fd, 0, 7056, 100, 16, 2, &running, out);
    EXPECT_GE(out.size(), 100u);

    // A directory opens but cannot be read.
    const int dirFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    EXPECT_THROW(SamplePcmBlocks(dirFd, 0, 7056, 3, 16, 2, nullptr, out), vorel::platform::EPlatformError);
    ::close(dirFd);
}
