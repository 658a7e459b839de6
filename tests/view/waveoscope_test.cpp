#include <QCoreApplication>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "guitest.h"
#include "view/mmoscope.h"
#include "view/showsamples.h"
#include "view/waveoscope.h"

namespace vorel::view {
namespace {

using test::PixelAt;
using TPair = std::pair<int32_t, int32_t>;

class VectorBreakpoints : public TBreakpoints {
public:
    std::vector<int32_t> times;

    int32_t Count() const override { return int32_t(times.size()); }
    int32_t TimeAt(int32_t i) const override { return times.at(size_t(i)); }
    int32_t FindSentence(int32_t t, int32_t &start, int32_t &end) const override
    {
        for (size_t k = 0; k + 1 < times.size(); ++k)
            if (t >= times[k] && t < times[k + 1]) {
                start = times[k];
                end = times[k + 1];
                return int32_t(k);
            }
        start = t;
        end = times.back();
        return -1;
    }
};

constexpr TColor Purple = 8388736;
constexpr TColor Brown = TWaveOscope::PlayLineColour;

class WaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ConfigureMainOscope(osc);
        view.AttachOscope(&osc);
        osc.OnPostPaint = [this](TMMOscope *) { view.PaintOverlay(); };
        for (int i = 0; i < 2000; ++i)
            samples.push_back(std::to_string(i));
        view.SetSource(2000, &samples, &bps);
    }

    // Redraws and lets the deferred paint in the foreground colour run.
    void Redraw()
    {
        view.RedrawWave();
        QCoreApplication::processEvents();
    }

    // Which of the columns are highlighted on the middle line.
    std::vector<bool> Lit(std::initializer_list<int> xs) const
    {
        std::vector<bool> r;
        for (int x : xs)
            r.push_back(PixelAt(osc.Image(), x, 29) == test::Foreground);
        return r;
    }

    TPair Sel() const { return {view.SelStart, view.SelEnd}; }

    TMMOscope osc;
    TWaveOscope view{2};
    VectorBreakpoints bps;
    std::vector<std::string> samples;
};

TEST_F(WaveTest, BreakpointMarksAndPlayLine)
{
    struct Case {
        int32_t ms, viewOffset, markX; // -1: no mark
    };
    const Case cases[] = {{0, 0, -1}, {79, 0, 1}, {80, 0, 2}, {609 * 40, 0, 609}, {610 * 40, 0, -1}, {6039, 100, 50}};
    samples.assign(2000, "0");
    Redraw();
    const QImage plain = osc.Image();
    for (const Case &c : cases) {
        bps.times = {c.ms};
        view.ViewOffset = c.viewOffset;
        Redraw();
        auto diff = test::Diff(plain, osc.Image());
        std::erase_if(diff, [](const auto &p) { return p.second == 60; }); // bottom edge: the pen's colour
        std::set<std::pair<int, int>> want; // middle tick 2 x 5 ending at x, bottom tick 1 x 3
        for (int x = c.markX - 1; c.markX >= 0 && x <= std::min(c.markX, 608); ++x)
            for (int y = 27; y <= 31; ++y)
                want.emplace(x, y);
        for (int y = 57; c.markX >= 0 && c.markX < 609 && y <= 59; ++y)
            want.emplace(c.markX, y);
        EXPECT_EQ(diff, want) << c.ms << " ms at offset " << c.viewOffset;
        for (const auto &[x, y] : want)
            EXPECT_EQ(PixelAt(osc.Image(), x, y), y < 40 ? Purple : Brown) << x << "," << y;
    }

    // The play line: nothing at 0, gone when drawn twice, back after every paint.
    const QImage marked = osc.Image();
    view.DrawPlayLine(&osc, 0, Brown);
    EXPECT_TRUE(test::Diff(marked, osc.Image()).empty());
    view.DrawPlayLine(&osc, 100, Brown);
    EXPECT_EQ(test::Diff(marked, osc.Image()).size(), 57u); // rows 2 .. 58
    view.DrawPlayLine(&osc, 100, Brown);
    EXPECT_TRUE(test::Diff(marked, osc.Image()).empty());
    view.PlayColumn = 100;
    osc.Repaint();
    view.DrawPlayLine(&osc, 100, Brown);
    EXPECT_TRUE(test::Diff(marked, osc.Image()).empty());
}

TEST_F(WaveTest, SelectSentenceUnderAColumn)
{
    bps.times = {0, 4000, 8000, 20000};
    const int32_t cases[][5] = {
        // view offset, x, index, SelStart, SelEnd
        {50, 60, 1, 50, 150}, {0, 199, 1, 100, 200}, {0, 200, 2, 200, 500},
        {0, 550, -1, 550, 500}, // past the last breakpoint: the lookup's bounds all the same
    };
    for (const auto &c : cases) {
        view.ViewOffset = c[0];
        EXPECT_EQ(view.SelectSentenceAt(c[1]), c[2]) << c[1];
        EXPECT_EQ(Sel(), TPair(c[3], c[4])) << c[1];
        EXPECT_EQ(TPair(view.SelStartMs, view.CursorMs), TPair((c[3] + c[0]) * 40, (c[1] + c[0]) * 40));
    }
    view.ViewOffset = 0;
    view.SelectSentenceAt(150);
    EXPECT_EQ(Lit({98, 101, 198, 201}), std::vector<bool>({false, true, true, false}));
}

TEST_F(WaveTest, OneKeyClickAndDrag)
{
    view.ColumnCount = 1000;
    struct Case {
        int32_t viewOffset, from, to; // to == from: a plain click
        TPair want, wantSel;
    };
    const Case cases[] = {
        {0, 100, 100, {99, 1000}, {0, 0}}, {0, 0, 0, {0, 1000}, {0, 0}},     {0, 100, 101, {99, 102}, {99, 102}},
        {0, 100, 98, {98, 1000}, {0, 0}},  {0, 100, 97, {97, 100}, {97, 100}}, {0, 100, -5, {0, 100}, {-5, 100}},
        {400, 100, 100, {99, 600}, {0, 0}}, {0, 100, 1000, {99, 1000}, {0, 0}}, // past the end: ignored
    };
    for (const Case &c : cases) {
        view.ViewOffset = c.viewOffset;
        view.BeginDrag(&osc, c.from);
        if (c.to != c.from)
            view.DragTo(&osc, c.to);
        EXPECT_EQ(view.EndDrag(&osc), c.want) << c.from << " -> " << c.to;
        EXPECT_EQ(Sel(), c.wantSel) << c.from << " -> " << c.to;
    }
    view.ViewOffset = 0;
    view.BeginDrag(&osc, 100);
    view.DragTo(&osc, 101);
    EXPECT_EQ(Lit({99, 100, 102, 103}), std::vector<bool>({false, true, true, false}));
    view.BeginDrag(&osc, 1000); // outside the file: no new drag
    view.EndDrag(&osc);
    view.ApplySelection(view.SelStart, view.SelEnd); // what the main window does next
    osc.Repaint();
    EXPECT_EQ(Lit({98, 99, 102, 103}), std::vector<bool>({false, true, true, false}));
}

TEST_F(WaveTest, ScrollingMovesHalfAViewAndKeepsTheRangesTimes)
{
    view.SelStart = 400;
    view.SelEnd = 500;
    view.UpdateTimes();
    EXPECT_EQ(view.ScrollForward(), -304);
    EXPECT_EQ(TPair(view.ViewOffset, view.SelStart), TPair(304, 96));
    EXPECT_EQ(TPair(view.SelStartMs, view.SelEndMs), TPair(16000, 20000));
    EXPECT_EQ(osc.Data()[608], 912);
    for (int32_t offset : {2000 - 609, 2000}) { // one view or less left
        view.ViewOffset = offset;
        EXPECT_EQ(view.ScrollForward(), 0) << offset;
    }
    view.ViewOffset = 2000 - 610;
    EXPECT_EQ(view.ScrollForward(), -304);

    view.ViewOffset = 100;
    view.SelStart = 10;
    view.SelEnd = 20;
    view.UpdateTimes();
    EXPECT_EQ(view.ScrollBack(), 100);
    EXPECT_EQ(TPair(view.ViewOffset, view.SelStart), TPair(0, 110));
    EXPECT_EQ(TPair(view.SelStartMs, view.SelEndMs), TPair(4400, 4800));
    EXPECT_EQ(view.ScrollBack(), 0);
}

TEST_F(WaveTest, TwoKeyEdgesSnapToBreakpoints)
{
    view.ColumnCount = 400;
    bps.times = {0, 2000, 6000, 12000}; // columns 0, 50, 150, 300
    const int32_t cases[][6] = {
        // edge, SelStart, SelEnd, x, new SelStart, new SelEnd
        {0, 60, 100, 80, 80, 100},   {0, 60, 100, 200, 200, 300}, // right of the end: the next breakpoint
        {0, 60, 100, 350, 350, 350}, // none right of it: the last, but not left of the start
        {1, 60, 100, 80, 60, 80},    {1, 160, 200, 120, 50, 120}, // left of the start: the previous one
        {1, 160, 200, 40, 0, 40},    // none left of it: column 0
        {0, 60, 100, -1, 60, 100},   {1, 60, 100, 400, 60, 100}, {2, 60, 100, 80, 60, 100}, // ignored
    };
    for (const auto &c : cases) {
        view.SelStart = c[1];
        view.SelEnd = c[2];
        view.SetSelectionEdge(&osc, c[0], c[3]);
        EXPECT_EQ(Sel(), TPair(c[4], c[5])) << c[0] << " at " << c[3];
    }
    view.SelStart = 160;
    view.SelEnd = 200;
    view.SetSelectionEdge(&osc, 1, 120);
    EXPECT_EQ(TPair(view.CursorColumn, view.SelEndMs), TPair(50, 4800));
    EXPECT_EQ(Lit({48, 51, 120, 121}), std::vector<bool>({false, true, true, false})); // 49, 50: a mark
}

TEST_F(WaveTest, MissingControlListsOrBreakpointsDrawNothingAndFindNothing)
{
    TWaveOscope bare(0);
    bare.SetSource(100, nullptr, nullptr);
    EXPECT_EQ(bare.SelectSentenceAt(5), -1);
    EXPECT_EQ(TPair(bare.NextBreakpointColumn(5), bare.PrevBreakpointColumn(5)), TPair(-1, 0));
    EXPECT_EQ(bare.ScrollForward(), 0);
    bare.RedrawWave();
    bare.PaintOverlay();
    bare.DrawPlayLine(nullptr, 5, Brown);
    bare.AttachOscope(&osc);
    bare.RedrawWave(); // no samples: silence
    EXPECT_EQ(osc.Data(), std::vector<int16_t>(609, 0));
    bare.SetSource(2000, &samples, &bps); // no breakpoints; divisor 0 scrolls a whole view
    EXPECT_EQ(bare.SelectSentenceAt(5), -1);
    EXPECT_EQ(bare.ScrollForward(), -609);
}

TEST_F(WaveTest, ShowSamplesFillsTheWidthAndDrawsInactiveFirst)
{
    const std::vector<std::string> texts = {"100", "-200", "abc", "40000", "-40000", "", "12x"};
    struct Case {
        int64_t first;
        int32_t maxCount;
        std::vector<int16_t> head; // the first columns; the rest are 0
    };
    const Case cases[] = {
        {0, 609, {100, -200, 0, 32767, -32768}}, {1, 2, {-200}}, {-2, 609, {0, 0, 100, -200, 0, 32767, -32768}}, {7, 609, {}},
    };
    for (const Case &c : cases) {
        ShowSamples(&osc, texts, c.first, c.maxCount);
        std::vector<int16_t> want(609, 0);
        std::copy(c.head.begin(), c.head.end(), want.begin());
        EXPECT_EQ(osc.Data(), want) << c.first << " max " << c.maxCount;
    }
    ShowSamplesAt(&osc, samples, 79 * 40 + 39);
    EXPECT_EQ(osc.Data()[0], 79);

    EXPECT_EQ(Lit({0}), std::vector<bool>{false}); // at once all inactive
    QCoreApplication::processEvents();
    EXPECT_EQ(Lit({0}), std::vector<bool>{true}); // the next paint highlights again
}

} // namespace
} // namespace vorel::view
