// Small widgets of the main window: the flat progress gauge and the logo picture.
// GUI thread.
#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

namespace vorel::app {

// A flat gauge: a bar from the left, optionally with the percentage as text. A
// transparent gauge draws only its bar, so what lies under it stays readable.
class TGauge : public QWidget {
public:
    explicit TGauge(QWidget *parent = nullptr);
    void SetMaxValue(int v);
    int MaxValue() const { return max_; }
    void SetProgress(int v);
    int Progress() const { return progress_; }
    void SetShowText(bool on);
    bool ShowText() const { return showText_; }
    void SetTransparent(bool on) { transparent_ = on; update(); }
    void SetBarColor(QColor c) { bar_ = c; update(); }
    // Width in pixels of the bar for progress within [0, max] across width.
    static int BarWidth(int progress, int max, int width);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    int max_ = 100;
    int progress_ = 0;
    bool showText_ = false;
    bool transparent_ = false;
    QColor bar_{0, 0, 128};
};

// The logo: our own picture, drawn from its vector source; clicking it runs OnClick.
class TLogo : public QWidget {
public:
    explicit TLogo(QWidget *parent = nullptr);
    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
};

} // namespace vorel::app
