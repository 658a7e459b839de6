// The comparison view on a real widget, offscreen: lanes drawn from the cached
// picture, clicks reporting what to play.
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "view/compareview.h"
#include "guitest.h"

using namespace vorel::view;

namespace {
// A second of a gliding tone, loud in its middle, with its pitch per 10 ms.
void glide(std::vector<int16_t> &s, std::vector<float> &pitch, double from, double to) {
    s.assign(16000, 0);
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double hz = from + (to - from) * double(i) / double(s.size());
        phase += 2 * M_PI * hz / 16000;
        s[i] = int16_t((i > 4000 && i < 12000 ? 12000 : 0) * std::sin(phase));
    }
    for (int f = 0; f < 100; ++f) pitch.push_back(f > 25 && f < 75 ? float(from + (to - from) * f / 100.0) : 0.f);
}
} // namespace

TEST(CompareView, DrawsEachLaneAndReportsClicks) {
    TCompareView view;
    view.resize(400, 300);
    TCompareData d;
    glide(d.sentence, d.sentencePitch, 120, 240);
    glide(d.take, d.takePitch, 150, 300);
    for (int i = 0; i < 100; ++i) d.path.push_back({i, i});
    d.takeCount = 2;
    view.SetData(d);
    const QImage &img = view.Picture();
    ASSERT_EQ(img.size(), QSize(400, 300));
    // The loud middle of each lane's waveform is drawn, the silent start is not.
    for (int lane = 0; lane < 3; ++lane) {
        const int mid = lane * 100 + 50;
        EXPECT_NE(img.pixel(200, mid - 10), img.pixel(60, mid - 10)) << lane;
    }
    QSignalSpy spy(&view, &TCompareView::PlayRequested);
    struct Click {
        int y, lane;
    } clicks[] = {{5, TCompareView::SentenceLane}, {150, TCompareView::TakeLane}, {299, TCompareView::AlignedLane}};
    for (const Click &c : clicks) QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(100, c.y));
    ASSERT_EQ(spy.count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(spy[i][0].toInt(), clicks[i].lane);
    EXPECT_EQ(TCompareView::LaneAt(-1, 300), -1);
    EXPECT_EQ(TCompareView::LaneAt(300, 300), -1);
}
