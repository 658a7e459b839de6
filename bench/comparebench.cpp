// vorel-comparebench: what follows the end of a take of a 10-s sentence: trimming
// the take, its pitch and MFCCs, the warping of take onto sentence, and drawing
// the comparison (the sentence's pitch and MFCCs are made while it plays, before
// the take, so they are measured apart). total_ms runs from the end of the take
// to the comparison drawn; total_without_alignment_ms is the same with a straight
// path. Prints one JSON object; times are the median of five runs, in ms. Runs
// offscreen (QT_QPA_PLATFORM=offscreen).
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "pitchtrack.h"
#include "speech/takecompare.h"
#include "takerecorder.h"
#include "view/compareview.h"

using namespace vorel;

namespace {

constexpr uint32_t kRate = 16000;

// Syllables of a voiced sound (gliding pitch) with pauses, on quiet noise.
std::vector<int16_t> speechLike(double seconds, double speed, unsigned seed) {
    std::vector<int16_t> s(size_t(seconds * kRate));
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 40);
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate * speed;
        const double syllable = std::fmod(t, 0.25);
        const double hz = 120 + 40 * std::sin(t * 1.3);
        phase += 2 * M_PI * hz / kRate;
        const double env = t > 1.0 && t < seconds - 1.0 && syllable < 0.18 ? std::sin(M_PI * syllable / 0.18) : 0;
        s[i] = int16_t(noise(rng) + env * (7000 * std::sin(phase) + 2500 * std::sin(2 * phase)));
    }
    return s;
}

template <typename F> double medianMs(F f) {
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[2];
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const std::vector<int16_t> sentence = speechLike(10.0, 1.0, 1);
    const std::vector<int16_t> take = speechLike(11.0, 0.9, 2); // a little slower
    const std::vector<float> sentencePitch = audio::PitchTrack(sentence.data(), sentence.size(), kRate);

    std::vector<int16_t> trimmed;
    const double trimMs = medianMs([&] {
        audio::TTakeRecorder r(kRate);
        r.Start(0, int64_t(take.size()));
        for (size_t i = 0; i < take.size(); i += 320) r.Feed(take.data() + i, std::min<size_t>(320, take.size() - i), int64_t(i));
        trimmed = r.Trimmed();
    });
    std::vector<float> takePitch;
    const double pitchMs = medianMs([&] { takePitch = audio::PitchTrack(trimmed.data(), trimmed.size(), kRate); });
    speech::TUtterance sentenceFeatures, takeFeatures;
    const double sentenceFeaturesMs =
        medianMs([&] { sentenceFeatures = speech::AnalyseUtterance(sentence.data(), sentence.size(), kRate); });
    const double takeFeaturesMs =
        medianMs([&] { takeFeatures = speech::AnalyseUtterance(trimmed.data(), trimmed.size(), kRate); });
    speech::TTakeComparison cmp;
    const double warpMs = medianMs([&] { cmp = speech::CompareTake(sentenceFeatures, takeFeatures); });

    view::TCompareData d;
    d.sentence = sentence;
    d.take = trimmed;
    d.sentencePitch = sentencePitch;
    d.takePitch = takePitch;
    const int32_t n = int32_t(sentencePitch.size()), m = int32_t(std::max<size_t>(takePitch.size(), 1));
    d.path = view::StraightPath(n, m);
    view::TCompareView widget;
    widget.resize(900, 360);
    const double straightDrawMs = medianMs([&] { widget.SetData(d); });
    d.path = cmp.Path;
    const double drawMs = medianMs([&] { widget.SetData(d); });
    std::printf("{\"sentence_s\": 10, \"take_s\": %.2f, \"record_feed_ms\": %.1f, \"take_pitch_ms\": %.1f, "
                "\"sentence_features_ms\": %.1f, \"take_features_ms\": %.1f, \"warp_ms\": %.1f, "
                "\"path_pairs\": %zu, \"draw_ms\": %.1f, \"total_ms\": %.1f, \"total_without_alignment_ms\": %.1f}\n",
                double(trimmed.size()) / kRate, trimMs, pitchMs, sentenceFeaturesMs, takeFeaturesMs, warpMs,
                cmp.Path.size(), drawMs, pitchMs + takeFeaturesMs + warpMs + drawMs, pitchMs + straightDrawMs);
    return 0;
}
