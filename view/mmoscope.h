// The waveform strip's control: a still picture of signed 16-bit values, one per
// pixel column, drawn as vertical lines mirrored about the middle row, with one
// highlighted column range. The picture lives in a QImage; the trace, the owner's
// overlay and the play line drawn from a timer all go into that image, and
// paintEvent only copies it to the screen.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "viewcolor.h"

namespace vorel::view {

// Copy stores the pen colour; NotXor makes each pixel NOT(pen XOR pixel), so the
// same line drawn twice restores every pixel.
enum class TPenMode { Copy, NotXor };

class TMMOscope;

// Pen drawing into the control's image, at any time (not only while painting).
// Lines exclude their end point. A pen w pixels wide widens every point of the line
// into the w x w square that ends at it (w = 2: the point and the pixels before
// it), so a two-pixel line along the bottom edge, one row below the image, shows.
class TOscopeCanvas {
public:
    explicit TOscopeCanvas(TMMOscope &owner) : owner_(owner) {}

    void SetPenColor(TColor c) { penColor_ = c; }
    TColor PenColor() const { return penColor_; }
    void SetPenWidth(int w) { penWidth_ = w < 1 ? 1 : w; }
    int PenWidth() const { return penWidth_; }
    void SetPenMode(TPenMode m) { penMode_ = m; }
    TPenMode PenMode() const { return penMode_; }

    void MoveTo(int x, int y);
    void LineTo(int x, int y);

private:
    TMMOscope &owner_;
    TColor penColor_ = 0;
    int penWidth_ = 1;
    TPenMode penMode_ = TPenMode::Copy;
    int x_ = 0, y_ = 0;
};

class TMMOscope : public QWidget {
public:
    explicit TMMOscope(QWidget *parent = nullptr);
    ~TMMOscope() override;


    // Setting a colour or the gain invalidates when the value changes.
    void SetForegroundColor(TColor c);
    TColor ForegroundColor() const { return foreground_; }
    void SetInactiveColor(TColor c);
    TColor InactiveColor() const { return inactive_; }
    void SetColor(TColor c);
    TColor Color() const { return background_; }
    // -8..32, scale (Gain + 8) / 8; other values are ignored.
    void SetGain(int gain);
    int Gain() const { return gainFactor_ - 8; }

    // Highlighted columns first..last inclusive; bounds clamp to -1..Columns().
    void SetActiveRange(int first, int last, bool repaint);
    int ActiveFirst() const { return r1_; }
    int ActiveLast() const { return r2_; }

    // N = max(width, 4) columns, H = max(height, 4) rows.
    int Columns() const { return columns_; }
    int DrawHeight() const { return height_; }

    // Zeroes the data, highlights everything and repaints at once.
    void ClearData();
    // Takes Columns() values and draws at once; does nothing while the control is
    // disabled or hidden.
    void ShowData(const int16_t *values);
    const std::vector<int16_t> &Data() const { return data_; }

    // Renders the trace into the image now (also while hidden, so the image is
    // always current), fires OnPostPaint, then schedules the copy to the screen.
    // Called from inside OnPostPaint it is deferred like Invalidate.
    void Repaint();
    // The same, later; several calls before the event loop runs render once.
    void Invalidate();

    const QImage &Image() const { return image_; }
    TOscopeCanvas &Canvas() { return canvas_; }

    std::function<void(TMMOscope *)> OnPostPaint, OnPcmOverflow, OnGainOverflow;
    std::function<void(TMMOscope *, Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y)> OnMouseDown,
        OnMouseUp;
    // Fires also with no button held.
    std::function<void(TMMOscope *, Qt::MouseButtons held, Qt::KeyboardModifiers mods, int x, int y)> OnMouseMove;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void showEvent(QShowEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;

private:
    friend class TOscopeCanvas;

    void Reallocate();
    void RenderTrace();

    TColor foreground_ = 16776960;
    TColor inactive_ = 8421376;
    TColor background_ = 0;
    int gainFactor_ = 8;
    int columns_ = 4;
    int height_ = 4;
    int r1_ = 0, r2_ = 4;
    std::vector<int16_t> data_;
    QImage image_;
    TOscopeCanvas canvas_;
    bool invalidatePending_ = false;
    bool rendering_ = false;
};

} // namespace vorel::view
