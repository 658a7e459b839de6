#include "speechmaterial.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace vorel::test {

// sox -R: its dither is otherwise seeded anew on every run.
std::vector<float> readSound(const std::string &path, const TempDir &dir) {
    const std::string raw = dir.file("sound.raw");
    if (!mustRun("sox -R " + shellQuote(path) + " -t raw -r 16000 -c 1 -e signed -b 16 " + shellQuote(raw)))
        return {};
    const std::vector<uint8_t> bytes = readFile(raw);
    std::vector<float> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) / 32768.0f;
    return out;
}

namespace {

std::vector<double> levels10ms(const std::vector<float> &s) {
    std::vector<double> level;
    for (size_t i = 0; i + 160 <= s.size(); i += 160) {
        double e = 0;
        for (size_t k = i; k < i + 160; ++k)
            e += s[k] * s[k];
        level.push_back(10 * std::log10(e / 160 + 1e-12));
    }
    return level;
}

// The 10th percentile of a clip's 10 ms levels: its own background where it has
// quiet stretches, its speech where it has none.
double backgroundDb(std::vector<double> level) {
    if (level.empty())
        return -120;
    std::nth_element(level.begin(), level.begin() + static_cast<ptrdiff_t>(level.size() / 10), level.end());
    return level[level.size() / 10];
}

// Where a clip's speech begins (its sample): the first 50 ms of its 10 ms levels
// that stay 10 dB above the quieter of its own background and the room it is
// joined into. The LibriVox clips carry room tone at about -50 dB, so a threshold
// from the peak would fire on breaths. A clip without a quiet stretch (its sound
// begins at once, its 10th percentile is speech) begins where it stands above the
// room.
size_t onsetOf(const std::vector<double> &level, double clipDb, double roomDb) {
    const double threshold = std::min(clipDb, roomDb) + 10;
    for (size_t c = 0; c + 5 <= level.size(); ++c)
        if (std::all_of(level.begin() + static_cast<ptrdiff_t>(c), level.begin() + static_cast<ptrdiff_t>(c + 5),
                        [&](double v) { return v > threshold; }))
            return c * 160;
    return 0;
}

} // namespace

TMaterial join(const std::vector<std::vector<float>> &clips, const std::vector<std::string> &texts,
               const std::vector<int32_t> &pausesMs, unsigned seed) {
    // A continuous recording's background does not change between sentences: the
    // room tone around a clip is the clip's own background, gliding from one
    // clip's to the next across a pause. Clips recorded apart would otherwise
    // begin or end with a step in level that a real recording lacks. A clip
    // without a quiet stretch gets the default room.
    constexpr double DefaultRoomDb = -50.5, LoudestRoomDb = -30, QuietestRoomDb = -90;
    std::vector<double> room;
    std::vector<size_t> onset;
    for (const auto &c : clips) {
        const std::vector<double> level = levels10ms(c);
        const double bg = backgroundDb(level);
        room.push_back(bg > LoudestRoomDb ? DefaultRoomDb : std::max(bg, QuietestRoomDb));
        onset.push_back(onsetOf(level, bg, room.back()));
    }
    TMaterial m;
    std::mt19937 rng(seed);
    std::normal_distribution<float> hiss(0, 1);
    auto tone = [&](int32_t ms, double fromDb, double toDb) {
        const int32_t n = ms * 16;
        for (int32_t i = 0; i < n; ++i) {
            const double db = fromDb + (toDb - fromDb) * i / std::max(1, n - 1);
            m.sound.push_back(static_cast<float>(std::pow(10, db / 20)) * hiss(rng));
        }
    };
    const double firstRoomDb = room.empty() ? DefaultRoomDb : room.front();
    tone(400, firstRoomDb, firstRoomDb);
    for (size_t k = 0; k < clips.size(); ++k) {
        m.truthMs.push_back((static_cast<int64_t>(m.sound.size()) + static_cast<int64_t>(onset[k])) / 16);
        m.sound.insert(m.sound.end(), clips[k].begin(), clips[k].end());
        tone(pausesMs[k % pausesMs.size()], room[k], k + 1 < room.size() ? room[k + 1] : room[k]);
        m.text += (k ? " " : "") + texts[k];
    }
    return m;
}

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

void addNoise(std::vector<float> &s, const std::vector<float> &noise, double snrDb) {
    if (s.empty() || noise.empty())
        return;
    const std::vector<double> level = levels10ms(s);
    const double peak = *std::max_element(level.begin(), level.end());
    double speech = 0;
    size_t cells = 0;
    for (size_t c = 0; c < level.size(); ++c)
        if (level[c] > peak - 40) {
            for (size_t i = c * 160; i < c * 160 + 160; ++i)
                speech += s[i] * s[i];
            cells += 160;
        }
    double np = 0;
    for (const float v : noise)
        np += static_cast<double>(v) * v;
    np /= static_cast<double>(noise.size());
    const double gain = std::sqrt(speech / static_cast<double>(cells) / np / std::pow(10, snrDb / 10));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] += static_cast<float>(gain * noise[i % noise.size()]);
}

align::TAlignment alignSound(const TMaterial &m, const std::string &voice) {
    align::TRecordingAnalysis a(SpeechRate);
    a.Push(m.sound.data(), m.sound.size());
    a.Finish();
    return align::AlignSentences(align::SplitSentences(m.text, voice), voice, a);
}

TScore score(const align::TAlignment &a, const std::vector<int64_t> &truth, const char *what, bool verbose) {
    TScore s;
    s.total = static_cast<int>(truth.size());
    for (const align::TAlignedSentence &x : a.Sentences) {
        if (x.Index < 0 || x.Index >= s.total)
            continue;
        const int64_t err = x.StartMs - truth[x.Index];
        if (std::abs(err) <= 100)
            ++s.within;
        else if (verbose)
            std::printf("  %s: sentence %d off by %lld ms\n", what, x.Index + 1, static_cast<long long>(err));
    }
    if (verbose) {
        for (const align::TMismatch &m : a.Mismatches)
            std::printf("  %s: %s\n", what, align::MismatchText(m).c_str());
        std::printf("%s: %d of %d sentence starts within 100 ms (%.1f %%)\n", what, s.within, s.total,
                    100 * s.share());
    }
    return s;
}

} // namespace vorel::test
