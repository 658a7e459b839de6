#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "guitest.h"
#include "view/mmoscope.h"

namespace vorel::view {
namespace {

using test::Foreground;
using test::Inactive;
using test::PixelAt;

class OscopeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ConfigureMainOscope(osc);
    }

    void ShowColumn(int x, int16_t v)
    {
        std::vector<int16_t> data(size_t(osc.Columns()), 0);
        data[size_t(x)] = v;
        osc.ShowData(data.data());
    }

    // First and last row of column x that are not background, or (-1, -1).
    std::pair<int, int> LitRows(int x) const
    {
        int first = -1, last = -1;
        for (int y = 0; y < osc.DrawHeight(); ++y)
            if (PixelAt(osc.Image(), x, y) != osc.Color()) {
                if (first < 0)
                    first = y;
                last = y;
            }
        return {first, last};
    }

    TMMOscope osc;
};

TEST_F(OscopeTest, LineLengthFollowsMagnitudeAndGain)
{
    struct Case {
        int gain;
        int16_t v;
        int top, bottom; // the middle line alone covers rows 29..30
    };
    const Case cases[] = {
        {0, 0, 29, 30},       {0, 16384, 15, 45},   {0, -16384, 15, 45}, {0, 32767, 0, 60},
        {0, -32768, 0, 60},   {-1, 32767, 3, 57},   {-8, 32767, 29, 30}, {32, 16384, 0, 60},
    };
    ASSERT_EQ(osc.DrawHeight(), 61);
    for (const Case &c : cases) {
        osc.SetGain(c.gain);
        ShowColumn(100, c.v);
        EXPECT_EQ(LitRows(100), std::make_pair(c.top, c.bottom)) << "gain " << c.gain << " v " << c.v;
        // The line is one piece in one colour.
        for (int y = c.top; y <= c.bottom; ++y)
            ASSERT_EQ(PixelAt(osc.Image(), 100, y), Foreground) << y;
    }
}

TEST_F(OscopeTest, GainOutsideItsRangeIsIgnored)
{
    osc.SetGain(-1);
    osc.SetGain(-9);
    osc.SetGain(33);
    EXPECT_EQ(osc.Gain(), -1);
}

TEST_F(OscopeTest, ZerosShowOnlyTheTwoRowMiddleLine)
{
    osc.ClearData();
    for (int x = 0; x < osc.Columns(); ++x)
        ASSERT_EQ(LitRows(x), std::make_pair(29, 30)) << x;
}

TEST_F(OscopeTest, HighlightedRangeColoursTraceAndMiddleLine)
{
    struct Case {
        int r1, r2;
        std::vector<int> foreground; // columns among 0, 9, 10, 20, 21, 608 drawn in F
    };
    const Case cases[] = {
        {10, 20, {10, 20}},
        {0, 609, {0, 9, 10, 20, 21, 608}},
        {-1, -1, {}},
        {21, 20, {}}, // first past last: nothing highlighted
        {20, 20, {20}},
    };
    std::vector<int16_t> data(609, 16384); // rows 15..45
    osc.ShowData(data.data());
    for (const Case &c : cases) {
        osc.SetActiveRange(c.r1, c.r2, true);
        for (int x : {0, 9, 10, 20, 21, 608}) {
            const bool fg = std::find(c.foreground.begin(), c.foreground.end(), x) != c.foreground.end();
            const TColor want = fg ? Foreground : Inactive;
            EXPECT_EQ(PixelAt(osc.Image(), x, 20), want) << c.r1 << ".." << c.r2 << " column " << x;
            EXPECT_EQ(PixelAt(osc.Image(), x, 29), want) << c.r1 << ".." << c.r2 << " column " << x;
        }
    }
}

TEST_F(OscopeTest, ActiveRangeClampsAndClearResetsIt)
{
    osc.SetActiveRange(-5, 10000, false);
    EXPECT_EQ(osc.ActiveFirst(), -1);
    EXPECT_EQ(osc.ActiveLast(), 609);
    osc.SetActiveRange(3, 4, false);
    osc.ClearData();
    EXPECT_EQ(osc.ActiveFirst(), 0);
    EXPECT_EQ(osc.ActiveLast(), 609);
}

TEST_F(OscopeTest, OverflowEventsFirePerColumnWhileDrawing)
{
    int pcm = 0, gain = 0;
    osc.OnPcmOverflow = [&](TMMOscope *s) {
        EXPECT_EQ(s, &osc);
        ++pcm;
    };
    osc.OnGainOverflow = [&](TMMOscope *) { ++gain; };
    std::vector<int16_t> data(609, 0);
    data[5] = 32767;
    data[6] = 32766;
    data[7] = 32767;
    osc.ShowData(data.data());
    EXPECT_EQ(pcm, 2);
    EXPECT_EQ(gain, 0);

    // Gain 32 (factor 5): 16384 reaches far below the last row.
    pcm = 0;
    data.assign(609, 0);
    data[1] = 16384;
    osc.SetGain(32);
    osc.ShowData(data.data());
    EXPECT_EQ(pcm, 0);
    EXPECT_EQ(gain, 1);
}

TEST_F(OscopeTest, PostPaintFollowsImmediateAndDeferredDrawingButNotScreenCopies)
{
    int posts = 0;
    osc.OnPostPaint = [&](TMMOscope *) { ++posts; };
    QCoreApplication::processEvents();
    posts = 0;

    osc.Repaint();
    EXPECT_EQ(posts, 1);
    std::vector<int16_t> data(609, 100);
    osc.ShowData(data.data());
    EXPECT_EQ(posts, 2);

    // Deferred requests coalesce into one drawing.
    osc.Invalidate();
    osc.SetForegroundColor(0x123456);
    osc.SetGain(4);
    EXPECT_EQ(posts, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(posts, 3);

    // A screen update copies the image as it is, overlay included.
    osc.Canvas().MoveTo(3, 3);
    osc.Canvas().LineTo(40, 3);
    const QImage shown = osc.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(posts, 3);
    EXPECT_TRUE(test::Diff(shown, osc.Image()).empty());
}

TEST_F(OscopeTest, ShowDataNeedsAnEnabledVisibleControl)
{
    std::vector<int16_t> data(609, 1234);
    osc.setEnabled(false);
    osc.ShowData(data.data());
    EXPECT_EQ(osc.Data()[0], 0);
    osc.setEnabled(true);
    osc.hide();
    osc.ShowData(data.data());
    EXPECT_EQ(osc.Data()[0], 0);
    osc.show();
    osc.ShowData(data.data());
    EXPECT_EQ(osc.Data()[608], 1234);
}

TEST_F(OscopeTest, ResizeReallocatesClearsAndResetsTheRange)
{
    std::vector<int16_t> data(609, 1234);
    osc.ShowData(data.data());
    osc.SetActiveRange(5, 6, false);
    osc.resize(200, 2);
    EXPECT_EQ(osc.Columns(), 200);
    EXPECT_EQ(osc.DrawHeight(), 4);
    EXPECT_EQ(osc.Data(), std::vector<int16_t>(200, 0));
    EXPECT_EQ(osc.ActiveLast(), 200);
    EXPECT_EQ(osc.Image().size(), QSize(200, 4));

    // Showing a control at the size it had keeps what was set while it was hidden.
    TMMOscope fresh;
    fresh.SetActiveRange(5, 6, false);
    fresh.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(fresh.Columns(), 194);
    EXPECT_EQ(fresh.ActiveFirst(), 5);
    EXPECT_EQ(fresh.ActiveLast(), 6);
}

TEST_F(OscopeTest, CanvasLinesExcludeTheirEndAndNotXorTwiceRestores)
{
    std::vector<int16_t> data(609);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = int16_t(int(i) * 97 % 30000 - 15000);
    osc.ShowData(data.data());
    const QImage before = osc.Image();
    TOscopeCanvas &c = osc.Canvas();

    c.SetPenMode(TPenMode::Copy);
    c.SetPenWidth(1);
    c.SetPenColor(0x0000FF);
    c.MoveTo(50, 2);
    c.LineTo(50, 10);
    std::set<std::pair<int, int>> want;
    for (int y = 2; y < 10; ++y)
        want.emplace(50, y);
    EXPECT_EQ(test::Diff(before, osc.Image()), want);

    for (int width : {1, 2, 3}) {
        osc.Repaint();
        const QImage trace = osc.Image();
        c.SetPenMode(TPenMode::NotXor);
        c.SetPenWidth(width);
        c.SetPenColor(13158);
        for (int pass = 0; pass < 2; ++pass) {
            c.MoveTo(100, 2); // vertical, then a slanted stroke through the trace
            c.LineTo(100, 59);
            c.LineTo(300, 40);
            if (pass == 0) {
                const auto once = test::Diff(trace, osc.Image());
                EXPECT_GE(once.size(), size_t(57 * width)) << width;
            }
        }
        EXPECT_TRUE(test::Diff(trace, osc.Image()).empty()) << "pen width " << width;
    }
}

TEST_F(OscopeTest, MouseEventsPassThroughWithClientCoordinates)
{
    std::vector<std::string> log;
    auto text = [](const char *what, int b, int mods, int x, int y) {
        return std::string(what) + " " + std::to_string(b) + " " + std::to_string(mods) + " " +
               std::to_string(x) + "," + std::to_string(y);
    };
    osc.OnMouseDown = [&](TMMOscope *, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        log.push_back(text("down", b, m.toInt(), x, y));
    };
    osc.OnMouseUp = [&](TMMOscope *, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        log.push_back(text("up", b, m.toInt(), x, y));
    };
    osc.OnMouseMove = [&](TMMOscope *, Qt::MouseButtons b, Qt::KeyboardModifiers m, int x, int y) {
        log.push_back(text("move", b.toInt(), m.toInt(), x, y));
    };
    QTest::mouseMove(&osc, QPoint(7, 8));
    QTest::mousePress(&osc, Qt::RightButton, Qt::ControlModifier, QPoint(100, 20));
    QTest::mouseRelease(&osc, Qt::RightButton, Qt::ControlModifier, QPoint(101, 21));
    const std::vector<std::string> want = {
        text("move", 0, 0, 7, 8),
        text("down", Qt::RightButton, Qt::ControlModifier, 100, 20),
        text("up", Qt::RightButton, Qt::ControlModifier, 101, 21),
    };
    EXPECT_EQ(log, want);
}

} // namespace
} // namespace vorel::view
