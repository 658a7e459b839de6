#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

#include "guitest.h"
#include "view/mmslider.h"

namespace vorel::view {
namespace {

// Notifications as letters: C and the position reported, T track, E track end.
class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Configure(slider, ProgressSliderStyle(), 376, 28, 0, 3660); // x = 5 + k: value 10 k
        Configure(speed, SpeedSliderStyle(), 137, 21, -40, 40);
        speed.move(0, 40);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        log.clear();
    }

    void Configure(TMMSlider &s, const TSliderStyle &style, int w, int h, int min, int max)
    {
        s.SetStyle(style);
        s.resize(w, h);
        s.SetRange(min, max);
        s.OnChange = [this](TMMSlider *x) { log += "C" + std::to_string(x->Position()); };
        s.OnTrack = [this](TMMSlider *) { log += "T"; };
        s.OnTrackEnd = [this](TMMSlider *) { log += "E"; };
    }

    // A move with the left button held (QTest's moves carry no buttons).
    static void DragMove(TMMSlider &s, QPoint p)
    {
        QMouseEvent e(QEvent::MouseMove, p, s.mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&s, &e);
    }

    QWidget window; // one window, so that the pressed slider gets the focus
    TMMSlider slider{&window}, speed{&window};
    std::string log;
};

TEST_F(SliderTest, ProgramChangesFireOnlyOnChange)
{
    // Same value: nothing; beyond the maximum: the maximum, reported also when the
    // slider already stands there.
    const std::pair<int, const char *> steps[] = {
        {100, "C100"}, {100, ""}, {5000, "C3660"}, {5000, "C3660"}, {3660, ""}, {-3, "C0"},
    };
    for (const auto &[set, want] : steps) {
        log.clear();
        slider.SetPosition(set);
        EXPECT_EQ(log, want) << set;
    }

    slider.SetPosition(2000);
    log.clear();
    slider.SetRange(0, 0);
    slider.SetMaxValue(1); // unchanged: nothing
    EXPECT_EQ(std::make_pair(slider.MinValue(), slider.MaxValue()), std::make_pair(0, 1));
    slider.SetMinValue(70000);
    EXPECT_EQ(slider.MaxValue(), 70001);
    EXPECT_EQ(log, "C1C70000");
}

TEST_F(SliderTest, GrooveClickChangesThenTracksAndReleaseEndsOnce)
{
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(5 + 183, 14));
    EXPECT_EQ(log, "C1830T");
    EXPECT_TRUE(slider.hasFocus());
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(5 + 183, 14));
    EXPECT_EQ(log, "C1830TE");

    // On the thumb a press changes nothing but tracks; other buttons do nothing.
    log.clear();
    const QPoint thumb = slider.ThumbRect().center();
    QTest::mouseClick(&slider, Qt::RightButton, Qt::NoModifier, thumb);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, thumb);
    EXPECT_EQ(log, "TE");
}

TEST_F(SliderTest, ThumbDragFollowsThePointerAndEndsOnce)
{
    const QPoint start = speed.ThumbRect().center(); // 131 pixels of travel for 80 steps
    QTest::mousePress(&speed, Qt::LeftButton, Qt::NoModifier, start);
    DragMove(speed, start + QPoint(1, 0));
    DragMove(speed, start + QPoint(1, 5)); // same value: nothing
    DragMove(speed, start + QPoint(-500, 0));
    QTest::mouseRelease(&speed, Qt::LeftButton, Qt::NoModifier, start + QPoint(-500, 0));
    QTest::mouseRelease(&speed, Qt::LeftButton, Qt::NoModifier, start);
    DragMove(speed, QPoint(100, 10)); // no drag in progress
    EXPECT_EQ(log, "TC1TC-40TE");
}

TEST_F(SliderTest, KeysChangeTrackAndEndOnRelease)
{
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(5, 14)); // focus, stays 0
    log.clear();
    // Line size 0: the arrows change nothing.
    const std::pair<Qt::Key, const char *> steps[] = {
        {Qt::Key_PageUp, "C10TE"}, {Qt::Key_End, "C3660TE"}, {Qt::Key_PageUp, ""}, {Qt::Key_Home, "C0TE"},
        {Qt::Key_PageDown, ""},    {Qt::Key_Right, ""},      {Qt::Key_Up, ""},
    };
    for (const auto &[key, want] : steps) {
        log.clear();
        QTest::keyClick(&slider, key);
        EXPECT_EQ(log, want) << key;
    }
    slider.SetLineSize(3);
    log.clear();
    QTest::keyClick(&slider, Qt::Key_Up);
    QTest::keyClick(&slider, Qt::Key_Down);
    EXPECT_EQ(log, "C3TEC0TE");
    EXPECT_EQ(slider.focusPolicy(), Qt::ClickFocus); // never reached by Tab
}

} // namespace
} // namespace vorel::view
