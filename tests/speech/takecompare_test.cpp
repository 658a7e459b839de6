// A take against its sentence, both spoken by eSpeak NG in the test: the phoneme
// events give where every syllable is in each, so the warping path can be held
// to the true time map.
#include <gtest/gtest.h>

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "speech/takecompare.h"

using namespace vorel::speech;

namespace {

struct Spoken {
    std::vector<int16_t> samples;
    uint32_t rate = 0;
    std::vector<int64_t> vowels; // the sample where each syllable's vowel starts
    std::vector<int64_t> words;  // where each word's first sound starts
    bool wordPending = false;
};

int collect(short *wav, int count, espeak_EVENT *events) {
    auto *out = static_cast<Spoken *>(events ? events->user_data : nullptr);
    if (!out) return 0;
    if (wav && count > 0) out->samples.insert(out->samples.end(), wav, wav + count);
    for (espeak_EVENT *e = events; e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type == espeakEVENT_WORD) out->wordPending = true;
        if (e->type != espeakEVENT_PHONEME) continue;
        if (out->wordPending) out->words.push_back(e->sample);
        out->wordPending = false;
        // eSpeak's phoneme names: a vowel's begins with one of these.
        if (e->id.string[0] && std::strchr("aeiouAEIOUV03@", e->id.string[0])) out->vowels.push_back(e->sample);
    }
    return 0;
}

// text in the voice ("en+m3": a variant; "en" is British) at wpm words a minute and pitch 0..100.
Spoken say(const std::string &text, const std::string &voice, int wpm, int pitch = 50) {
    static std::mutex lock;
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                                        espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_DONT_EXIT);
        espeak_SetSynthCallback(collect);
        return r;
    }();
    const std::lock_guard<std::mutex> hold(lock);
    Spoken s;
    if (rate <= 0 || espeak_SetVoiceByName(voice.c_str()) != EE_OK) return s;
    s.rate = uint32_t(rate);
    espeak_SetParameter(espeakRATE, wpm, 0);
    espeak_SetParameter(espeakPITCH, pitch, 0);
    espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &s);
    return s;
}

// head up to its word `word`, gap seconds of quiet, then tail from its word
// `word` on: a speaker who changes pace or stops to think in mid-sentence.
Spoken spliced(const Spoken &head, const Spoken &tail, size_t word, double gap) {
    Spoken s = head;
    if (word == 0 || word >= head.words.size() || word >= tail.words.size()) return s;
    const int64_t cut = head.words[word], from = tail.words[word], shift = cut + int64_t(gap * s.rate) - from;
    s.samples.resize(size_t(cut));
    s.samples.resize(size_t(cut + int64_t(gap * s.rate)), 0);
    s.samples.insert(s.samples.end(), tail.samples.begin() + from, tail.samples.end());
    std::erase_if(s.vowels, [&](int64_t v) { return v >= cut; });
    for (int64_t v : tail.vowels)
        if (v >= from) s.vowels.push_back(v + shift);
    return s;
}

// s at another sample rate.
Spoken resampled(const Spoken &s, uint32_t rate) {
    if (rate == s.rate) return s;
    std::vector<float> in(s.samples.begin(), s.samples.end()), out;
    TResampler r(s.rate, rate);
    r.Push(in.data(), in.size(), out);
    r.Finish(out);
    Spoken t;
    t.rate = rate;
    for (float v : out) t.samples.push_back(int16_t(std::clamp(std::lround(v), -32768L, 32767L)));
    for (int64_t v : s.vowels) t.vowels.push_back(v * rate / s.rate);
    return t;
}

// lead seconds of quiet before the speech and noise of rms on all, as a
// microphone would give.
Spoken recorded(Spoken s, double lead, double rms, unsigned seed) {
    const auto at = int64_t(lead * s.rate);
    s.samples.insert(s.samples.begin(), size_t(at), 0);
    for (int64_t &v : s.vowels) v += at;
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, rms);
    for (int16_t &v : s.samples) v = int16_t(std::clamp(v + noise(rng), -32768.0, 32767.0));
    return s;
}

TTakeComparison compare(const Spoken &sentence, const Spoken &take) {
    return CompareTake(sentence.samples.data(), sentence.samples.size(), sentence.rate, take.samples.data(),
                       take.samples.size(), take.rate);
}

// Frames of 10 ms as the pitch track counts them: rate / 100 samples.
double frameSeconds(const Spoken &s) { return double(s.rate / 100) / s.rate; }

// Where the path puts the middle of take frame j in the sentence, in frames.
double sentenceFrameOf(const TTakeComparison &c, int32_t j) {
    int32_t lo = -1, hi = -1;
    for (const auto &[si, tj] : c.Path)
        if (tj == j) {
            if (lo < 0) lo = si;
            hi = si;
        }
    return (lo + hi) / 2.0 + 0.5;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

TEST(CompareTake, PathMapsSyllablesOfASlowerTakeOntoTheSentence) {
    // The take is the sentence's voice at 80 % of its speed (140 words a minute
    // against 175); from word `word` on it may go on at tailWpm after a pause.
    // Rates: 0 keeps eSpeak NG's 22050 Hz, whose frames of 220 samples fall
    // short of 10 ms.
    const struct {
        const char *text, *voice;
        double sentenceLead, takeLead; // seconds of quiet before the speech
        size_t word;
        int tailWpm;
        double pause;
        uint32_t sentenceRate, takeRate;
    } cases[] = {
        {"The weather was cold, so we stayed at home and read a book.", "en-us", 0.0, 0.0, 0, 0, 0, 0, 0},
        {"Could you tell me the way to the railway station, please?", "en", 0.4, 0.1, 0, 0, 0, 44100, 16000},
        {"She sells sea shells by the sea shore every summer.", "en-gb-x-rp", 0.2, 0.6, 5, 140, 0.7, 0, 48000},
        {"I would like two tickets for the evening show on Friday.", "en-us+f3", 1.0, 0.3, 6, 220, 0.0, 16000, 0},
        {"My brother has lived in this city for almost ten years.", "en", 0.1, 0.2, 4, 110, 0.4, 0, 0},
        // Over 30 s: frames of the wrong length would drift past the limit.
        {"When we arrived at the station the train had already left, so we sat down in the small cafe "
         "across the road and waited for the next one. The owner brought us tea and a plate of warm bread, "
         "and told us that the line had been closed for two days last winter because of the snow. "
         "By the time the next train came, it was dark outside and the town was quiet. "
         "We found two seats by the window and watched the lights of the villages pass by until we fell asleep.",
         "en-us", 0.3, 0.2, 0, 0, 0, 16000, 0},
    };
    std::vector<double> all;
    for (const auto &c : cases) {
        const Spoken spoken = say(c.text, c.voice, 175), slow = say(c.text, c.voice, 140);
        const Spoken sentence =
            recorded(resampled(spoken, c.sentenceRate ? c.sentenceRate : spoken.rate), c.sentenceLead, 30, 1);
        const Spoken paced = c.word ? spliced(slow, say(c.text, c.voice, c.tailWpm), c.word, c.pause) : slow;
        const Spoken take = recorded(resampled(paced, c.takeRate ? c.takeRate : slow.rate), c.takeLead, 60, 2);
        ASSERT_FALSE(sentence.samples.empty()) << c.voice;
        ASSERT_EQ(sentence.vowels.size(), take.vowels.size()) << c.text;
        ASSERT_GE(sentence.vowels.size(), 10u);
        const TTakeComparison cmp = compare(sentence, take);

        const auto frames = [](const Spoken &s) { return int32_t(s.samples.size() / (s.rate / 100)); };
        ASSERT_FALSE(cmp.Path.empty());
        EXPECT_EQ(cmp.Path.front(), std::make_pair(0, 0));
        EXPECT_EQ(cmp.Path.back(), std::make_pair(frames(sentence) - 1, frames(take) - 1));
        for (size_t k = 1; k < cmp.Path.size(); ++k) {
            const int di = cmp.Path[k].first - cmp.Path[k - 1].first, dj = cmp.Path[k].second - cmp.Path[k - 1].second;
            ASSERT_TRUE(di >= 0 && dj >= 0 && di <= 1 && dj <= 1 && di + dj > 0) << c.text << " step " << k;
        }

        std::vector<double> errors;
        for (size_t v = 0; v < take.vowels.size(); ++v) {
            const double takeFrame = double(take.vowels[v]) / take.rate / frameSeconds(take);
            const auto j = int32_t(takeFrame);
            // Within its frame the onset lies off the frame's middle by the same time in both.
            const double mapped = (sentenceFrameOf(cmp, j) + (takeFrame - (j + 0.5))) * frameSeconds(sentence);
            errors.push_back(std::abs(mapped - double(sentence.vowels[v]) / sentence.rate) * 1000);
        }
        const double worst = *std::max_element(errors.begin(), errors.end());
        std::printf("%-62.62s %-11s %5u > %5u Hz, syllables %2zu, error ms: median %5.1f max %5.1f\n", c.text, c.voice,
                    take.rate, sentence.rate, errors.size(), median(errors), worst);
        EXPECT_LE(worst, 60) << c.text;
        all.insert(all.end(), errors.begin(), errors.end());
    }
    std::printf("all %zu syllables: median %.1f ms, max %.1f ms\n", all.size(), median(all),
                *std::max_element(all.begin(), all.end()));
}

TEST(CompareTake, NothingToAlignGivesNoPath) {
    const std::vector<int16_t> quiet(16000, 0), tiny(100, 0);
    const struct {
        const std::vector<int16_t> &sentence, &take;
        uint32_t rate;
        bool path;
    } cases[] = {
        {quiet, tiny, 16000, false}, // the take is shorter than a frame
        {tiny, quiet, 16000, false},
        {quiet, quiet, 0, false},    // no rate
        {quiet, quiet, 44100, true}, // silence on both: straight, but whole
    };
    for (const auto &c : cases) {
        const TTakeComparison cmp =
            CompareTake(c.sentence.data(), c.sentence.size(), c.rate, c.take.data(), c.take.size(), c.rate);
        EXPECT_EQ(!cmp.Path.empty(), c.path) << c.sentence.size() << " " << c.take.size() << " " << c.rate;
        if (c.path) {
            EXPECT_EQ(cmp.Path.back(), std::make_pair(int32_t(c.sentence.size() / (c.rate / 100)) - 1,
                                                      int32_t(c.take.size() / (c.rate / 100)) - 1));
        }
        EXPECT_FALSE(cmp.Similarity.has_value());
    }
}

// Whether the score ranks takes: for every sentence read by one voice, a take of
// it by another voice must score better than a take of any other sentence by any
// voice, the sentence's own included. The share of pairs ranked right decides
// whether a figure is shown.
TEST(CompareTake, SimilarityIsShownOnlyIfItRanksTakes) {
    const char *texts[] = {
        "The weather was cold, so we stayed at home and read a book.",
        "Could you tell me the way to the railway station, please?",
        "She sells sea shells by the sea shore every summer.",
        "I would like two tickets for the evening show on Friday.",
        "My brother has lived in this city for almost ten years.",
        "Please put the milk back in the fridge after breakfast.",
        "We missed the last bus and had to walk all the way home.",
        "How much does it cost to send this letter to Japan?",
        "The children were playing in the garden when it started to rain.",
        "He forgot his keys again, so he waited outside for an hour.",
        "Turn left at the bank and the museum is on your right.",
        "Do you think it will be sunny tomorrow afternoon?",
    };
    const struct {
        const char *voice;
        int wpm, pitch;
    } voices[] = {{"en-us", 175, 50}, {"en+m3", 150, 35}, {"en-gb-scotland+f2", 190, 65}};
    constexpr size_t nt = std::size(texts), nv = std::size(voices);
    std::vector<TUtterance> takes; // text t by voice v at t * nv + v
    for (size_t t = 0; t < nt; ++t)
        for (size_t v = 0; v < nv; ++v) {
            const Spoken s =
                recorded(say(texts[t], voices[v].voice, voices[v].wpm, voices[v].pitch), 0.2, 40, unsigned(t * nv + v));
            ASSERT_FALSE(s.samples.empty()) << voices[v].voice;
            takes.push_back(AnalyseUtterance(s.samples.data(), s.samples.size(), s.rate));
        }
    int right = 0, total = 0;
    std::vector<double> same, other;
    for (size_t t = 0; t < nt; ++t)
        for (size_t v = 0; v < nv; ++v) {
            const TUtterance &sentence = takes[t * nv + v];
            std::vector<double> scores(takes.size());
            for (size_t k = 0; k < takes.size(); ++k)
                if (k != t * nv + v) scores[k] = CompareTake(sentence, takes[k]).Score;
            for (size_t w = 0; w < nv; ++w) {
                if (w == v) continue;
                same.push_back(scores[t * nv + w]);
                for (size_t k = 0; k < takes.size(); ++k) {
                    if (k / nv == t) continue;
                    right += scores[t * nv + w] < scores[k];
                    ++total;
                    other.push_back(scores[k]);
                }
            }
        }
    const double share = double(right) / total;
    const auto [sameLo, sameHi] = std::minmax_element(same.begin(), same.end());
    const auto [otherLo, otherHi] = std::minmax_element(other.begin(), other.end());
    std::printf("%zu sentences x %zu voices: %d of %d pairs ranked right (%.1f %%); "
                "scores (median, range): same sentence %.2f (%.2f..%.2f), another %.2f (%.2f..%.2f)\n",
                nt, nv, right, total, 100 * share, median(same), *sameLo, *sameHi, median(other), *otherLo, *otherHi);
    EXPECT_EQ(kSimilarityMeaningful, share >= 0.95);
    EXPECT_EQ(CompareTake(takes[0], takes[1]).Similarity.has_value(), kSimilarityMeaningful);
}
