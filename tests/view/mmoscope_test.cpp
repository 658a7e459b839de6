#include <QCoreApplication>
#include <gtest/gtest.h>
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
    void SetUp() override { test::ConfigureMainOscope(osc); }

    void Show(const std::vector<int16_t> &data) { osc.ShowData(data.data()); }

    // First and last row of column x that are not background, or (-1, -1).
    std::pair<int, int> LitRows(int x) const
    {
        int first = -1, last = -1;
        for (int y = 0; y < osc.DrawHeight(); ++y)
            if (PixelAt(osc.Image(), x, y) != osc.Color()) {
                first = first < 0 ? y : first;
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
        {0, 0, 29, 30},     {0, 16384, 15, 45},  {0, -16384, 15, 45}, {0, 32767, 0, 60},  {0, -32768, 0, 60},
        {-1, 32767, 3, 57}, {-8, 32767, 29, 30}, {-9, 32767, 29, 30}, {32, 16384, 0, 60}, // -9 ignored
    };
    ASSERT_EQ(osc.DrawHeight(), 61);
    for (const Case &c : cases) {
        osc.SetGain(c.gain);
        std::vector<int16_t> data(609, 0);
        data[100] = c.v;
        Show(data);
        EXPECT_EQ(LitRows(100), std::make_pair(c.top, c.bottom)) << "gain " << c.gain << " v " << c.v;
        EXPECT_EQ(LitRows(101), std::make_pair(29, 30)); // zeros: only the middle line
        EXPECT_EQ(PixelAt(osc.Image(), 100, c.top), Foreground);
        EXPECT_EQ(PixelAt(osc.Image(), 100, c.bottom), Foreground);
    }
}

TEST_F(OscopeTest, HighlightedRangeColoursTraceAndMiddleLine)
{
    struct Case {
        int r1, r2;
        std::vector<int> foreground; // those of columns 0, 9, 10, 20, 21, 608 drawn in F
    };
    const Case cases[] = {
        {10, 20, {10, 20}}, {0, 609, {0, 9, 10, 20, 21, 608}}, {-1, -1, {}}, {21, 20, {}}, {20, 20, {20}},
    };
    Show(std::vector<int16_t>(609, 16384)); // rows 15..45
    for (const Case &c : cases) {
        osc.SetActiveRange(c.r1, c.r2, true);
        for (int x : {0, 9, 10, 20, 21, 608}) {
            const bool fg = std::find(c.foreground.begin(), c.foreground.end(), x) != c.foreground.end();
            for (int y : {20, 29})
                EXPECT_EQ(PixelAt(osc.Image(), x, y), fg ? Foreground : Inactive) << c.r1 << ".." << c.r2 << " @" << x;
        }
    }
    osc.SetActiveRange(-5, 10000, false);
    EXPECT_EQ(std::make_pair(osc.ActiveFirst(), osc.ActiveLast()), std::make_pair(-1, 609));
}

TEST_F(OscopeTest, OverflowEventsFirePerColumnWhileDrawing)
{
    int pcm = 0, gain = 0;
    osc.OnPcmOverflow = [&](TMMOscope *) { ++pcm; };
    osc.OnGainOverflow = [&](TMMOscope *) { ++gain; };
    std::vector<int16_t> data(609, 0);
    data[5] = data[7] = 32767;
    data[6] = 32766;
    Show(data);
    EXPECT_EQ(std::make_pair(pcm, gain), std::make_pair(2, 0));
    osc.SetGain(32); // factor 5: 16384 reaches far below the last row
    data.assign(609, 0);
    data[1] = 16384;
    Show(data);
    EXPECT_EQ(std::make_pair(pcm, gain), std::make_pair(2, 1));
}

TEST_F(OscopeTest, PostPaintFollowsEveryDrawingButNotScreenCopies)
{
    int posts = 0;
    osc.OnPostPaint = [&](TMMOscope *) { ++posts; };
    osc.Repaint();
    Show(std::vector<int16_t>(609, 100));
    EXPECT_EQ(posts, 2);
    osc.Invalidate(); // deferred requests coalesce into one drawing
    osc.SetForegroundColor(0x123456);
    osc.SetGain(4);
    EXPECT_EQ(posts, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(posts, 3);

    // The screen shows the image as it is, canvas drawing included.
    osc.Canvas().MoveTo(3, 3);
    osc.Canvas().LineTo(40, 3);
    const QImage shown = osc.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(posts, 3);
    EXPECT_TRUE(test::Diff(shown, osc.Image()).empty());
}

TEST_F(OscopeTest, DataNeedsAVisibleEnabledControlAndBoundsChangesClearIt)
{
    const std::vector<int16_t> data(609, 1234);
    osc.setEnabled(false);
    osc.ShowData(data.data());
    EXPECT_EQ(osc.Data()[0], 0);
    osc.setEnabled(true);
    osc.ShowData(data.data());
    EXPECT_EQ(osc.Data()[608], 1234);
    osc.resize(200, 2);
    EXPECT_EQ(osc.Data(), std::vector<int16_t>(200, 0));
    EXPECT_EQ(std::make_pair(osc.ActiveFirst(), osc.ActiveLast()), std::make_pair(0, 200));
    EXPECT_EQ(osc.Image().size(), QSize(200, 4));

    TMMOscope fresh; // sized while hidden, shown at that size: the range stays
    fresh.SetActiveRange(5, 6, false);
    fresh.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(fresh.ActiveFirst(), 5);
}

// Wide pens overlap themselves; each pixel must still be inverted once per line.
TEST_F(OscopeTest, WideNotXorLinesDrawnTwiceRestoreEveryPixel)
{
    Show(std::vector<int16_t>(609, 16384));
    TOscopeCanvas &c = osc.Canvas();
    c.SetPenMode(TPenMode::NotXor);
    for (int width : {2, 3}) {
        const QImage before = osc.Image();
        c.SetPenWidth(width);
        for (int pass = 0; pass < 2; ++pass) {
            c.MoveTo(100, 2); // vertical, then slanted through the trace
            c.LineTo(100, 59);
            c.LineTo(300, 40);
            if (pass == 0) {
                EXPECT_GE(test::Diff(before, osc.Image()).size(), size_t(57 * width));
            }
        }
        EXPECT_TRUE(test::Diff(before, osc.Image()).empty()) << "pen width " << width;
    }
}

} // namespace
} // namespace vorel::view
