// The take against the sentence: three lanes drawn from a cached picture. Top:
// the sentence's waveform and pitch; middle: the take's, in its own time; bottom:
// the take mapped onto the sentence's time (so that syllables line up) with both
// pitch contours. A click on a lane asks to play the sentence, the take, or both
// in turn. It draws what it is given and knows nothing of where it came from.
// GUI thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "comparemath.h"

namespace vorel::view {

struct TCompareData {
    std::vector<int16_t> sentence, take; // mono
    uint32_t sentenceRate = 16000, takeRate = 16000;
    // Pitch in Hz per frame of hopSeconds (0: unvoiced), of each.
    std::vector<float> sentencePitch, takePitch;
    double hopSeconds = 0.01;
    TWarpPath path; // frames of hopSeconds; empty: no alignment lane content
    int takeCount = 0; // takes kept of this sentence
    std::optional<double> similarity; // 0..1; none: no figure is shown
};

class TCompareView : public QWidget {
    Q_OBJECT
public:
    enum Lane { SentenceLane = 0, TakeLane = 1, AlignedLane = 2 };
    static constexpr int kLanes = 3;

    explicit TCompareView(QWidget *parent = nullptr);
    void SetData(TCompareData data);
    const QImage &Picture() const { return picture_; }

    // The lane under y in a view of `height` pixels (-1 outside).
    static int LaneAt(int y, int height);

signals:
    // SentenceLane: the sentence; TakeLane: the take; AlignedLane: both in turn.
    void PlayRequested(int lane);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void redraw();

    TCompareData data_;
    QImage picture_;
};

} // namespace vorel::view
