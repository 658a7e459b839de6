// Alignment measured against known sentence starts on synthetic speech from a
// different eSpeak NG voice than the aligner's own, clean and with room noise, and
// with a paragraph missing on either side. Recorded human speech: accuracy_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "speechmaterial.h"

using namespace vorel::align;
using namespace vorel::test;

namespace {

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

} // namespace

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

// A knock or a word from the room in the middle of each long pause (80 ms, as
// loud as the speech) is no sentence start: the pause is one pause.
TEST(AlignSynthetic, ShortNoiseInsideLongPausesStartsNoSentence) {
    TempDir dir;
    const auto &texts = storyTexts();
    const auto clips = syntheticClips(texts, dir, "en-us+m3");
    constexpr int32_t pauseMs = 1600;
    TMaterial m = join(clips, texts, {pauseMs}, 8);
    std::mt19937 rng(9);
    std::normal_distribution<float> burst(0, 0.15f);
    for (size_t k = 1; k < m.truthMs.size(); ++k) {
        // The middle of the pause before sentence k: its reading ends some time before.
        const int64_t at = (m.truthMs[k] - pauseMs / 2) * 16;
        for (int64_t i = at; i < at + 80 * 16; ++i)
            m.sound[static_cast<size_t>(i)] += burst(rng);
    }
    EXPECT_GE(score(alignSound(m), m.truthMs, "synthetic, noise bursts in the pauses").share(), 0.95);
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
        for (const TMismatch &x : a.Mismatches)
            std::printf("%s\n", MismatchText(x).c_str());
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
        for (const TMismatch &x : a.Mismatches)
            std::printf("%s\n", MismatchText(x).c_str());
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

// A recording without speech (digital silence, a steady hiss) beside a text: no
// sentence is placed, and the whole text is reported as not in the recording.
TEST(AlignSynthetic, ARecordingWithoutSpeechPlacesNothing) {
    const auto &texts = storyTexts();
    std::string text;
    for (size_t k = 0; k < 4; ++k)
        text += (k ? " " : "") + texts[k];
    for (const float hiss : {0.0f, 0.001f}) {
        TMaterial m;
        m.sound.assign(SpeechRate * 20, 0.0f);
        std::mt19937 rng(1);
        std::normal_distribution<float> white(0, hiss > 0 ? hiss : 1);
        if (hiss > 0)
            for (float &v : m.sound)
                v = white(rng);
        m.text = text;
        const TAlignment a = alignSound(m);
        EXPECT_TRUE(a.Sentences.empty()) << "hiss " << hiss;
        ASSERT_EQ(a.Mismatches.size(), 1u) << "hiss " << hiss;
        EXPECT_EQ(a.Mismatches[0].Kind, TMismatchKind::TextNotSpoken);
        EXPECT_EQ(a.Mismatches[0].First, 0);
        EXPECT_EQ(a.Mismatches[0].Last, 3);
    }
}
