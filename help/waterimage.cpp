#include "waterimage.h"

#include <QMouseEvent>
#include <QPainter>

namespace vorel::help {

TWaterImage::TWaterImage(const QImage &picture, QWidget *parent)
    : QWidget(parent), picture_(picture.convertToFormat(QImage::Format_RGB32)), shown_(picture_),
      field_(picture_.width(), picture_.height()), random_(std::random_device{}()) {
    setFixedSize(picture_.size());
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    timer_.setInterval(TickMs);
    connect(&timer_, &QTimer::timeout, this, &TWaterImage::tick);
}

void TWaterImage::tick() {
    if (std::uniform_int_distribution<int>(0, RandomDropOneIn - 1)(random_) == 0) {
        const int x = std::uniform_int_distribution<int>(0, std::max(field_.width - 1, 0))(random_);
        const int y = std::uniform_int_distribution<int>(0, std::max(field_.height - 1, 0))(random_);
        Drop(field_, x, y, RandomStrengthBase + std::uniform_int_distribution<int>(0, RandomStrengthRange - 1)(random_));
    }
    RippleStep(field_, keep_);
    shown_ = RenderRipples(picture_, field_);
    update();
}

void TWaterImage::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.drawImage(0, 0, shown_);
}

void TWaterImage::mouseMoveEvent(QMouseEvent *event) {
    const QPoint at = event->position().toPoint();
    Drop(field_, at.x(), at.y(), (event->buttons() & Qt::LeftButton) ? HeldStrength : MoveStrength);
}

void TWaterImage::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    Drop(field_, at.x(), at.y(), HeldStrength);
    emit clicked();
}

// The water only moves while it can be seen.
void TWaterImage::showEvent(QShowEvent *) { timer_.start(); }
void TWaterImage::hideEvent(QHideEvent *) { timer_.stop(); }

} // namespace vorel::help
