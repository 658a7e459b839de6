// Horizontal slider whose notifications separate program changes (OnChange only)
// from user changes (OnChange, OnTrack, and OnTrackEnd when the user lets go).
#pragma once

#include <QWidget>
#include <functional>

#include "slidermodel.h"
#include "viewcolor.h"

namespace vorel::view {

// Look of a slider: groove, thumb and the scale of ticks under the thumb. The
// defaults are the speed slider's; the progress slider differs in sizes and scale.
struct TSliderStyle {
    int GrooveSize = 3;               // groove height
    TColor GrooveColor = 0xF0F0F0;
    int GrooveBorderWidth = 1;
    TColor GrooveBorderColor = 0x8396A0; // RGB (160, 150, 131)
    int ThumbWidth = 6;
    int ThumbHeight = 13;
    TColor ThumbColor = 0x8396A0;
    bool ThumbBorder = true;
    bool ScaleVisible = true;
    int ScaleTicks = 3;               // evenly spread over the range, both ends included
    int ScaleEnlargedEvery = 1;       // every nth tick (counted from the first) is longer
    int TickSize = 3;
    TColor TickColor = 0x8396A0;
    bool TicksConnected = true;       // a line joins the ticks' roots
    int ScaleDistance = -1;           // gap between the thumb and the scale
    bool HandCursor = true;           // pointing hand over the thumb
};

TSliderStyle ProgressSliderStyle();
TSliderStyle SpeedSliderStyle();

class TMMSlider : public QWidget {
public:
    explicit TMMSlider(QWidget *parent = nullptr);

    int MinValue() const { return range_.min; }
    int MaxValue() const { return range_.max; }
    // A request that differs from the stored bound changes the range (max stays
    // above min), clamps the position and fires OnChange once.
    void SetMinValue(int v);
    void SetMaxValue(int v);
    void SetRange(int min, int max);

    int Position() const { return position_; }
    // A value that differs from the stored one (before clamping) is clamped,
    // stored and reported by OnChange; never OnTrack.
    void SetPosition(int v);

    void SetLineSize(int v) { lineSize_ = v; }
    int LineSize() const { return lineSize_; }
    void SetPageSize(int v) { pageSize_ = v; }
    int PageSize() const { return pageSize_; }

    void SetStyle(const TSliderStyle &style);
    const TSliderStyle &Style() const { return style_; }

    // The thumb in client coordinates.
    QRect ThumbRect() const;

    std::function<void(TMMSlider *)> OnChange, OnTrack, OnTrackEnd;

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void keyReleaseEvent(QKeyEvent *) override;

private:
    void ApplyRange(int min, int max);
    void UserSet(int v);
    void Track();
    void EndTrack();

    slider::TRange range_{0, 1};
    int position_ = 0;
    int lineSize_ = 0;
    int pageSize_ = 10;
    TSliderStyle style_;
    bool tracking_ = false;
    bool dragging_ = false;
    int pressX_ = 0;
    int pressValue_ = 0;
};

} // namespace vorel::view
