// The slider's value arithmetic, free of any widget. Intermediate products are
// 64-bit: the progress slider's range is a file's duration in milliseconds.
#pragma once

#include <cstdint>

namespace vorel::view::slider {

struct TRange {
    int min = 0;
    int max = 1;
};

// The range as set at run time: max becomes at least min + 1 (min is lowered by
// one at INT_MAX so that this stays representable).
TRange NormaliseRange(int min, int max);

int Clamp(int value, TRange r);

// Value under a press at x on a track [trackLeft, trackLeft + trackWidth) with a
// thumb thumbWidth wide: the thumb's centre lands on the point, rounded, clamped.
int ValueAtPoint(int x, int trackLeft, int trackWidth, int thumbWidth, TRange r);

// Value while the thumb is dragged dx pixels from where it was pressed at pressValue.
int DragValue(int pressValue, int dx, int trackWidth, int thumbWidth, TRange r);

// Left edge of the thumb for value.
int ThumbLeft(int value, int trackLeft, int trackWidth, int thumbWidth, TRange r);

enum class TKey { PageUp, PageDown, Home, End, Increase, Decrease };

// Value after key at value; lineSize for Increase/Decrease (arrows), pageSize for
// the page keys.
int KeyValue(TKey key, int value, int lineSize, int pageSize, TRange r);

} // namespace vorel::view::slider
