#include "widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace vorel::app {

TGauge::TGauge(QWidget *parent) : QWidget(parent) {}

void TGauge::SetMaxValue(int v) {
    max_ = std::max(v, 1);
    progress_ = std::clamp(progress_, 0, max_);
    update();
}

void TGauge::SetProgress(int v) {
    v = std::clamp(v, 0, max_);
    if (v == progress_)
        return;
    progress_ = v;
    update();
}

void TGauge::SetShowText(bool on) {
    showText_ = on;
    update();
}

int TGauge::BarWidth(int progress, int max, int width) {
    if (max <= 0 || width <= 0)
        return 0;
    const int64_t p = std::clamp(progress, 0, max);
    return static_cast<int>(p * width / max);
}

void TGauge::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QRect r = rect();
    if (!transparent_) {
        p.fillRect(r, QColor(255, 255, 255));
        p.setPen(QColor(160, 150, 131));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    const int w = BarWidth(progress_, max_, r.width() - 2);
    if (w > 0)
        p.fillRect(QRect(1, 1, w, r.height() - 2), bar_);
    if (showText_) {
        // Dark over the empty part, light over the bar, so it reads at every width.
        const QString text = QString::number(progress_ * 100 / std::max(max_, 1)) + "%";
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, text);
        p.setClipRect(QRect(1, 1, w, r.height() - 2));
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, text);
    }
}

TLogo::TLogo(QWidget *parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

void TLogo::paintEvent(QPaintEvent *) {
    QPainter p(this);
    static QSvgRenderer renderer(QStringLiteral(":/vorel/logo.svg"));
    renderer.render(&p, QRectF(rect()));
}

void TLogo::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick)
        OnClick();
}

} // namespace vorel::app
