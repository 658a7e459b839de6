// Alignment measured against known sentence starts: on recorded human speech (the
// LibriVox reading in Debian's pocketsphinx-testdata, public domain, its clips
// joined here with pauses) and on synthetic speech from a different eSpeak NG
// voice than the aligner's own (labelled as such), clean and with room noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "align/aligner.h"
#include "testfiles.h"

using namespace vorel::align;
using vorel::test::TempDir;

namespace {

constexpr uint32_t Rate = 16000;

// The sound of a file as 16 kHz mono floats, through sox.
std::vector<float> readSound(const std::string &path, const TempDir &dir) {
    const std::string raw = dir.file("sound.raw");
    if (!vorel::test::mustRun("sox " + vorel::test::shellQuote(path) + " -t raw -r 16000 -c 1 -e signed -b 16 " +
                              vorel::test::shellQuote(raw)))
        return {};
    const std::vector<uint8_t> bytes = vorel::test::readFile(raw);
    std::vector<float> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) / 32768.0f;
    return out;
}

// Where a clip's speech begins: the first 50 ms that stay 10 dB above the clip's
// own background (its 10th percentile of 10 ms levels). The LibriVox clips carry
// room tone at about -50 dB, so a threshold from the peak would fire on breaths.
size_t onsetOf(const std::vector<float> &s) {
    std::vector<double> level;
    for (size_t i = 0; i + 160 <= s.size(); i += 160) {
        double e = 0;
        for (size_t k = i; k < i + 160; ++k)
            e += s[k] * s[k];
        level.push_back(10 * std::log10(e / 160 + 1e-12));
    }
    std::vector<double> sorted = level;
    std::sort(sorted.begin(), sorted.end());
    const double threshold = sorted[sorted.size() / 10] + 10;
    for (size_t c = 0; c + 5 <= level.size(); ++c)
        if (std::all_of(level.begin() + static_cast<ptrdiff_t>(c), level.begin() + static_cast<ptrdiff_t>(c + 5),
                        [&](double v) { return v > threshold; }))
            return c * 160;
    return 0;
}

struct TMaterial {
    std::vector<float> sound;
    std::string text;
    std::vector<int64_t> truthMs; // where each sentence's speech begins
};

// Clips joined in order with the given pauses between them, filled with room tone
// at about the level of the LibriVox clips' own (-50 dB).
TMaterial join(const std::vector<std::vector<float>> &clips, const std::vector<std::string> &texts,
               const std::vector<int32_t> &pausesMs, unsigned seed) {
    TMaterial m;
    std::mt19937 rng(seed);
    std::normal_distribution<float> hiss(0, 0.003f);
    auto room = [&](int32_t ms) {
        for (int32_t i = 0; i < ms * 16; ++i)
            m.sound.push_back(hiss(rng));
    };
    room(400);
    for (size_t k = 0; k < clips.size(); ++k) {
        m.truthMs.push_back((static_cast<int64_t>(m.sound.size()) + static_cast<int64_t>(onsetOf(clips[k]))) / 16);
        m.sound.insert(m.sound.end(), clips[k].begin(), clips[k].end());
        room(pausesMs[k % pausesMs.size()]);
        m.text += (k ? " " : "") + texts[k];
    }
    return m;
}

// Brownish noise (a room's rumble and hiss) at the given signal-to-noise ratio.
void addRoomNoise(std::vector<float> &s, double snrDb, unsigned seed) {
    double power = 0;
    for (const float v : s)
        power += v * v;
    power /= static_cast<double>(s.size());
    std::mt19937 rng(seed);
    std::normal_distribution<double> white(0, 1);
    std::vector<double> noise(s.size());
    double low = 0, np = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double w = white(rng);
        low = 0.98 * low + 0.02 * w;
        noise[i] = 4 * low + 0.3 * w;
        np += noise[i] * noise[i];
    }
    np /= static_cast<double>(s.size());
    const double gain = std::sqrt(power / np / std::pow(10, snrDb / 10));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] += static_cast<float>(gain * noise[i]);
}

TAlignment alignSound(const TMaterial &m, const std::string &voice = "en") {
    TRecordingAnalysis a(Rate);
    a.Push(m.sound.data(), m.sound.size());
    a.Finish();
    return AlignSentences(SplitSentences(m.text, voice), voice, a);
}

struct TScore {
    int within = 0, total = 0;
    double share() const { return total ? static_cast<double>(within) / total : 0; }
};

// Sentence starts within 100 ms of the truth; each sentence of the text once.
TScore score(const TAlignment &a, const std::vector<int64_t> &truth, const char *what) {
    TScore s;
    s.total = static_cast<int>(truth.size());
    for (const TAlignedSentence &x : a.Sentences) {
        if (x.Index < 0 || x.Index >= s.total)
            continue;
        const int64_t err = x.StartMs - truth[x.Index];
        if (std::abs(err) <= 100)
            ++s.within;
        else
            std::printf("  %s: sentence %d off by %lld ms\n", what, x.Index + 1, static_cast<long long>(err));
    }
    for (const TMismatch &m : a.Mismatches)
        std::printf("  %s: %s\n", what, MismatchText(m).c_str());
    std::printf("%s: %d of %d sentence starts within 100 ms (%.1f %%)\n", what, s.within, s.total, 100 * s.share());
    return s;
}

const char *const LibriVox = "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0";
const char *const Cards = "/usr/share/pocketsphinx/test/data/cards/";

// The clips' words as the book prints them (the reader's "a more a amiable" is
// left as the book has it: the text never matches a reading word for word).
const std::vector<std::string> &austenTexts() {
    static const std::vector<std::string> t{
        "And Mr. John Dashwood had then leisure to consider how much there might be prudently in his power to do "
        "for them.",
        "He was not an ill-disposed young man.",
        "Unless to be rather cold-hearted and rather selfish is to be ill-disposed.",
        "Had he married a more amiable woman, he might have been made still more respectable than he was.",
        "He might even have been made amiable himself.",
    };
    return t;
}

std::vector<std::vector<float>> austenClips(const TempDir &dir) {
    std::vector<std::vector<float>> clips;
    for (const char *n : {"870", "880", "890", "920", "930"})
        clips.push_back(readSound(std::string(LibriVox) + n + ".wav", dir));
    return clips;
}

// Synthetic "reader": each sentence spoken by another eSpeak NG voice, slower.
std::vector<std::vector<float>> syntheticClips(const std::vector<std::string> &texts, const TempDir &dir,
                                               const std::string &voice) {
    std::vector<std::vector<float>> clips;
    for (const std::string &t : texts) {
        const std::string wav = dir.file("s.wav");
        vorel::test::mustRun("espeak-ng -v " + voice + " -s 140 -w " + wav + " " + vorel::test::shellQuote(t));
        clips.push_back(readSound(wav, dir));
    }
    return clips;
}

const std::vector<std::string> &storyTexts() {
    static const std::vector<std::string> t{
        "The morning train was late again.",
        "Anna stood on the platform with her coffee and watched the rain.",
        "A small dog ran along the tracks, looking for its owner.",
        "Nobody seemed to notice it.",
        "When the train finally arrived, the doors opened slowly.",
        "She found a seat by the window and took out her book.",
        "It was a story about a sailor who had lost his ship in a storm.",
        "The sailor walked for many days across a strange island.",
        "He ate fruit from the trees and slept under the stars.",
        "One night he saw a light far away on the hill.",
        "He climbed towards it, tired and hungry.",
        "At the top he found an old woman sitting by a fire.",
        "She gave him bread and asked him where he came from.",
        "He told her everything, and she listened without a word.",
        "Then she pointed to the sea and smiled.",
        "A ship was waiting in the bay.",
        "Anna closed the book as the train reached the city.",
        "The rain had stopped, and the streets were shining.",
    };
    return t;
}

bool haveHumanSpeech() { return std::filesystem::exists(std::string(LibriVox) + "870.wav"); }

// Three orders of five clips with different pauses (one of 3 s, one of 5 s):
// 15 sentence starts, clean and with room noise.
void measureHuman(const std::vector<std::vector<float>> &clips, const std::vector<std::string> &texts,
                  const char *name, double cleanShare, double noisyShare) {
    const std::vector<std::vector<size_t>> orders{{0, 1, 2, 3, 4}, {4, 2, 0, 3, 1}, {3, 1, 4, 0, 2}};
    const std::vector<std::vector<int32_t>> pauses{{250, 600, 1200, 400, 300}, {3000, 350, 500, 800, 250},
                                                   {300, 300, 5000, 450, 700}};
    TScore clean, noisy;
    for (size_t o = 0; o < orders.size(); ++o) {
        std::vector<std::vector<float>> c;
        std::vector<std::string> t;
        for (const size_t k : orders[o]) {
            c.push_back(clips[k]);
            t.push_back(texts[k]);
        }
        TMaterial m = join(c, t, pauses[o], static_cast<unsigned>(o));
        const TScore a = score(alignSound(m), m.truthMs, "human, clean");
        addRoomNoise(m.sound, 15, static_cast<unsigned>(o) + 10);
        const TScore b = score(alignSound(m), m.truthMs, "human, room noise 15 dB SNR");
        clean.within += a.within;
        clean.total += a.total;
        noisy.within += b.within;
        noisy.total += b.total;
    }
    std::printf("HUMAN %s: clean %d/%d, room noise %d/%d\n", name, clean.within, clean.total, noisy.within,
                noisy.total);
    EXPECT_GE(clean.share(), cleanShare) << name;
    EXPECT_GE(noisy.share(), noisyShare) << name;
}

} // namespace

// The reading the aligner was tuned on.
TEST(AlignHuman, LibriVoxReading) {
    if (!haveHumanSpeech())
        GTEST_SKIP() << "pocketsphinx-testdata is not installed (scripts/setup.sh installs it)";
    TempDir dir;
    measureHuman(austenClips(dir), austenTexts(), "LibriVox reading (tuned on)", 0.95, 0.90);
}

// Another speaker, short phrases, never looked at while tuning.
TEST(AlignHuman, CardNamesHeldOut) {
    if (!haveHumanSpeech())
        GTEST_SKIP() << "pocketsphinx-testdata is not installed (scripts/setup.sh installs it)";
    TempDir dir;
    std::vector<std::vector<float>> clips;
    for (const char *n : {"001", "002", "003", "004", "005"})
        clips.push_back(readSound(std::string(Cards) + n + ".wav", dir));
    const std::vector<std::string> texts{"Ten of clubs.", "Four, queen of clubs.", "Seven of clubs.", "Five, five.",
                                         "Eight of spades, four of clubs, seven of hearts."};
    // Never tuned on: 12 of 15 clean and 8 of 15 with room noise when first run,
    // 13 and 10 of 15 since the pauses between sentences may hold speech (tuned on
    // the reading above). Short phrases whose inner pauses are as long as the
    // pauses between them are the hard case; the floor guards against losing
    // ground, the goal is 95 / 90 %.
    measureHuman(clips, texts, "card names (held out)", 0.75, 0.45);
}

TEST(AlignSynthetic, AnotherVoiceCleanAndNoisyWithAChapterPause) {
    TempDir dir;
    const auto &texts = storyTexts();
    const auto clips = syntheticClips(texts, dir, "en-us+m3");
    TMaterial m = join(clips, texts, {300, 700, 450, 1000, 350, 8000, 500}, 3);
    const TAlignment clean = alignSound(m);
    const TScore a = score(clean, m.truthMs, "synthetic, clean");
    EXPECT_GE(a.share(), 0.95);
    EXPECT_TRUE(clean.Mismatches.empty());
    for (const TAlignedSentence &s : clean.Sentences) {
        EXPECT_FALSE(s.Low) << s.Text;
        EXPECT_LE(s.BreakpointMs, s.StartMs);
    }
    addRoomNoise(m.sound, 15, 4);
    EXPECT_GE(score(alignSound(m), m.truthMs, "synthetic, room noise 15 dB SNR").share(), 0.90);
}

// A paragraph (three sentences) missing from the text, and one the recording lacks.
TEST(AlignSynthetic, MismatchedParagraphsAreReportedWhereTheyAre) {
    TempDir dir;
    const auto &texts = storyTexts();
    const auto clips = syntheticClips(texts, dir, "en-us+m3");
    const TMaterial full = join(clips, texts, {400, 600, 500}, 5);

    // The text lacks sentences 7..9 (index 6..8): the recording's speech there is reported.
    {
        std::string text;
        std::vector<int64_t> truth;
        for (size_t k = 0; k < texts.size(); ++k)
            if (k < 6 || k > 8) {
                text += (text.empty() ? "" : " ") + texts[k];
                truth.push_back(full.truthMs[k]);
            }
        TMaterial m = full;
        m.text = text;
        const TAlignment a = alignSound(m);
        ASSERT_EQ(a.Mismatches.size(), 1u);
        const TMismatch &x = a.Mismatches[0];
        EXPECT_EQ(x.Kind, TMismatchKind::SpeechNotInText);
        EXPECT_EQ(x.First, 5); // after the text's sixth sentence
        EXPECT_NEAR(static_cast<double>(x.StartMs), static_cast<double>(full.truthMs[6]), 300);
        // It ends after the last missing sentence begins, before the next one does.
        EXPECT_GT(x.EndMs, full.truthMs[8]);
        EXPECT_LE(x.EndMs, full.truthMs[9]);
        EXPECT_GE(score(a, truth, "synthetic, paragraph missing from the text").share(), 0.9);
        std::printf("%s\n", MismatchText(x).c_str());
    }
    // The recording lacks sentences 10..12 (index 9..11): the text's sentences are reported.
    {
        std::vector<std::vector<float>> c;
        std::vector<std::string> t;
        for (size_t k = 0; k < texts.size(); ++k)
            if (k < 9 || k > 11) {
                c.push_back(clips[k]);
                t.push_back(texts[k]);
            }
        TMaterial m = join(c, t, {400, 600, 500}, 6);
        std::vector<int64_t> truth;
        m.text.clear();
        for (size_t k = 0, j = 0; k < texts.size(); ++k) {
            m.text += (k ? " " : "") + texts[k];
            truth.push_back(k < 9 || k > 11 ? m.truthMs[j++] : -100000);
        }
        const TAlignment a = alignSound(m);
        ASSERT_EQ(a.Mismatches.size(), 1u);
        const TMismatch &x = a.Mismatches[0];
        EXPECT_EQ(x.Kind, TMismatchKind::TextNotSpoken);
        EXPECT_EQ(x.First, 9);
        EXPECT_EQ(x.Last, 11);
        for (const TAlignedSentence &s : a.Sentences)
            EXPECT_TRUE(s.Index < 9 || s.Index > 11) << s.Text;
        const TScore s = score(a, truth, "synthetic, paragraph missing from the recording");
        EXPECT_GE(s.within, 14); // of the 15 spoken
        std::printf("%s\n", MismatchText(x).c_str());
    }
}
