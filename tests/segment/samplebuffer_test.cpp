// Block peaks, the step count and the RIFF walk over synthetic buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "segment/samplelist.h"
#include "segment/wavlayout.h"
#include "wavbytes.h"

using vorel::segment::FindPcmData;
using vorel::segment::TStrings;
using vorel::segment::TWaveSampleList;
using vorel::test::WavBytes;

namespace {

std::vector<uint8_t> pcm16(const std::vector<int16_t> &v) {
    std::vector<uint8_t> b;
    for (int16_t s : v) {
        b.push_back(static_cast<uint8_t>(s & 0xFF));
        b.push_back(static_cast<uint8_t>((static_cast<uint16_t>(s) >> 8) & 0xFF));
    }
    return b;
}

// One block: steps = 3 gives exactly one sample over the whole buffer.
std::string oneSample(int bits, int channels, const std::vector<uint8_t> &bytes) {
    TStrings out;
    TWaveSampleList::SampleBuffer(bits, channels, bytes.data(), bytes.size(), 3, out);
    EXPECT_EQ(out.size(), 1u);
    return out.empty() ? "" : out[0];
}

} // namespace

TEST(SampleBuffer, PeakRules) {
    struct Case {
        const char *what;
        int bits, channels;
        std::vector<uint8_t> data;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"stereo tie: right channel wins", 16, 2, pcm16({20000, 0, 0, -20000, 0, 0, 0, 0}), "-20000"},
        {"later extreme wins a tie in one channel", 16, 2, pcm16({-1000, 0, 5, 0, 1000, 0, 0, 0}), "1000"},
        {"later extreme wins, reversed order", 16, 2, pcm16({1000, 0, 5, 0, -1000, 0, 0, 0}), "-1000"},
        {"larger magnitude beats order", 16, 2, pcm16({-3000, 0, 2000, 0}), "-3000"},
        {"left wins when strictly larger", 16, 2, pcm16({-20001, 0, 0, 20000}), "-20001"},
        {"mono reads every value", 16, 1, pcm16({0, 7, -9, 3}), "-9"},
        {"other channel counts read as mono", 16, 6, pcm16({0, 7, -9, 3}), "-9"},
        {"full scale", 16, 1, pcm16({32767, -32768}), "-32768"},
        {"8-bit 255", 8, 1, {128, 255, 128, 128}, "32512"},
        {"8-bit 0", 8, 1, {128, 0, 128, 128}, "-32768"},
        {"8-bit silence", 8, 1, {128, 128, 128, 128}, "0"},
        {"8-bit stereo right dip", 8, 2, {128, 128, 200, 1}, "-32512"},
        {"other bit depths read as 16-bit", 24, 1, pcm16({100, -50}), "100"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(oneSample(c.bits, c.channels, c.data), c.expected) << c.what;
}

TEST(SampleBuffer, BlockPeaksWithoutWholeFrame) {
    const uint8_t byte[1] = {7};
    EXPECT_EQ(TWaveSampleList::BlockPeaks(16, 2, byte, 1), (vorel::segment::TBlockPeaks{0, 0, 0, 0}));
    EXPECT_EQ(TWaveSampleList::BlockPeaks(8, 2, byte, 1), (vorel::segment::TBlockPeaks{128, 128, 128, 128}));
    EXPECT_EQ(TWaveSampleList::BlockPeaks(8, 1, byte, 0), (vorel::segment::TBlockPeaks{128, 128, 128, 128}));
}

TEST(SampleBuffer, BlockPeaksOrderInTime) {
    const auto d = pcm16({5, -7, 0, 9, 3, 0});
    // Left: max 5 at frame 0, min 0 at frame 1 -> max first. Right: min -7 at 0, max 9 at 1.
    EXPECT_EQ(TWaveSampleList::BlockPeaks(16, 2, d.data(), d.size()), (vorel::segment::TBlockPeaks{5, 0, -7, 9}));
    const auto m = pcm16({4, -2});
    EXPECT_EQ(TWaveSampleList::BlockPeaks(16, 1, m.data(), m.size()), (vorel::segment::TBlockPeaks{4, -2, 4, -2}));
}

TEST(SampleBuffer, BlocksTileTheDataAndIgnoreTheRest) {
    // 60 s of 44.1 kHz 16-bit stereo: 1498 blocks of 7064 bytes.
    const int32_t steps = TWaveSampleList::SampleCountFor(60000);
    ASSERT_EQ(steps, 1500);
    const size_t size = 60 * 44100 * 4;
    std::vector<uint8_t> data(size, 0);
    const size_t block = 7064;
    // A peak in the last byte pair of block 3 and one just past the last block.
    const size_t at = 4 * block - 4;
    data[at] = 0x10;
    data[at + 1] = 0x27; // 10000 left
    data[1498 * block] = 0xFF;
    data[1498 * block + 1] = 0x7F;
    TStrings out;
    TWaveSampleList::SampleBuffer(16, 2, data.data(), data.size(), steps, out);
    ASSERT_EQ(out.size(), 1498u);
    EXPECT_EQ(out[3], "10000");
    EXPECT_EQ(out[4], "0");
    EXPECT_EQ(out[1497], "0");
}

TEST(SampleBuffer, SizeZeroAndShortAudio) {
    TStrings out{"stale"};
    TWaveSampleList::SampleBuffer(16, 2, nullptr, 0, 10, out);
    EXPECT_EQ(out, TStrings(8, "0"));
    for (int32_t steps : {0, 1, 2}) {
        TWaveSampleList::SampleBuffer(16, 2, nullptr, 0, steps, out);
        EXPECT_TRUE(out.empty()) << steps;
    }
    // Fewer bytes than blocks: block size 0, every sample 0, nothing read past size.
    const uint8_t two[2] = {0xFF, 0x7F};
    TWaveSampleList::SampleBuffer(16, 1, two, 2, 6, out);
    EXPECT_EQ(out, TStrings(4, "0"));
}

TEST(SampleBuffer, SampleCountForRoundsHalvesToEven) {
    const std::vector<std::pair<int32_t, int32_t>> cases = {
        {0, 0}, {19, 0}, {20, 0}, {21, 1}, {60, 2}, {100, 2}, {140, 4}, {139, 3},
        {60000, 1500}, {3600000, 90000}, {-1, 107374182},
    };
    for (const auto &[ms, steps] : cases)
        EXPECT_EQ(TWaveSampleList::SampleCountFor(ms), steps) << ms;
}

TEST(WavLayout, FindsTheRealDataChunk) {
    const std::vector<uint8_t> pcm = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char *what;
        std::vector<uint8_t> file;
        bool inPlace;
        size_t offset, bytes;
    };
    auto make = [&](auto build) {
        WavBytes w;
        w.riff();
        build(w);
        return w.b;
    };
    const std::vector<Case> cases = {
        {"canonical", make([&](WavBytes &w) { w.fmt(1, 2, 16, 4); w.chunk("data", pcm, 8); }), true, 44, 8},
        {"LIST before data (odd size, padded)", make([&](WavBytes &w) {
             w.fmt(1, 2, 16, 4);
             w.chunk("LIST", {'I', 'N', 'F', 'O', 'x'}, 5);
             w.chunk("data", pcm, 8);
         }),
         true, 58, 8},
        {"fact and bext before fmt", make([&](WavBytes &w) {
             w.chunk("bext", std::vector<uint8_t>(10), 10);
             w.chunk("fact", {0, 0, 0, 0}, 4);
             w.fmt(1, 1, 8, 1);
             w.chunk("data", pcm, 8);
         }),
         true, 74, 8},
        {"data size beyond the file is cut", make([&](WavBytes &w) { w.fmt(1, 2, 16, 4); w.chunk("data", pcm, 0xFFFFFFFFu); }), true, 44, 8},
        {"partial last frame dropped", make([&](WavBytes &w) { w.fmt(1, 2, 16, 4); w.chunk("data", {1, 2, 3, 4, 5, 6}, 6); }), true, 44, 4},
        {"float", make([&](WavBytes &w) { w.fmt(3, 2, 32, 8); w.chunk("data", pcm, 8); }), false, 0, 0},
        {"24-bit", make([&](WavBytes &w) { w.fmt(1, 2, 24, 6); w.chunk("data", pcm, 8); }), false, 0, 0},
        {"extensible", make([&](WavBytes &w) { w.fmt(0xFFFE, 2, 16, 4); w.chunk("data", pcm, 8); }), false, 0, 0},
        {"inconsistent block align", make([&](WavBytes &w) { w.fmt(1, 2, 16, 2); w.chunk("data", pcm, 8); }), false, 0, 0},
        {"no data chunk", make([&](WavBytes &w) { w.fmt(1, 2, 16, 4); }), false, 0, 0},
        {"chunk size past the end", make([&](WavBytes &w) { w.chunk("LIST", {1, 2}, 1000); w.fmt(1, 2, 16, 4); w.chunk("data", pcm, 8); }), false, 0, 0},
        {"truncated fmt", make([&](WavBytes &w) { w.chunk("fmt ", {1, 0, 2, 0}, 16); }), false, 0, 0},
        {"not RIFF", std::vector<uint8_t>(64, 'x'), false, 0, 0},
        {"too short", {'R', 'I', 'F', 'F'}, false, 0, 0},
    };
    for (const auto &c : cases) {
        const auto layout = FindPcmData(c.file.data(), c.file.size());
        ASSERT_EQ(layout.has_value(), c.inPlace) << c.what;
        if (layout) {
            EXPECT_EQ(layout->dataOffset, c.offset) << c.what;
            EXPECT_EQ(layout->dataBytes, c.bytes) << c.what;
        }
    }
}

namespace {

// The rule as stated: a frame-by-frame scan where a strictly lower (higher) value
// becomes the minimum (maximum) and the extreme met first comes first.
vorel::segment::TBlockPeaks referencePeaks(int bits, int channels, const std::vector<uint8_t> &b) {
    const int chans = channels == 2 ? 2 : 1;
    const int width = bits == 8 ? 1 : 2;
    const size_t frames = b.size() / (chans * width);
    vorel::segment::TBlockPeaks out{};
    if (frames == 0) // no whole frame: silence on the block's own scale
        return bits == 8 ? vorel::segment::TBlockPeaks{128, 128, 128, 128} : out;
    for (int c = 0; c < chans; ++c) {
        int32_t mn = bits == 8 ? 127 : 32767, mx = bits == 8 ? -128 : -32768;
        size_t mnAt = 0, mxAt = 0;
        for (size_t f = 0; f < frames; ++f) {
            const uint8_t *s = b.data() + (f * chans + c) * width;
            const int32_t v = bits == 8 ? s[0] - 128 : static_cast<int16_t>(s[0] | (s[1] << 8));
            if (v < mn) mn = v, mnAt = f;
            if (v > mx) mx = v, mxAt = f;
        }
        const int32_t add = bits == 8 ? 128 : 0;
        out[2 * c] = (mxAt < mnAt ? mx : mn) + add;
        out[2 * c + 1] = (mxAt < mnAt ? mn : mx) + add;
    }
    if (chans == 1) {
        out[2] = out[0];
        out[3] = out[1];
    }
    return out;
}

} // namespace

// The scan works on groups of lanes; random blocks of every layout and length
// (tails included), with narrow value ranges for ties and the scale's ends, must
// give what the frame-by-frame rule gives.
TEST(SampleBuffer, BlockPeaksMatchTheFrameByFrameRule) {
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int bits : {8, 16})
        for (int channels : {1, 2})
            for (int round = 0; round < 400; ++round) {
                const size_t n = next() % 300;
                const int spread = round % 3 == 0 ? 3 : 256;
                std::vector<uint8_t> b(n);
                for (auto &x : b)
                    x = static_cast<uint8_t>(round % 5 == 0 ? (next() % 2 ? 0x7F : 0x80) : next() % spread);
                if (bits == 16)
                    for (size_t i = 1; i < n; i += 2)
                        b[i] = static_cast<uint8_t>(round % 5 == 0 ? b[i] : (next() % 2 ? 0xFF : 0x00) ^ (next() % spread));
                ASSERT_EQ(TWaveSampleList::BlockPeaks(bits, channels, b.data(), n), referencePeaks(bits, channels, b))
                    << "bits " << bits << " channels " << channels << " round " << round << " bytes " << n;
            }
}

// Blocks longer than the scan's 16-bit lane counters reach (32767 stretches of 64
// values) are scanned in pieces; the pieces must join as one frame-by-frame scan,
// also when the extremes first occur past the first piece or tie across pieces.
TEST(SampleBuffer, LongBlocksMatchTheFrameByFrameRule) {
    const size_t pieceValues = 32767 * 64;
    uint32_t seed = 777;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    struct Fill {
        const char *what;
        int spread;          // values drawn from [128 - spread/2, 128 + spread/2) on the byte scale
        int firstPieceSpread; // the same for the first piece's values
    };
    const Fill fills[] = {
        {"ties in every piece", 3, 3},
        {"extremes only after the first piece", 256, 40},
    };
    for (const Fill &fill : fills)
        for (int bits : {8, 16})
            for (int channels : {1, 2})
                for (size_t extra : {size_t{0}, size_t{9001}}) {
                    const size_t width = bits == 8 ? 1 : 2;
                    const size_t values = pieceValues + extra;
                    std::vector<uint8_t> b(values * width);
                    for (size_t i = 0; i < values; ++i) {
                        const int spread = i < pieceValues ? fill.firstPieceSpread : fill.spread;
                        const int v = 128 - spread / 2 + static_cast<int>(next() >> 8) % spread; // 0..255
                        if (width == 1)
                            b[i] = static_cast<uint8_t>(v);
                        else {
                            // The same level on the 16-bit scale, low byte random.
                            const auto s = static_cast<uint16_t>(static_cast<int16_t>((v - 128) * 256 + (next() >> 24)));
                            b[2 * i] = static_cast<uint8_t>(s & 0xFF);
                            b[2 * i + 1] = static_cast<uint8_t>(s >> 8);
                        }
                    }
                    EXPECT_EQ(TWaveSampleList::BlockPeaks(bits, channels, b.data(), b.size()),
                              referencePeaks(bits, channels, b))
                        << fill.what << ", bits " << bits << " channels " << channels << " extra " << extra;
                }
}
