// The waveform strip's columns: the sentence under a column, the one-key drag,
// scrolling by half a view and the left/right edges snapping to breakpoints.
#include <gtest/gtest.h>

#include "viewcolumns.h"

namespace vorel::repeater {
namespace {

using TPair = std::pair<int32_t, int32_t>;

class ColumnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        v.SetWidth(609);
        v.SetSource(2000, 2000, &list);
    }
    void breakpoints(std::initializer_list<int32_t> times) {
        list.Clear();
        for (int32_t t : times)
            list.Add({t, "", ""});
    }
    TPair sel() const { return {v.SelStart(), v.SelEnd()}; }

    segment::TSegmentList list;
    TViewColumns v;
};

TEST_F(ColumnsTest, SelectSentenceUnderAColumn) {
    breakpoints({0, 4000, 8000, 20000});
    const int32_t cases[][5] = {
        // view offset, x, index, SelStart, SelEnd
        {50, 60, 1, 50, 150}, {0, 199, 1, 100, 200}, {0, 200, 2, 200, 500},
        {0, 550, -1, 550, 500}, // past the last breakpoint: the lookup's bounds all the same
    };
    for (const auto &c : cases) {
        v.ScrollTo(c[0]);
        EXPECT_EQ(v.SelectSentenceAt(c[1]), c[2]) << c[1];
        EXPECT_EQ(sel(), TPair(c[3], c[4])) << c[1];
        EXPECT_EQ(TPair(v.SelStartMs(), v.CursorMs()), TPair((c[3] + c[0]) * 40, (c[1] + c[0]) * 40));
    }
    breakpoints({});
    EXPECT_EQ(v.SelectSentenceAt(5), -1); // no list: the range stays
    EXPECT_EQ(sel(), TPair(550, 500));
}

TEST_F(ColumnsTest, OneKeyClickAndDrag) {
    v.SetSource(1000, 2000, &list);
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
        v.ScrollTo(c.viewOffset);
        v.BeginDrag(c.from);
        if (c.to != c.from)
            v.DragTo(c.to);
        EXPECT_EQ(v.EndDrag(), c.want) << c.from << " -> " << c.to;
        EXPECT_EQ(sel(), c.wantSel) << c.from << " -> " << c.to;
    }
    // While the drag runs the strip highlights it, afterwards the selection.
    v.ScrollTo(0);
    v.BeginDrag(100);
    v.DragTo(101);
    EXPECT_EQ(v.Highlight(), TPair(100, 102));
    v.EndDrag();
    EXPECT_EQ(v.Highlight(), TPair(99, 102));
    v.BeginDrag(1000); // outside the file: no new drag
    EXPECT_FALSE(v.Dragging());
}

TEST_F(ColumnsTest, ScrollingMovesHalfAViewAndKeepsTheRangesTimes) {
    v.Select(400, 500);
    EXPECT_EQ(v.ScrollForward(), -304);
    EXPECT_EQ(TPair(v.ViewOffset(), v.SelStart()), TPair(304, 96));
    EXPECT_EQ(TPair(v.SelStartMs(), v.SelEndMs()), TPair(16000, 20000));
    for (int32_t offset : {2000 - 609, 2000}) { // one view or less left
        v.ScrollTo(offset);
        EXPECT_EQ(v.ScrollForward(), 0) << offset;
    }
    v.ScrollTo(2000 - 610);
    EXPECT_EQ(v.ScrollForward(), -304);

    v.ScrollTo(100);
    v.Select(10, 20);
    EXPECT_EQ(v.ScrollBack(), 100);
    EXPECT_EQ(TPair(v.ViewOffset(), v.SelStart()), TPair(0, 110));
    EXPECT_EQ(TPair(v.SelStartMs(), v.SelEndMs()), TPair(4400, 4800));
    EXPECT_EQ(v.ScrollBack(), 0);

    v.SetPageDivisor(0); // scrolls a whole view instead of dividing by zero
    EXPECT_EQ(v.ScrollForward(), -609);
}

TEST_F(ColumnsTest, TwoKeyEdgesSnapToBreakpoints) {
    v.SetSource(400, 2000, &list);
    breakpoints({0, 2000, 6000, 12000}); // columns 0, 50, 150, 300
    const int32_t cases[][6] = {
        // edge, SelStart, SelEnd, x, new SelStart, new SelEnd
        {0, 60, 100, 80, 80, 100},   {0, 60, 100, 200, 200, 300}, // right of the end: the next breakpoint
        {0, 60, 100, 350, 350, 350}, // none right of it: the last, but not left of the start
        {1, 60, 100, 80, 60, 80},    {1, 160, 200, 120, 50, 120}, // left of the start: the previous one
        {1, 160, 200, 40, 0, 40},    // none left of it: column 0
        {0, 60, 100, -1, 60, 100},   {1, 60, 100, 400, 60, 100}, {2, 60, 100, 80, 60, 100}, // ignored
    };
    for (const auto &c : cases) {
        v.Select(c[1], c[2]);
        v.SetSelectionEdge(c[0], c[3]);
        EXPECT_EQ(sel(), TPair(c[4], c[5])) << c[0] << " at " << c[3];
    }
    v.Select(160, 200);
    v.SetSelectionEdge(1, 120);
    EXPECT_EQ(TPair(v.CursorColumn(), v.SelEndMs()), TPair(50, 4800));
    breakpoints({});
    EXPECT_EQ(TPair(v.NextBreakpointColumn(5), v.PrevBreakpointColumn(5)), TPair(-1, 0));
}

} // namespace
} // namespace vorel::repeater
