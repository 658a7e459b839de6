// A picture under rippling water: mouse moves and clicks drop disturbances on
// it, random drops fall by themselves, and a timer advances the water. GUI thread.
#pragma once

#include "ripple.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <random>

namespace vorel::help {

class TWaterImage : public QWidget {
    Q_OBJECT
public:
    static constexpr int TickMs = 50;
    static constexpr int Damping = 20; // decibels of energy in two seconds: drops fade by then
    static constexpr int MoveStrength = 100;
    static constexpr int HeldStrength = 250; // moving with the left button held, or clicking
    // A random drop falls on one tick in (800 ms / tick, rounded up) + 1.
    static constexpr int RandomDropOneIn = (800 + TickMs - 1) / TickMs + 1;
    static constexpr int RandomStrengthBase = 100;
    static constexpr int RandomStrengthRange = 500; // plus a value below this

    // The widget takes the picture's size.
    explicit TWaterImage(const QImage &picture, QWidget *parent = nullptr);

    const RippleField &field() const { return field_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *) override;
    void hideEvent(QHideEvent *) override;

private:
    void tick();

    QImage picture_;
    QImage shown_;
    RippleField field_;
    const float keep_ = RippleKeep(Damping, TickMs);
    QTimer timer_;
    std::mt19937 random_;
};

} // namespace vorel::help
