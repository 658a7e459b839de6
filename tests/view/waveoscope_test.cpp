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

using test::Foreground;
using test::Inactive;
using test::PixelAt;

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
constexpr TColor Brown = 13158;

class WaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ConfigureMainOscope(osc);
        view.AttachOscope(&osc);
        osc.OnPostPaint = [this](TMMOscope *) { view.PaintOverlay(); };
        SetSamples(2000, "0");
    }

    void SetSamples(size_t n, const std::string &text)
    {
        samples.assign(n, text);
        view.SetSource(int32_t(n), &samples, &bps);
    }

    // Redraws and lets the deferred paint with the foreground colour run.
    void Redraw()
    {
        view.RedrawWave();
        QCoreApplication::processEvents();
    }

    TMMOscope osc;
    TWaveOscope view{2};
    VectorBreakpoints bps;
    std::vector<std::string> samples;
};

TEST_F(WaveTest, ColumnsAndMilliseconds)
{
    EXPECT_EQ(TWaveOscope::MsToColumns(79), 1);
    EXPECT_EQ(TWaveOscope::MsToColumns(80), 2);
    EXPECT_EQ(TWaveOscope::MsToColumns(-79), -1);
    EXPECT_EQ(TWaveOscope::ColumnsToMs(609), 24360);
}

TEST_F(WaveTest, BreakpointMarks)
{
    struct Case {
        int32_t ms, viewOffset;
        int markX; // -1: no mark
    };
    const Case cases[] = {
        {0, 0, -1},          {79, 0, 1},           {80, 0, 2},          {609 * 40, 0, 609},
        {610 * 40, 0, -1},   {100 * 40, 100, -1},  {150 * 40 + 39, 100, 50},
    };
    bps.times.clear();
    view.ViewOffset = 0;
    Redraw();
    const QImage plain = osc.Image();
    for (const Case &c : cases) {
        bps.times = {c.ms};
        view.ViewOffset = c.viewOffset;
        Redraw();
        // Row 60 holds the bottom edge, drawn in whatever colour the pen has.
        auto diff = test::Diff(plain, osc.Image());
        std::erase_if(diff, [](const auto &p) { return p.second == 60; });
        std::set<std::pair<int, int>> want;
        if (c.markX >= 0) {
            for (int x : {c.markX - 1, c.markX})
                for (int y = 27; y <= 31; ++y)
                    if (x < 609)
                        want.emplace(x, y);
            if (c.markX < 609)
                for (int y = 57; y <= 59; ++y)
                    want.emplace(c.markX, y);
        }
        EXPECT_EQ(diff, want) << c.ms << " ms at offset " << c.viewOffset;
        for (const auto &[x, y] : want)
            EXPECT_EQ(PixelAt(osc.Image(), x, y), y < 40 ? Purple : Brown) << x << "," << y;
    }
}

TEST_F(WaveTest, MarksStopPastTheRightEdgeAndBottomEdgeTakesThePenColour)
{
    bps.times = {0, 4000, 30000, 8000}; // the walk stops at 30000 (past the edge)
    Redraw();
    EXPECT_EQ(PixelAt(osc.Image(), 100, 30), Purple);
    EXPECT_NE(PixelAt(osc.Image(), 200, 30), Purple);
    for (int x : {0, 300, 608})
        EXPECT_EQ(PixelAt(osc.Image(), x, 60), Brown) << x;
    EXPECT_EQ(osc.Canvas().PenMode(), TPenMode::NotXor);
}

TEST_F(WaveTest, PlayLineTogglesAndIsRedrawnAfterEveryPaint)
{
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::to_string(int(i) * 311 % 60000 - 30000);
    view.PlayColumn = 0;
    // The bottom edge takes the pen's colour: give it the play line's from the start.
    view.DrawPlayLine(&osc, 1, TWaveOscope::PlayLineColour);
    Redraw();
    const QImage trace = osc.Image();

    view.DrawPlayLine(&osc, 0, TWaveOscope::PlayLineColour);
    EXPECT_TRUE(test::Diff(trace, osc.Image()).empty());

    view.DrawPlayLine(&osc, 100, TWaveOscope::PlayLineColour);
    std::set<std::pair<int, int>> line;
    for (int y = 2; y < 59; ++y)
        line.emplace(100, y);
    EXPECT_EQ(test::Diff(trace, osc.Image()), line);
    view.DrawPlayLine(&osc, 100, TWaveOscope::PlayLineColour);
    EXPECT_TRUE(test::Diff(trace, osc.Image()).empty());

    // A paint with PlayColumn set shows the line; one more toggle erases it.
    view.PlayColumn = 100;
    osc.Repaint();
    EXPECT_EQ(test::Diff(trace, osc.Image()), line);
    view.DrawPlayLine(&osc, view.PlayColumn, TWaveOscope::PlayLineColour);
    EXPECT_TRUE(test::Diff(trace, osc.Image()).empty());
}

TEST_F(WaveTest, SelectSentenceUnderAColumn)
{
    SetSamples(2000, "16384"); // rows 15..45
    Redraw();
    bps.times = {0, 4000, 8000, 20000};
    struct Case {
        int32_t viewOffset, x, wantIndex, wantSelStart, wantSelEnd;
    };
    const Case cases[] = {
        {50, 60, 1, 50, 150},     // 4400 ms: 4000 .. 8000
        {0, 0, 0, 0, 100},
        {0, 199, 1, 100, 200},    // 7960 ms
        {0, 200, 2, 200, 500},    // 8000 ms belongs to the next sentence
        {0, 550, -1, 550, 500},   // past the last breakpoint: the lookup's bounds
    };
    for (const Case &c : cases) {
        view.ViewOffset = c.viewOffset;
        EXPECT_EQ(view.SelectSentenceAt(c.x), c.wantIndex) << c.x;
        EXPECT_EQ(view.SelStart, c.wantSelStart) << c.x;
        EXPECT_EQ(view.SelEnd, c.wantSelEnd) << c.x;
        EXPECT_EQ(view.CursorColumn, c.x);
        EXPECT_EQ(view.CursorMs, (c.x + c.viewOffset) * 40);
        EXPECT_EQ(view.SelStartMs, (c.wantSelStart + c.viewOffset) * 40);
        EXPECT_EQ(view.SelEndMs, (c.wantSelEnd + c.viewOffset) * 40);
    }
    // The repaint shows the sentence highlighted.
    view.ViewOffset = 0;
    view.SelectSentenceAt(150);
    EXPECT_EQ(PixelAt(osc.Image(), 99, 20), Inactive);
    EXPECT_EQ(PixelAt(osc.Image(), 100, 20), Foreground);
    EXPECT_EQ(PixelAt(osc.Image(), 200, 20), Foreground);
    EXPECT_EQ(PixelAt(osc.Image(), 201, 20), Inactive);
}

TEST_F(WaveTest, OneKeyClickAndDrag)
{
    SetSamples(1000, "0");
    struct Case {
        int32_t viewOffset, from, to; // to == from: a plain click
        std::pair<int32_t, int32_t> want;
        int32_t wantSelStart, wantSelEnd;
    };
    const Case cases[] = {
        {0, 100, 100, {99, 1000}, 0, 0},   {0, 0, 0, {0, 1000}, 0, 0},
        {0, 100, 101, {99, 102}, 99, 102}, {0, 100, 99, {99, 1000}, 0, 0},
        {0, 100, 98, {98, 1000}, 0, 0},    {0, 100, 97, {97, 100}, 97, 100},
        {0, 100, -5, {0, 100}, -5, 100},   {400, 100, 100, {99, 600}, 0, 0},
        {0, 100, 1000, {99, 1000}, 0, 0},  // a move past the file's end is ignored
    };
    for (const Case &c : cases) {
        view.ViewOffset = c.viewOffset;
        view.BeginDrag(&osc, c.from);
        EXPECT_TRUE(view.Dragging);
        if (c.to != c.from)
            view.DragTo(&osc, c.to);
        EXPECT_EQ(view.EndDrag(&osc), c.want) << c.from << " -> " << c.to;
        EXPECT_FALSE(view.Dragging);
        EXPECT_EQ(view.SelStart, c.wantSelStart) << c.from << " -> " << c.to;
        EXPECT_EQ(view.SelEnd, c.wantSelEnd) << c.from << " -> " << c.to;
    }
}

TEST_F(WaveTest, DragHighlightsTheStretchAndIgnoresColumnsOutsideTheFile)
{
    SetSamples(1000, "0");
    view.BeginDrag(&osc, 100);
    view.DragTo(&osc, 101);
    // While dragging, the anchor to one past the pointer.
    for (int x : {99, 100, 102, 103})
        EXPECT_EQ(PixelAt(osc.Image(), x, 29), x >= 100 && x <= 102 ? Foreground : Inactive) << x;
    view.EndDrag(&osc);
    // What the main window does next: highlight the returned stretch.
    view.ApplySelection(view.SelStart, view.SelEnd);
    osc.Repaint();
    for (int x : {98, 99, 102, 103})
        EXPECT_EQ(PixelAt(osc.Image(), x, 29), x >= 99 && x <= 102 ? Foreground : Inactive) << x;

    view.ViewOffset = 500;
    view.BeginDrag(&osc, 500); // column 1000: past the last of 1000 columns
    EXPECT_FALSE(view.Dragging);
    view.BeginDrag(&osc, -1);
    EXPECT_FALSE(view.Dragging);
    view.DragTo(&osc, 50);
    EXPECT_EQ(view.DragEnd, 102);
}

TEST_F(WaveTest, ScrollingMovesHalfAViewAndKeepsTheRangesTimes)
{
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::to_string(i);
    view.SelStart = 400;
    view.SelEnd = 500;
    view.CursorColumn = 410;
    view.UpdateTimes();
    EXPECT_EQ(view.ScrollForward(), -304);
    EXPECT_EQ(view.ViewOffset, 304);
    EXPECT_EQ(view.SelStart, 96);
    EXPECT_EQ(view.SelEnd, 196);
    EXPECT_EQ(view.CursorColumn, 106);
    EXPECT_EQ(view.SelStartMs, 16000);
    EXPECT_EQ(view.SelEndMs, 20000);
    EXPECT_EQ(view.CursorMs, 16400);
    EXPECT_EQ(osc.Data()[0], 304);
    EXPECT_EQ(osc.Data()[608], 912);

    // Exactly one view left: no further scrolling; one more column: scrolls.
    for (int32_t offset : {2000 - 609, 2000 - 100, 2000}) {
        view.ViewOffset = offset;
        EXPECT_FALSE(view.CanScrollForward()) << offset;
        EXPECT_EQ(view.ScrollForward(), 0) << offset;
        EXPECT_EQ(view.ViewOffset, offset);
    }
    view.ViewOffset = 2000 - 610;
    EXPECT_EQ(view.ScrollForward(), -304);

    view.ViewOffset = 100;
    view.SelStart = 10;
    view.SelEnd = 20;
    view.CursorColumn = 10;
    view.UpdateTimes();
    EXPECT_EQ(view.ScrollBack(), 100);
    EXPECT_EQ(view.ViewOffset, 0);
    EXPECT_EQ(view.SelStart, 110);
    EXPECT_EQ(view.SelStartMs, 4400);
    EXPECT_EQ(view.SelEndMs, 4800);
    EXPECT_EQ(osc.Data()[0], 0);
    EXPECT_FALSE(view.CanScrollBack());
    EXPECT_EQ(view.ScrollBack(), 0);

    // An empty range is not carried along.
    view.ViewOffset = 400;
    view.SelStart = view.SelEnd = 7;
    EXPECT_EQ(view.ScrollBack(), 304);
    EXPECT_EQ(view.SelStart, 7);
}

TEST_F(WaveTest, TwoKeyEdgesSnapToBreakpoints)
{
    SetSamples(400, "0");
    bps.times = {0, 2000, 6000, 12000}; // columns 0, 50, 150, 300
    struct Case {
        int edge;
        int32_t selStart, selEnd, x, wantStart, wantEnd;
    };
    const Case cases[] = {
        {0, 60, 100, 80, 80, 100},   // inside the range: only the start moves
        {0, 60, 100, 200, 200, 300}, // right of the end: end to the next breakpoint
        {0, 60, 100, 350, 350, 350}, // none right of it: the last, but not left of the start
        {0, 60, 100, 150, 150, 300}, // on a breakpoint: the next one after it
        {1, 60, 100, 80, 60, 80},
        {1, 160, 200, 120, 50, 120}, // left of the start: start to the previous breakpoint
        {1, 160, 200, 40, 0, 40},    // none left of it: column 0
        {0, 60, 100, -1, 60, 100},   // outside the file: ignored
        {1, 60, 100, 400, 60, 100},
        {2, 60, 100, 80, 60, 100},   // no such edge
    };
    for (const Case &c : cases) {
        view.SelStart = c.selStart;
        view.SelEnd = c.selEnd;
        view.CursorColumn = 0;
        view.SetSelectionEdge(&osc, c.edge, c.x);
        EXPECT_EQ(view.SelStart, c.wantStart) << c.edge << " at " << c.x;
        EXPECT_EQ(view.SelEnd, c.wantEnd) << c.edge << " at " << c.x;
    }
    view.SetSelectionEdge(&osc, 1, 120);
    EXPECT_EQ(view.CursorColumn, view.SelStart);
    EXPECT_EQ(view.SelEndMs, 4800);
    EXPECT_EQ(PixelAt(osc.Image(), 120, 29), Foreground);
    EXPECT_EQ(PixelAt(osc.Image(), 121, 29), Inactive);
}

TEST_F(WaveTest, MissingControlListsOrBreakpointsDrawNothingAndFindNothing)
{
    TWaveOscope bare(0);
    bare.SetSource(100, nullptr, nullptr);
    EXPECT_EQ(bare.SelectSentenceAt(5), -1);
    EXPECT_EQ(bare.NextBreakpointColumn(5), -1);
    EXPECT_EQ(bare.PrevBreakpointColumn(5), 0);
    EXPECT_FALSE(bare.CanScrollForward());
    EXPECT_EQ(bare.ScrollForward(), 0);
    bare.RedrawWave();
    bare.PaintBreakpoints();
    bare.PaintOverlay();
    bare.DrawPlayLine(nullptr, 5, TWaveOscope::PlayLineColour);
    bare.BeginDrag(nullptr, 5);
    bare.DragTo(nullptr, 9);
    EXPECT_EQ(bare.EndDrag(nullptr), std::make_pair(4, 10));

    // A control without lists shows silence; a zero page divisor scrolls a whole view.
    bare.AttachOscope(&osc);
    osc.OnPostPaint = [&](TMMOscope *) { bare.PaintOverlay(); };
    bare.RedrawWave();
    EXPECT_EQ(osc.Data(), std::vector<int16_t>(609, 0));
    bps.times.clear();
    bare.SetSource(100000, &samples, &bps);
    EXPECT_EQ(bare.SelectSentenceAt(5), -1);
    EXPECT_EQ(bare.ScrollForward(), -609);
}

TEST_F(WaveTest, ShowSamplesFillsTheWidthAndDrawsInactiveFirst)
{
    const std::vector<std::string> texts = {"100", "-200", "abc", "40000", "-40000", "", "12x", " 5"};
    struct Case {
        int64_t first;
        int32_t maxCount;
        std::vector<int16_t> head; // the first columns; the rest must be 0
    };
    const Case cases[] = {
        {0, 609, {100, -200, 0, 32767, -32768, 0, 0, 0}},
        {1, 2, {-200, 0}},
        {-2, 609, {0, 0, 100, -200, 0, 32767, -32768}},
        {8, 609, {}},
        {1000, 609, {}},
        {0, -1, {}},
    };
    for (const Case &c : cases) {
        ShowSamples(&osc, texts, c.first, c.maxCount);
        std::vector<int16_t> want(609, 0);
        std::copy(c.head.begin(), c.head.end(), want.begin());
        EXPECT_EQ(osc.Data(), want) << c.first << " max " << c.maxCount;
    }

    ShowSamplesAt(&osc, std::vector<std::string>(100, "20000"), 79 * 40 + 39);
    EXPECT_EQ(osc.Data()[20], 20000);
    EXPECT_EQ(osc.Data()[21], 0);

    // Everything inactive at once, the foreground colour back for the next paint.
    osc.SetActiveRange(0, 10, false);
    ShowSamples(&osc, texts, 0, 609);
    EXPECT_EQ(PixelAt(osc.Image(), 0, 29), Inactive);
    EXPECT_EQ(osc.ForegroundColor(), Foreground);
    QCoreApplication::processEvents();
    EXPECT_EQ(PixelAt(osc.Image(), 0, 29), Foreground);
}

} // namespace
} // namespace vorel::view
