#include "mmoscope.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace vorel::view {

namespace {

QRgb ToRgb(TColor c) { return ToQColor(c).rgb(); }

} // namespace

// --- Canvas ---------------------------------------------------------------------

void TOscopeCanvas::MoveTo(int x, int y)
{
    x_ = x;
    y_ = y;
}

void TOscopeCanvas::LineTo(int x, int y)
{
    QImage &img = owner_.image_;
    const int w = img.width(), h = img.height();
    const QRgb pen = ToRgb(penColor_);
    // Pixels of the line's centre (Bresenham, end point excluded), each widened
    // into a square; collected first so that NotXor touches every pixel once.
    std::vector<QPoint> pixels;
    const int half = penWidth_ / 2;
    auto stamp = [&](int px, int py) {
        for (int dy = 0; dy < penWidth_; ++dy)
            for (int dx = 0; dx < penWidth_; ++dx) {
                const int qx = px - half + dx, qy = py - half + dy;
                if (qx >= 0 && qx < w && qy >= 0 && qy < h)
                    pixels.emplace_back(qx, qy);
            }
    };
    int cx = x_, cy = y_;
    const int adx = std::abs(x - cx), ady = -std::abs(y - cy);
    const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
    int err = adx + ady;
    while (cx != x || cy != y) {
        stamp(cx, cy);
        const int e2 = 2 * err;
        if (e2 >= ady) {
            err += ady;
            cx += sx;
        }
        if (e2 <= adx) {
            err += adx;
            cy += sy;
        }
    }
    x_ = x;
    y_ = y;
    if (pixels.empty())
        return;
    if (penWidth_ > 1) {
        auto less = [](const QPoint &a, const QPoint &b) { return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x(); };
        std::sort(pixels.begin(), pixels.end(), less);
        pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
    }
    for (const QPoint &p : pixels) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(p.y()));
        if (penMode_ == TPenMode::Copy)
            line[p.x()] = pen;
        else
            line[p.x()] = 0xFF000000u | (~(pen ^ line[p.x()]) & 0x00FFFFFFu);
    }
    owner_.update();
}

// --- Control --------------------------------------------------------------------

TMMOscope::TMMOscope(QWidget *parent) : QWidget(parent), canvas_(*this)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    resize(194, 90);
    Reallocate();
}

TMMOscope::~TMMOscope() = default;

void TMMOscope::SetForegroundColor(TColor c)
{
    if (c == foreground_)
        return;
    foreground_ = c;
    Invalidate();
}

void TMMOscope::SetInactiveColor(TColor c)
{
    if (c == inactive_)
        return;
    inactive_ = c;
    Invalidate();
}

void TMMOscope::SetColor(TColor c)
{
    if (c == background_)
        return;
    background_ = c;
    Invalidate();
}

void TMMOscope::SetGain(int gain)
{
    if (gain < -8 || gain > 32 || gain + 8 == gainFactor_)
        return;
    gainFactor_ = gain + 8;
    Invalidate();
}

void TMMOscope::SetActiveRange(int first, int last, bool repaint)
{
    auto clampBound = [this](int v) { return v < 0 ? -1 : std::min(v, columns_); };
    if (first != r1_)
        r1_ = clampBound(first);
    if (last != r2_)
        r2_ = clampBound(last);
    if (repaint)
        Repaint();
}

void TMMOscope::ClearData()
{
    std::fill(data_.begin(), data_.end(), int16_t(0));
    r1_ = 0;
    r2_ = columns_;
    Repaint();
}

void TMMOscope::ShowData(const int16_t *values)
{
    if (!values || !isEnabled() || !isVisible())
        return;
    std::copy(values, values + columns_, data_.begin());
    Repaint();
}

void TMMOscope::Repaint()
{
    // A post-paint handler that asks for a repaint would recurse; draw once more
    // later instead.
    if (rendering_) {
        Invalidate();
        return;
    }
    rendering_ = true;
    RenderTrace();
    if (OnPostPaint)
        OnPostPaint(this);
    rendering_ = false;
    update();
}

void TMMOscope::Invalidate()
{
    if (invalidatePending_)
        return;
    invalidatePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            invalidatePending_ = false;
            Repaint();
        },
        Qt::QueuedConnection);
}

void TMMOscope::Reallocate()
{
    columns_ = std::max(width(), 4);
    height_ = std::max(height(), 4);
    data_.assign(size_t(columns_), 0);
    r1_ = 0;
    r2_ = columns_;
    image_ = QImage(columns_, height_, QImage::Format_RGB32);
}

void TMMOscope::RenderTrace()
{
    const QRgb fg = ToRgb(foreground_), in = ToRgb(inactive_);
    image_.fill(ToRgb(background_));
    const int n = columns_, h = height_, m = h / 2;
    auto vline = [&](int x, int top, int bottom, QRgb c) { // rows top..bottom inclusive
        top = std::max(top, 0);
        bottom = std::min(bottom, h - 1);
        for (int y = top; y <= bottom; ++y)
            reinterpret_cast<QRgb *>(image_.scanLine(y))[x] = c;
    };
    // Middle line, rows m - 1 and m: I before R1, F over R1..R2, I after R2.
    auto hseg = [&](int from, int to, QRgb c) { // columns [from, to)
        from = std::max(from, 0);
        to = std::min(to, n);
        for (int x = from; x < to; ++x)
            vline(x, m - 1, m, c);
    };
    hseg(0, r1_, in);
    hseg(r1_, r2_ + 1, fg);
    hseg(r2_ + 1, n, in);

    QRgb colour = in;
    for (int x = 0; x < n; ++x) {
        const int64_t v = data_[size_t(x)];
        if (v >= 32767 && OnPcmOverflow)
            OnPcmOverflow(this);
        const int64_t y = ((v * gainFactor_) / 8 + 32767) * h / 65535;
        if (y > h && OnGainOverflow)
            OnGainOverflow(this);
        if (x > r2_)
            colour = in;
        else if (x >= r1_)
            colour = fg;
        const int64_t other = h - y - 1;
        const int64_t top = std::min(y, other), bottom = std::max(y, other);
        if (bottom >= 0 && top < h)
            vline(x, int(top), int(bottom), colour);
    }
}

void TMMOscope::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void TMMOscope::resizeEvent(QResizeEvent *)
{
    // A hidden widget gets its pending resize when shown, often at the size it has.
    if (std::max(width(), 4) == columns_ && std::max(height(), 4) == height_)
        return;
    Reallocate();
    Repaint();
}

void TMMOscope::showEvent(QShowEvent *)
{
    // While hidden the owner's overlay was skipped.
    Invalidate();
}

void TMMOscope::mousePressEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, e->button(), e->modifiers(), p.x(), p.y());
}

void TMMOscope::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, e->button(), e->modifiers(), p.x(), p.y());
}

void TMMOscope::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(this, e->buttons(), e->modifiers(), p.x(), p.y());
}

} // namespace vorel::view
