#include "ripple.h"

#include <algorithm>
#include <cmath>

namespace vorel::help {

RippleField::RippleField(int w, int h)
    : width(std::max(w, 0)), height(std::max(h, 0)),
      current(static_cast<size_t>(width) * height, 0.0f), previous(current) {}

void Drop(RippleField &field, int x, int y, int strength) {
    if (x < 0 || y < 0 || x >= field.width || y >= field.height)
        return;
    constexpr int r2 = DropRadius * DropRadius;
    for (int dy = -DropRadius; dy <= DropRadius; ++dy) {
        for (int dx = -DropRadius; dx <= DropRadius; ++dx) {
            const int px = x + dx, py = y + dy;
            const int d2 = dx * dx + dy * dy;
            // The border never moves (see RippleStep): a height put there would stay for good.
            if (d2 > r2 || px < 1 || py < 1 || px >= field.width - 1 || py >= field.height - 1)
                continue;
            // Cosine bump: full strength at the centre, zero at the rim.
            const float fall = 0.5f * (1.0f + std::cos(3.14159265f * std::sqrt(float(d2)) / (DropRadius + 1)));
            field.current[static_cast<size_t>(py) * field.width + px] += float(strength) * fall;
        }
    }
}

float RippleKeep(int damping, int stepMs) {
    return float(std::pow(10.0, -double(std::max(damping, 0)) * stepMs / 20000.0));
}

void RippleStep(RippleField &field, float keep) {
    const int w = field.width, h = field.height;
    keep = std::clamp(keep, 0.0f, 1.0f);
    std::vector<float> &cur = field.current;
    std::vector<float> &prev = field.previous;
    // The new heights overwrite the old ones in place: each point reads only its own
    // old value there, and the neighbours from the current buffer.
    for (int y = 1; y < h - 1; ++y) {
        const size_t row = static_cast<size_t>(y) * w;
        for (int x = 1; x < w - 1; ++x) {
            const size_t i = row + x;
            const float v = (cur[i - 1] + cur[i + 1] + cur[i - w] + cur[i + w]) * 0.5f - prev[i];
            // Below a thousandth the motion is invisible; zero keeps a calm field
            // exactly flat instead of crawling with denormals.
            prev[i] = std::fabs(v) < 1e-3f ? 0.0f : v * keep;
        }
    }
    std::swap(cur, prev);
}

QImage RenderRipples(const QImage &picture, const RippleField &field) {
    const QImage src = picture.convertToFormat(QImage::Format_RGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    const int w = std::min(field.width, src.width()), h = std::min(field.height, src.height());
    if (w != src.width() || h != src.height())
        out = src.copy(); // mismatched sizes: the plain picture where the field does not reach
    // A slope of 100 height units moves the view by one pixel: a fresh drop of 100
    // to 600 bends the picture by one to six pixels (four at most), as shallow
    // water would, and the text stays readable through it.
    constexpr float PixelsPerSlope = 1.0f / 100.0f;
    constexpr float LightPerSlope = 0.03f;
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        QRgb *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float sx = (x > 0 && x < w - 1) ? field.at(x - 1, y) - field.at(x + 1, y) : 0.0f;
            const float sy = (y > 0 && y < h - 1) ? field.at(x, y - 1) - field.at(x, y + 1) : 0.0f;
            if (sx == 0.0f && sy == 0.0f) {
                dst[x] = line[x];
                continue;
            }
            const int dx = std::clamp(int(std::lround(sx * PixelsPerSlope)), -MaxShift, MaxShift);
            const int dy = std::clamp(int(std::lround(sy * PixelsPerSlope)), -MaxShift, MaxShift);
            const int fx = std::clamp(x + dx, 0, src.width() - 1);
            const int fy = std::clamp(y + dy, 0, src.height() - 1);
            const QRgb p = reinterpret_cast<const QRgb *>(src.constScanLine(fy))[fx];
            const int light = int(std::lround(sx * LightPerSlope));
            dst[x] = qRgb(std::clamp(qRed(p) + light, 0, 255), std::clamp(qGreen(p) + light, 0, 255),
                          std::clamp(qBlue(p) + light, 0, 255));
        }
    }
    return out;
}

} // namespace vorel::help
