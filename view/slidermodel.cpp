#include "slidermodel.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vorel::view::slider {

namespace {

// a * b / c rounded to the nearest integer (halves away from zero), c > 0.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c)
{
    const int64_t p = a * b;
    return p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c);
}

int ClampWide(int64_t v, TRange r) { return int(std::clamp<int64_t>(v, r.min, r.max)); }

} // namespace

TRange NormaliseRange(int min, int max)
{
    if (min == INT_MAX)
        min = INT_MAX - 1;
    return {min, std::max(max, min + 1)};
}

int Clamp(int value, TRange r) { return std::clamp(value, r.min, r.max); }

int ValueAtPoint(int x, int trackLeft, int trackWidth, int thumbWidth, TRange r)
{
    const int64_t span = int64_t(trackWidth) - thumbWidth;
    if (span <= 0)
        return r.min;
    const int64_t offset = int64_t(x) - trackLeft - thumbWidth / 2;
    return ClampWide(MulDivRound(offset, int64_t(r.max) - r.min, span) + r.min, r);
}

int DragValue(int pressValue, int dx, int trackWidth, int thumbWidth, TRange r)
{
    const int64_t span = int64_t(trackWidth) - thumbWidth;
    if (span <= 0)
        return Clamp(pressValue, r);
    return ClampWide(pressValue + MulDivRound(dx, int64_t(r.max) - r.min, span), r);
}

int ThumbLeft(int value, int trackLeft, int trackWidth, int thumbWidth, TRange r)
{
    const int64_t span = std::max<int64_t>(int64_t(trackWidth) - thumbWidth, 0);
    const int64_t range = int64_t(r.max) - r.min;
    const int64_t offset = range > 0 ? MulDivRound(int64_t(Clamp(value, r)) - r.min, span, range) : 0;
    return trackLeft + int(offset);
}

int KeyValue(TKey key, int value, int lineSize, int pageSize, TRange r)
{
    const int64_t v = value;
    switch (key) {
    case TKey::PageUp:
        return ClampWide(v + pageSize, r);
    case TKey::PageDown:
        return ClampWide(v - pageSize, r);
    case TKey::Home:
        return r.min;
    case TKey::End:
        return r.max;
    case TKey::Increase:
        return value < r.max ? ClampWide(v + lineSize, r) : value;
    case TKey::Decrease:
        return value > r.min ? ClampWide(v - lineSize, r) : value;
    }
    return value;
}

} // namespace vorel::view::slider
