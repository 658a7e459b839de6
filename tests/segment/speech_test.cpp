// Splitting real speech: espeak-ng sentences joined by known pauses. Every pause
// of 250 ms or more must get a breakpoint inside it, and no breakpoint may fall
// inside a sentence (or a pause too short to count).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "segment/samplelist.h"
#include "segment/segmentlist.h"
#include "segment/wavlayout.h"
#include "testfiles.h"

using vorel::segment::TSegmentList;
using vorel::segment::TWaveSampleList;
using vorel::test::shellQuote;

namespace {

constexpr int Rate = 44100;

// Speech as 44.1 kHz 16-bit stereo with the synthesiser's own leading and trailing
// silence cut off, so that the pauses between sentences are exactly the ones
// inserted below.
std::vector<int16_t> speak(const vorel::test::TempDir &dir, const std::string &name, const std::string &text) {
    const std::string raw = dir.file(name + "-raw.wav"), cut = dir.file(name + ".wav");
    if (!vorel::test::mustRun("espeak-ng -w " + shellQuote(raw) + " " + shellQuote(text)) ||
        !vorel::test::mustRun("sox " + shellQuote(raw) + " -r 44100 -c 2 -b 16 -e signed-integer " + shellQuote(cut) +
                              " silence 1 0.01 0.2% reverse silence 1 0.01 0.2% reverse"))
        return {};
    const auto bytes = vorel::test::readFile(cut);
    const auto layout = vorel::segment::FindPcmData(bytes.data(), bytes.size());
    if (!layout || layout->channels != 2 || layout->bitsPerSample != 16)
        return {};
    std::vector<int16_t> pcm(layout->dataBytes / 2);
    std::memcpy(pcm.data(), bytes.data() + layout->dataOffset, pcm.size() * 2);
    return pcm;
}

struct Span {
    int32_t startMs, endMs;
};

} // namespace

TEST(SpeechSplit, BreakpointsFallInThePauses) {
    vorel::test::TempDir dir;
    const std::vector<std::string> sentences = {
        "The weather was lovely this morning so we walked to the station",
        "Please remember to bring your passport and your ticket tomorrow",
        "My brother has lived in a small town near the sea for many years",
        "Could you tell me how to get to the nearest post office",
        "We usually have dinner at seven in the evening",
        "The children were playing football in the park after school",
        "I would like to book a table for four people on Friday night",
    };
    // Pause after each sentence but the last, in ms. 100 ms is below what counts
    // as a pause: those two sentences must stay one.
    const std::vector<int> pauses = {250, 400, 100, 700, 1000, 2000};

    std::vector<int16_t> recording;
    std::vector<Span> longPauses;
    for (size_t i = 0; i < sentences.size(); ++i) {
        const auto pcm = speak(dir, "s" + std::to_string(i), sentences[i]);
        ASSERT_FALSE(pcm.empty()) << sentences[i];
        const int32_t start = static_cast<int32_t>(recording.size() / 2 * 1000 / Rate);
        vorel::test::append(recording, pcm);
        const int32_t end = static_cast<int32_t>(recording.size() / 2 * 1000 / Rate);
        // The splitter's minimum sentence (1200 ms) must not be what hides a pause.
        ASSERT_GT(end - start, 2000) << sentences[i];
        if (i < pauses.size()) {
            vorel::test::append(recording, vorel::test::silence(pauses[i] / 1000.0, Rate, 2));
            if (pauses[i] >= 250)
                longPauses.push_back({end, end + pauses[i]});
        }
    }
    const std::string file = dir.file("speech.wav");
    vorel::test::writeWav16(file, recording, Rate, 2);

    TWaveSampleList sampler;
    sampler.SampleFile(file, false);
    TSegmentList segments;
    segments.AutoSplit(sampler.Samples);

    std::vector<int32_t> inner;
    for (int32_t i = 1; i + 1 < segments.Count(); ++i)
        inner.push_back(segments.Items(i).TimeMs);
    std::string found;
    for (int32_t t : inner)
        found += std::to_string(t) + " ";

    // A 40 ms sample stands for a block slightly longer than 40 ms, so the time
    // of sample i drifts below the audio by under 2 ms per second: allow 60 ms at
    // the far end of the recording.
    constexpr int32_t Slack = 60;
    for (const Span &p : longPauses) {
        int hits = 0;
        for (int32_t t : inner)
            hits += t >= p.startMs - Slack && t <= p.endMs;
        EXPECT_EQ(hits, 1) << "pause " << p.startMs << "-" << p.endMs << " ms; breakpoints " << found;
    }
    for (int32_t t : inner) {
        bool inPause = false;
        for (const Span &p : longPauses)
            inPause = inPause || (t >= p.startMs - Slack && t <= p.endMs);
        EXPECT_TRUE(inPause) << "breakpoint at " << t << " ms is not in a pause of 250 ms or more; breakpoints "
                             << found;
    }
    EXPECT_EQ(inner.size(), longPauses.size()) << found;
}
