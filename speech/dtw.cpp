#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "speechfeatures.h"

namespace vorel::speech {

namespace {

// Step into a cell: from the diagonal, from the row above, from the column left.
enum : uint8_t { FromDiag = 0, FromUp = 1, FromLeft = 2 };

// Two bits per cell, rows laid end to end.
class TSteps {
public:
    explicit TSteps(uint64_t cells) : bits_((cells + 3) / 4, 0) {}
    void Set(uint64_t i, uint8_t v) { bits_[i / 4] |= static_cast<uint8_t>(v << (2 * (i % 4))); }
    uint8_t Get(uint64_t i) const { return (bits_[i / 4] >> (2 * (i % 4))) & 3; }

private:
    std::vector<uint8_t> bits_;
};

void makeWhole(std::vector<TBand> &band, int64_t rows, int64_t cols) {
    band.resize(static_cast<size_t>(rows), TBand{0, cols});
    for (TBand &b : band) {
        b.Lo = std::clamp<int64_t>(b.Lo, 0, cols - 1);
        b.Hi = std::clamp<int64_t>(b.Hi, b.Lo + 1, cols);
    }
    band.front().Lo = 0;
    band.back().Hi = cols;
    for (size_t i = 1; i < band.size(); ++i)
        band[i].Lo = std::max(band[i].Lo, band[i - 1].Lo);
    for (size_t i = band.size() - 1; i-- > 0;)
        band[i].Hi = std::min(band[i].Hi, band[i + 1].Hi);
    for (size_t i = 0; i < band.size(); ++i)
        band[i].Hi = std::max(band[i].Hi, band[i].Lo + 1);
    // Each row must reach the next one: a row starts no later than the one before ends.
    for (size_t i = band.size() - 1; i-- > 0;)
        band[i].Hi = std::max(band[i].Hi, band[i + 1].Lo + 1);
}

} // namespace

TWarpPath WarpBanded(const TFeatureMatrix &a, const TFeatureMatrix &b, std::vector<TBand> band,
                     const std::function<bool(double)> &progress, const std::vector<float> &holdCap) {
    TWarpPath path;
    const int64_t rows = a.Frames(), cols = b.Frames();
    if (rows == 0 || cols == 0 || a.Dims != b.Dims)
        return path;
    makeWhole(band, rows, cols);
    std::vector<uint64_t> offset(static_cast<size_t>(rows) + 1, 0);
    for (int64_t i = 0; i < rows; ++i)
        offset[i + 1] = offset[i] + static_cast<uint64_t>(band[i].Hi - band[i].Lo);
    TSteps steps(offset.back());

    constexpr double Inf = std::numeric_limits<double>::infinity();
    std::vector<double> prev, cur;
    int64_t prevLo = 0, prevHi = 0;
    const size_t dims = a.Dims;
    for (int64_t i = 0; i < rows; ++i) {
        const int64_t lo = band[i].Lo, hi = band[i].Hi;
        cur.assign(static_cast<size_t>(hi - lo), Inf);
        const float *ra = a.Row(i);
        const double cap = static_cast<size_t>(i) < holdCap.size() ? holdCap[i] : Inf;
        for (int64_t j = lo; j < hi; ++j) {
            double d = FrameDistance(ra, b.Row(j), dims);
            if (!std::isfinite(d))
                d = 1e9; // a damaged frame: costly, but the path stays whole
            double best = Inf;
            uint8_t from = FromDiag;
            if (i == 0 && j == 0) {
                best = d;
            } else {
                if (i > 0 && j > 0 && j - 1 >= prevLo && j - 1 < prevHi)
                    best = prev[j - 1 - prevLo] + 2 * d;
                if (i > 0 && j >= prevLo && j < prevHi && prev[j - prevLo] + d < best) {
                    best = prev[j - prevLo] + d;
                    from = FromUp;
                }
                if (j > lo && cur[j - 1 - lo] + std::min(d, cap) < best) {
                    best = cur[j - 1 - lo] + std::min(d, cap);
                    from = FromLeft;
                }
            }
            cur[j - lo] = best;
            steps.Set(offset[i] + static_cast<uint64_t>(j - lo), from);
        }
        std::swap(prev, cur);
        prevLo = lo;
        prevHi = hi;
        if (progress && (i % 256 == 0) && !progress(static_cast<double>(i) / rows))
            return {};
    }

    path.First.assign(static_cast<size_t>(rows), 0);
    path.Last.assign(static_cast<size_t>(rows), 0);
    path.RowCost.assign(static_cast<size_t>(rows), 0);
    std::vector<int32_t> cells(static_cast<size_t>(rows), 0);
    int64_t i = rows - 1, j = cols - 1;
    double total = 0;
    int64_t count = 0;
    path.Last[i] = j;
    for (;;) {
        const float d = FrameDistance(a.Row(i), b.Row(j), dims);
        path.RowCost[i] += d;
        ++cells[i];
        total += d;
        ++count;
        path.First[i] = j;
        if (i == 0 && j == 0)
            break;
        const uint8_t from = steps.Get(offset[i] + static_cast<uint64_t>(j - band[i].Lo));
        if (from != FromLeft) {
            --i;
            if (from == FromDiag)
                --j;
            path.Last[i] = j;
        } else {
            --j;
        }
    }
    for (size_t r = 0; r < cells.size(); ++r)
        path.RowCost[r] /= static_cast<float>(std::max(1, cells[r]));
    path.MeanCost = total / static_cast<double>(count);
    if (progress)
        progress(1.0);
    return path;
}

} // namespace vorel::speech
