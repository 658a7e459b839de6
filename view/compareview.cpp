#include "compareview.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace vorel::view {

namespace {

constexpr double kLowHz = 60, kHighHz = 500; // the speaking range of most voices
const QColor kBackground(250, 250, 245), kGrid(220, 220, 210), kText(90, 90, 90);
const QColor kSentenceWave(70, 110, 170), kTakeWave(200, 120, 40);
const QColor kSentencePitch(20, 50, 140), kTakePitch(190, 60, 20);

void drawColumns(QPainter &p, const std::vector<TPeak> &cols, int top, int height, const QColor &colour) {
    p.setPen(colour);
    const double mid = top + height / 2.0, scale = (height / 2.0 - 2) / 32768.0;
    for (size_t x = 0; x < cols.size(); ++x)
        p.drawLine(int(x), int(mid - cols[x].high * scale), int(x), int(mid - cols[x].low * scale));
}

// A contour of pitch per frame; xOfFrame gives the column of a frame's middle;
// unvoiced frames break the line.
template <typename XOf>
void drawPitch(QPainter &p, const std::vector<float> &pitch, XOf xOfFrame, int top, int height, const QColor &colour) {
    p.setPen(QPen(colour, 2));
    QPoint prev(-1, -1);
    for (size_t i = 0; i < pitch.size(); ++i) {
        const int y = PitchY(pitch[i], kLowHz, kHighHz, top, height);
        const QPoint pt(int(xOfFrame(double(i) + 0.5)), y);
        if (y >= 0 && prev.y() >= 0) p.drawLine(prev, pt);
        prev = y >= 0 ? pt : QPoint(-1, -1);
    }
}

} // namespace

TCompareView::TCompareView(QWidget *parent) : QWidget(parent) {
    setMinimumSize(200, 150);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int TCompareView::LaneAt(int y, int height) {
    if (y < 0 || y >= height || height <= 0) return -1;
    return std::min(kLanes - 1, y * kLanes / height);
}

void TCompareView::SetData(TCompareData data) {
    data_ = std::move(data);
    redraw();
    update();
}

void TCompareView::resizeEvent(QResizeEvent *) { redraw(); }

void TCompareView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void TCompareView::mousePressEvent(QMouseEvent *event) {
    const int lane = LaneAt(int(event->position().y()), height());
    if (lane >= 0) emit PlayRequested(lane);
}

void TCompareView::redraw() {
    const int w = std::max(width(), 1), h = std::max(height(), 1);
    picture_ = QImage(w, h, QImage::Format_RGB32);
    picture_.fill(kBackground);
    QPainter p(&picture_);
    auto laneTop = [&](int lane) { return lane * h / kLanes; };
    auto laneHeight = [&](int lane) { return laneTop(lane + 1) - laneTop(lane); };
    p.setPen(kGrid);
    for (int lane = 1; lane < kLanes; ++lane) p.drawLine(0, laneTop(lane), w, laneTop(lane));

    const auto &s = data_.sentence, &t = data_.take;
    const double sentenceSeconds = double(s.size()) / std::max<uint32_t>(data_.sentenceRate, 1);
    const double takeSeconds = double(t.size()) / std::max<uint32_t>(data_.takeRate, 1);
    const double hop = data_.hopSeconds;
    // Sentence: its samples and pitch over the full width.
    drawColumns(p, WaveColumns(s.data(), s.size(), 0, int64_t(s.size()), w), laneTop(0), laneHeight(0), kSentenceWave);
    const double sentencePx = sentenceSeconds > 0 ? w / sentenceSeconds : 0;
    drawPitch(p, data_.sentencePitch, [&](double f) { return f * hop * sentencePx; }, laneTop(0), laneHeight(0),
              kSentencePitch);
    // Take, in its own time.
    drawColumns(p, WaveColumns(t.data(), t.size(), 0, int64_t(t.size()), w), laneTop(1), laneHeight(1), kTakeWave);
    const double takePx = takeSeconds > 0 ? w / takeSeconds : 0;
    drawPitch(p, data_.takePitch, [&](double f) { return f * hop * takePx; }, laneTop(1), laneHeight(1), kTakePitch);
    // The take in the sentence's time, both contours over it.
    if (!data_.path.empty() && sentenceSeconds > 0 && hop > 0) {
        const int64_t sentenceFrames = int64_t(sentenceSeconds / hop) + 1;
        const int64_t takeFrames = int64_t(takeSeconds / hop) + 1;
        const std::vector<double> toTake = FrameMap(data_.path, sentenceFrames, false);
        const std::vector<double> toSentence = FrameMap(data_.path, takeFrames, true);
        drawColumns(p, WarpedColumns(t.data(), t.size(), data_.takeRate, toTake, hop, sentenceSeconds, w), laneTop(2),
                    laneHeight(2), kTakeWave);
        drawPitch(p, data_.sentencePitch, [&](double f) { return f * hop * sentencePx; }, laneTop(2), laneHeight(2),
                  kSentencePitch);
        std::vector<float> overlay = data_.takePitch;
        const double ratio = RegisterRatio(data_.sentencePitch, data_.takePitch);
        for (float &hz : overlay) hz = float(hz * ratio);
        drawPitch(p, overlay, [&](double f) { return MapTime(toSentence, f) * hop * sentencePx; }, laneTop(2),
                  laneHeight(2), kTakePitch);
    }
    p.setPen(kText);
    p.drawText(4, laneTop(0) + 14, QStringLiteral("原句"));
    QString takeLabel = QStringLiteral("跟读（共 %1 次）").arg(data_.takeCount);
    if (data_.similarity)
        takeLabel += QStringLiteral("  相似度 %1%").arg(qRound(*data_.similarity * 100));
    p.drawText(4, laneTop(1) + 14, takeLabel);
    p.drawText(4, laneTop(2) + 14, QStringLiteral("对齐"));
}

} // namespace vorel::view
