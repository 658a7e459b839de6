// Takes made inside the tests: espeak-ng speech after a second of silence, with
// noise on everything, and where the speech in them is.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testfiles.h"

namespace vorel::audio::test {

constexpr uint32_t kRate = 16000;
constexpr int64_t kMs = kRate / 1000;

struct Take {
    std::vector<int16_t> samples;
    int64_t speechFirst = 0, speechEnd = 0; // where the clean speech is, in samples
};

inline std::vector<int16_t> speak(const std::string &text, const std::string &voice) {
    vorel::test::TempDir dir;
    const std::string wav = dir.file("s.wav"), raw = dir.file("s.raw");
    if (!vorel::test::mustRun("espeak-ng -v " + voice + " -w " + vorel::test::shellQuote(wav) + " " + vorel::test::shellQuote(text) + " && sox " +
                 vorel::test::shellQuote(wav) + " -r 16000 -c 1 -b 16 -e signed -t raw " + vorel::test::shellQuote(raw)))
        return {};
    const std::vector<uint8_t> b = vorel::test::readFile(raw);
    std::vector<int16_t> s(b.size() / 2);
    std::copy(b.begin(), b.begin() + long(s.size() * 2), reinterpret_cast<uint8_t *>(s.data()));
    return s;
}

// lead seconds of noise, the speech, tail seconds of noise; noise of noiseRms on all.
inline Take makeTake(const std::vector<int16_t> &speech, double noiseRms, double lead, double tail) {
    Take t;
    const int64_t at = int64_t(lead * kRate);
    t.samples.assign(size_t(at) + speech.size() + size_t(tail * kRate), 0);
    std::copy(speech.begin(), speech.end(), t.samples.begin() + at);
    int peak = 0;
    for (int16_t v : speech) peak = std::max(peak, std::abs(int(v)));
    // The speech runs from the first to the last 10 ms of it that reach 1/100 of
    // its peak (espeak-ng pads its output with silence of its own) and are at
    // least as loud as the noise: a fading ending buried in the noise is not heard.
    const size_t len = kRate / 100;
    auto heard = [&](size_t f) {
        double sum = 0;
        int top = 0;
        for (size_t i = f * len; i < (f + 1) * len; ++i) {
            sum += double(speech[i]) * speech[i];
            top = std::max(top, std::abs(int(speech[i])));
        }
        return top * 100 >= peak && std::sqrt(sum / double(len)) >= noiseRms;
    };
    const size_t frames = speech.size() / len;
    size_t first = 0, last = frames;
    while (first < frames && !heard(first)) ++first;
    while (last > first && !heard(last - 1)) --last;
    t.speechFirst = at + int64_t(first * len);
    t.speechEnd = at + int64_t(last * len);
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, noiseRms);
    for (auto &v : t.samples) v = int16_t(std::clamp(v + noise(rng), -32768.0, 32767.0));
    return t;
}

} // namespace vorel::audio::test
