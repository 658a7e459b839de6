// Colours of the waveform display, stored as 0x00BBGGRR like the design's tables.
#pragma once

#include <QColor>
#include <cstdint>

namespace vorel::view {

using TColor = uint32_t;

inline QColor ToQColor(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

} // namespace vorel::view
