#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

#include "guitest.h"
#include "view/mmslider.h"

namespace vorel::view {
namespace {

// Records the notifications as letters: C change, T track, E track end; each
// change with the position it reported.
class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Configure(slider, ProgressSliderStyle(), 376, 28);
        slider.SetRange(0, 3660);
        slider.SetPageSize(10);
        log.clear();
    }

    void Configure(TMMSlider &s, const TSliderStyle &style, int w, int h)
    {
        s.SetStyle(style);
        s.resize(w, h);
        s.OnChange = [this](TMMSlider *x) { log += "C" + std::to_string(x->Position()); };
        s.OnTrack = [this](TMMSlider *) { log += "T"; };
        s.OnTrackEnd = [this](TMMSlider *) { log += "E"; };
        s.show();
        QCoreApplication::processEvents();
    }

    // A move with the left button held (QTest's move carries no buttons).
    static void DragMove(TMMSlider &s, QPoint p)
    {
        QMouseEvent e(QEvent::MouseMove, p, s.mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&s, &e);
    }

    TMMSlider slider;
    std::string log;
};

TEST_F(SliderTest, ProgramChangesFireOnlyOnChange)
{
    struct Step {
        int set;
        int wantPosition;
        const char *wantLog;
    };
    // Same value: nothing; beyond the maximum: stored as the maximum and reported,
    // also when the slider already stands there.
    const Step steps[] = {
        {100, 100, "C100"}, {100, 100, ""}, {5000, 3660, "C3660"}, {5000, 3660, "C3660"}, {3660, 3660, ""},
        {-3, 0, "C0"},
    };
    for (const Step &s : steps) {
        log.clear();
        slider.SetPosition(s.set);
        EXPECT_EQ(slider.Position(), s.wantPosition) << s.set;
        EXPECT_EQ(log, s.wantLog) << s.set;
    }
}

TEST_F(SliderTest, RangeChangesFireOneChangeAndKeepMaximumAboveMinimum)
{
    slider.SetPosition(2000);
    log.clear();
    slider.SetRange(0, 0);
    EXPECT_EQ(slider.MinValue(), 0);
    EXPECT_EQ(slider.MaxValue(), 1);
    EXPECT_EQ(log, "C1");

    log.clear();
    slider.SetRange(0, 60000);
    EXPECT_EQ(log, "C1"); // position unchanged, still reported
    log.clear();
    slider.SetMaxValue(60000);
    EXPECT_EQ(log, "");
    slider.SetMinValue(70000);
    EXPECT_EQ(slider.MaxValue(), 70001);
    EXPECT_EQ(slider.Position(), 70000);
    EXPECT_EQ(log, "C70000");
}

TEST_F(SliderTest, GrooveClickChangesThenTracksAndReleaseEndsOnce)
{
    // Thumb 10 wide over 376: x = 5 + k puts the value at k * 10.
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(5 + 183, 14));
    EXPECT_EQ(log, "C1830T");
    EXPECT_TRUE(slider.hasFocus());
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(5 + 183, 14));
    EXPECT_EQ(log, "C1830TE");

    // A press on the thumb changes nothing but still tracks; other buttons do nothing.
    log.clear();
    const QPoint thumb = slider.ThumbRect().center();
    QTest::mousePress(&slider, Qt::RightButton, Qt::NoModifier, thumb);
    QTest::mouseRelease(&slider, Qt::RightButton, Qt::NoModifier, thumb);
    EXPECT_EQ(log, "");
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, thumb);
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, thumb);
    EXPECT_EQ(log, "TE");
    EXPECT_EQ(slider.Position(), 1830);
}

TEST_F(SliderTest, ThumbDragFollowsThePointerAndEndsOnce)
{
    TMMSlider speed;
    Configure(speed, SpeedSliderStyle(), 137, 21);
    speed.SetRange(-40, 40);
    speed.SetPageSize(1);
    log.clear();

    // Thumb 6 wide: 131 pixels of travel for 80 steps.
    const QPoint start = speed.ThumbRect().center();
    QTest::mousePress(&speed, Qt::LeftButton, Qt::NoModifier, start);
    DragMove(speed, start + QPoint(1, 0)); // 80/131 rounds to 1
    DragMove(speed, start + QPoint(1, 5)); // same value: nothing
    DragMove(speed, start + QPoint(-500, 0));
    QTest::mouseRelease(&speed, Qt::LeftButton, Qt::NoModifier, start + QPoint(-500, 0));
    EXPECT_EQ(log, "TC1TC-40TE");
    QTest::mouseRelease(&speed, Qt::LeftButton, Qt::NoModifier, start);
    EXPECT_EQ(log, "TC1TC-40TE");

    // Without a thumb drag, moving with the button held changes nothing.
    log.clear();
    DragMove(speed, QPoint(100, 10));
    EXPECT_EQ(log, "");
}

TEST_F(SliderTest, KeysChangeTrackAndEndOnRelease)
{
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(5, 14)); // focus, value 0
    ASSERT_TRUE(slider.hasFocus());
    log.clear();
    struct Step {
        Qt::Key key;
        const char *wantLog;
    };
    const Step steps[] = {
        {Qt::Key_PageUp, "C10TE"},  {Qt::Key_End, "C3660TE"}, {Qt::Key_PageUp, ""},  // at the maximum
        {Qt::Key_Home, "C0TE"},     {Qt::Key_PageDown, ""},   {Qt::Key_Right, ""},   // line size 0
        {Qt::Key_Up, ""},
    };
    for (const Step &s : steps) {
        log.clear();
        QTest::keyClick(&slider, s.key);
        EXPECT_EQ(log, s.wantLog) << s.key;
    }
    slider.SetLineSize(3);
    log.clear();
    QTest::keyClick(&slider, Qt::Key_Up);
    QTest::keyClick(&slider, Qt::Key_Down);
    EXPECT_EQ(log, "C3TEC0TE");
}

TEST_F(SliderTest, PaintsGrooveThumbAndScale)
{
    slider.SetPosition(0);
    const QImage img = slider.grab().toImage();
    auto rgb = [&](int x, int y) { return img.pixelColor(x, y).rgb() & 0xFFFFFF; };
    const QRect thumb = slider.ThumbRect();
    ASSERT_TRUE(slider.rect().contains(thumb));
    EXPECT_EQ(rgb(thumb.center().x(), thumb.center().y()), 0xA09683u);
    EXPECT_EQ(rgb(200, thumb.center().y()), 0xF0F0F0u); // groove inside its border
    // Ticks at the thumb centre's stops; the middle one is enlarged and still fits.
    const int y0 = thumb.bottom() + 2;
    for (int y = y0; y < y0 + 6; ++y)
        EXPECT_EQ(rgb(5 + 183, y), 0x804000u) << y;
    EXPECT_LE(y0 + 6, slider.height());
    EXPECT_NE(rgb(5 + 183 + 1, y0), 0x804000u);
}

TEST_F(SliderTest, NeitherATabStopNorFocusedUntilPressed)
{
    EXPECT_EQ(slider.focusPolicy(), Qt::ClickFocus);
}

} // namespace
} // namespace vorel::view
