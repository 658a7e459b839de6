#include "comparemath.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vorel::view {

std::vector<TPeak> WaveColumns(const int16_t *samples, size_t count, int64_t first, int64_t end, int columns) {
    std::vector<TPeak> out(size_t(std::max(columns, 0)));
    first = std::clamp<int64_t>(first, 0, int64_t(count));
    end = std::clamp<int64_t>(end, first, int64_t(count));
    const int64_t span = end - first;
    for (int x = 0; x < columns && span > 0; ++x) {
        // Integer bounds, so that neighbouring columns neither overlap nor leave a gap.
        const int64_t a = first + span * x / columns, b = first + span * (x + 1) / columns;
        if (a >= b) continue;
        const auto [lo, hi] = std::minmax_element(samples + a, samples + b);
        out[size_t(x)] = {*lo, *hi};
    }
    return out;
}

int PitchY(double hz, double loHz, double hiHz, int top, int height) {
    if (!(hz > 0) || loHz <= 0 || hiHz <= loHz || height <= 0) return -1;
    const double f = std::clamp(std::log(hz / loHz) / std::log(hiHz / loHz), 0.0, 1.0);
    return top + int(std::lround((1.0 - f) * (height - 1)));
}

namespace {
double voicedMedian(const std::vector<float> &pitch) {
    std::vector<float> v;
    std::copy_if(pitch.begin(), pitch.end(), std::back_inserter(v), [](float hz) { return hz > 0; });
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}
} // namespace

double RegisterRatio(const std::vector<float> &sentencePitch, const std::vector<float> &takePitch) {
    const double s = voicedMedian(sentencePitch), t = voicedMedian(takePitch);
    return s > 0 && t > 0 ? s / t : 1.0;
}

TWarpPath StraightPath(int32_t sentenceFrames, int32_t takeFrames) {
    const int32_t n = std::max(sentenceFrames, 1), m = std::max(takeFrames, 1);
    TWarpPath path;
    path.reserve(size_t(n + m));
    for (int32_t i = 0, j = 0;;) {
        path.push_back({i, j});
        if (i == n - 1 && j == m - 1) return path;
        // Step along the side that lags the diagonal.
        if (j == m - 1 || (i < n - 1 && int64_t(i + 1) * (m - 1) <= int64_t(j + 1) * (n - 1)))
            ++i;
        else
            ++j;
    }
}

std::vector<double> FrameMap(const TWarpPath &path, int64_t frames, bool takeToSentence) {
    std::vector<double> lo(size_t(std::max<int64_t>(frames, 0)), -1), hi(lo.size(), -1);
    double last = 0;
    for (const auto &[s, t] : path) {
        const int64_t from = takeToSentence ? t : s;
        const double to = takeToSentence ? s : t;
        last = std::max(last, to);
        if (from < 0 || from >= frames) continue;
        if (lo[size_t(from)] < 0) lo[size_t(from)] = to;
        hi[size_t(from)] = to;
    }
    std::vector<double> map(lo.size());
    for (size_t i = 0; i < map.size(); ++i) map[i] = lo[i] < 0 ? last : (lo[i] + hi[i]) / 2;
    return map;
}

double MapAt(const std::vector<double> &map, double frame) {
    if (map.empty()) return 0;
    if (!(frame > 0)) return map.front();
    const size_t i = size_t(frame);
    if (i + 1 >= map.size()) return map.back();
    const double f = frame - double(i);
    return map[i] * (1 - f) + map[i + 1] * f;
}

double MapTime(const std::vector<double> &map, double time) { return MapAt(map, time - 0.5) + 0.5; }

std::vector<TPeak> WarpedColumns(const int16_t *take, size_t count, uint32_t takeRate,
                                 const std::vector<double> &sentenceToTake, double hopSeconds,
                                 double sentenceSeconds, int columns) {
    std::vector<TPeak> out(size_t(std::max(columns, 0)));
    if (sentenceToTake.empty() || hopSeconds <= 0 || columns <= 0) return out;
    const double framesPerColumn = sentenceSeconds / hopSeconds / columns;
    const double samplesPerFrame = hopSeconds * takeRate;
    for (int x = 0; x < columns; ++x) {
        const double a = MapTime(sentenceToTake, x * framesPerColumn) * samplesPerFrame;
        const double b = MapTime(sentenceToTake, (x + 1) * framesPerColumn) * samplesPerFrame;
        const int64_t first = std::clamp<int64_t>(std::llround(a), 0, int64_t(count));
        // At least one sample: where the take lingers, a column still shows it.
        const int64_t end = std::clamp<int64_t>(std::max<int64_t>(std::llround(b), first + 1), 0, int64_t(count));
        if (first < end) {
            const auto [lo, hi] = std::minmax_element(take + first, take + end);
            out[size_t(x)] = {*lo, *hi};
        }
    }
    return out;
}

} // namespace vorel::view
