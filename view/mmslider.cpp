#include "mmslider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace vorel::view {

namespace {

int EnlargedTick(const TSliderStyle &s) { return s.TickSize + 2; }

} // namespace

TSliderStyle ProgressSliderStyle()
{
    return {.GrooveSize = 6,
            .ThumbWidth = 10,
            .ThumbHeight = 20,
            .ThumbBorder = false,
            .ScaleTicks = 11,
            .ScaleEnlargedEvery = 5,
            .TickSize = 4,
            .TickColor = 0x004080, // RGB (128, 64, 0)
            .TicksConnected = false,
            .ScaleDistance = 1};
}

TSliderStyle SpeedSliderStyle() { return {}; }

TMMSlider::TMMSlider(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
}

void TMMSlider::SetMinValue(int v)
{
    if (v != range_.min)
        ApplyRange(v, range_.max);
}

void TMMSlider::SetMaxValue(int v)
{
    if (v != range_.max)
        ApplyRange(range_.min, v);
}

void TMMSlider::SetRange(int min, int max)
{
    if (min != range_.min || max != range_.max)
        ApplyRange(min, max);
}

void TMMSlider::ApplyRange(int min, int max)
{
    range_ = slider::NormaliseRange(min, max);
    position_ = slider::Clamp(position_, range_);
    update();
    if (OnChange)
        OnChange(this);
}

void TMMSlider::SetPosition(int v)
{
    if (v == position_)
        return;
    position_ = slider::Clamp(v, range_);
    update();
    if (OnChange)
        OnChange(this);
}

void TMMSlider::SetStyle(const TSliderStyle &style)
{
    style_ = style;
    update();
}

QRect TMMSlider::ThumbRect() const
{
    const int left = slider::ThumbLeft(position_, 0, width(), style_.ThumbWidth, range_);
    const int block =
        style_.ThumbHeight + (style_.ScaleVisible ? style_.ScaleDistance + EnlargedTick(style_) : 0);
    const int top = std::max((height() - block) / 2, 0);
    return QRect(left, top, style_.ThumbWidth, style_.ThumbHeight);
}

void TMMSlider::UserSet(int v)
{
    if (v == position_)
        return;
    position_ = v;
    update();
    if (OnChange)
        OnChange(this);
    Track();
}

void TMMSlider::Track()
{
    tracking_ = true;
    if (OnTrack)
        OnTrack(this);
}

void TMMSlider::EndTrack()
{
    if (!tracking_)
        return;
    tracking_ = false;
    if (OnTrackEnd)
        OnTrackEnd(this);
}

void TMMSlider::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint p = e->position().toPoint();
    if (ThumbRect().contains(p)) {
        dragging_ = true;
        pressX_ = p.x();
        pressValue_ = position_;
        Track();
        return;
    }
    const int v = slider::ValueAtPoint(p.x(), 0, width(), style_.ThumbWidth, range_);
    if (v != position_) {
        position_ = v;
        update();
        if (OnChange)
            OnChange(this);
    }
    Track();
}

void TMMSlider::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    if (dragging_ && (e->buttons() & Qt::LeftButton)) {
        UserSet(slider::DragValue(pressValue_, p.x() - pressX_, width(), style_.ThumbWidth, range_));
        return;
    }
    if (style_.HandCursor && ThumbRect().contains(p))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void TMMSlider::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    update();
    EndTrack();
}

void TMMSlider::keyPressEvent(QKeyEvent *e)
{
    slider::TKey key;
    switch (e->key()) {
    case Qt::Key_PageUp: key = slider::TKey::PageUp; break;
    case Qt::Key_PageDown: key = slider::TKey::PageDown; break;
    case Qt::Key_Home: key = slider::TKey::Home; break;
    case Qt::Key_End: key = slider::TKey::End; break;
    case Qt::Key_Right:
    case Qt::Key_Up: key = slider::TKey::Increase; break;
    case Qt::Key_Left:
    case Qt::Key_Down: key = slider::TKey::Decrease; break;
    default: QWidget::keyPressEvent(e); return;
    }
    UserSet(slider::KeyValue(key, position_, lineSize_, pageSize_, range_));
}

void TMMSlider::keyReleaseEvent(QKeyEvent *e)
{
    // Auto-repeat sends a release before every repeated press; only the real one
    // ends the tracking.
    if (!e->isAutoRepeat())
        EndTrack();
    QWidget::keyReleaseEvent(e);
}

void TMMSlider::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const TSliderStyle &s = style_;
    const QRect thumb = ThumbRect();
    const int cy = thumb.center().y();
    const int left = s.ThumbWidth / 2, right = width() - (s.ThumbWidth + 1) / 2;

    // Groove along the path of the thumb's centre.
    QRect groove(left, cy - s.GrooveSize / 2, std::max(right - left, 0), s.GrooveSize);
    p.fillRect(groove, ToQColor(s.GrooveBorderWidth > 0 ? s.GrooveBorderColor : s.GrooveColor));
    p.fillRect(groove.adjusted(s.GrooveBorderWidth, s.GrooveBorderWidth, -s.GrooveBorderWidth,
                               -s.GrooveBorderWidth),
               ToQColor(s.GrooveColor));

    if (s.ScaleVisible && s.ScaleTicks > 0) {
        const QColor tick = ToQColor(s.TickColor);
        const int y0 = thumb.bottom() + 1 + s.ScaleDistance;
        const int count = s.ScaleTicks;
        const int span = std::max(width() - s.ThumbWidth, 0);
        int firstX = 0, lastX = 0;
        for (int i = 0; i < count; ++i) {
            const int x = left + (count > 1 ? span * i / (count - 1) : 0);
            const bool big = s.ScaleEnlargedEvery > 0 && i % s.ScaleEnlargedEvery == 0;
            p.fillRect(QRect(x, y0, 1, big ? EnlargedTick(s) : s.TickSize), tick);
            if (i == 0)
                firstX = x;
            lastX = x;
        }
        if (s.TicksConnected)
            p.fillRect(QRect(firstX, y0, lastX - firstX + 1, 1), tick);
    }

    QColor thumbColour = ToQColor(s.ThumbColor);
    if (!isEnabled())
        thumbColour = thumbColour.lighter(140);
    p.fillRect(thumb, thumbColour);
    if (s.ThumbBorder) {
        p.setPen(thumbColour.darker(160));
        p.drawRect(thumb.adjusted(0, 0, -1, -1));
    }
}

} // namespace vorel::view
