// Shared helpers of the widget tests.
#pragma once

#include <QImage>
#include <set>
#include <utility>

#include "view/mmoscope.h"

namespace vorel::view::test {

// The waveform strip as the main window configures it, shown, 609 x 61.
void ConfigureMainOscope(TMMOscope &osc);

inline constexpr TColor Foreground = 16729156;
inline constexpr TColor Inactive = 16764622;

inline TColor PixelAt(const QImage &img, int x, int y)
{
    const QRgb p = img.pixel(x, y);
    return TColor(qRed(p)) | TColor(qGreen(p)) << 8 | TColor(qBlue(p)) << 16;
}

// Pixels (x, y) where the two images differ.
std::set<std::pair<int, int>> Diff(const QImage &a, const QImage &b);

} // namespace vorel::view::test
