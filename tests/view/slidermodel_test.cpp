#include <climits>
#include <gtest/gtest.h>

#include "view/slidermodel.h"

namespace vorel::view::slider {
namespace {

TEST(SliderModel, RangeKeepsMaximumAboveMinimum)
{
    struct Case {
        int min, max, wantMin, wantMax;
    };
    const Case cases[] = {
        {0, 0, 0, 1},
        {0, 60000, 0, 60000},
        {5, 3, 5, 6},
        {-40, 40, -40, 40},
        {INT_MAX, INT_MAX, INT_MAX - 1, INT_MAX},
    };
    for (const Case &c : cases) {
        const TRange r = NormaliseRange(c.min, c.max);
        EXPECT_EQ(r.min, c.wantMin) << c.min << ".." << c.max;
        EXPECT_EQ(r.max, c.wantMax) << c.min << ".." << c.max;
    }
}

// Progress slider geometry: track 376 wide, thumb 10, so the thumb centre travels
// over x = 5 .. 371 (366 pixels).
TEST(SliderModel, PressedPointPutsTheThumbCentreThere)
{
    struct Case {
        int x, min, max, want;
    };
    const Case cases[] = {
        {5, 0, 366, 0},        {371, 0, 366, 366},  {188, 0, 366, 183},  {0, 0, 366, 0},
        {400, 0, 366, 366},    {6, 0, 732, 2},      {188, -40, 40, 0},   {189, 0, 1000, 503},
        // A three-hour recording: the product of offset and range exceeds 32 bits.
        {371, 0, 10800000, 10800000}, {188, 0, 10800000, 5400000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ValueAtPoint(c.x, 0, 376, 10, {c.min, c.max}), c.want) << c.x << " in " << c.min << ".." << c.max;
    // A track no wider than the thumb has no travel.
    EXPECT_EQ(ValueAtPoint(50, 0, 10, 10, {3, 9}), 3);
}

TEST(SliderModel, DragMovesByTheSameScaleAndClamps)
{
    struct Case {
        int pressValue, dx, want;
    };
    const Case cases[] = {
        {0, 183, 500}, {500, -183, 0}, {500, -400, 0}, {500, 1, 503}, {999, 5, 1000}, {10, 0, 10},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DragValue(c.pressValue, c.dx, 376, 10, {0, 1000}), c.want) << c.pressValue << " + " << c.dx;
}

TEST(SliderModel, ThumbSitsWhereAPressWouldPutThatValue)
{
    const TRange r{0, 10800000};
    for (int v : {0, 1, 5400000, 10799999, 10800000}) {
        const int left = ThumbLeft(v, 0, 376, 10, r);
        EXPECT_GE(left, 0);
        EXPECT_LE(left, 366);
        EXPECT_NEAR(ValueAtPoint(left + 5, 0, 376, 10, r), v, 10800000 / 366);
    }
    EXPECT_EQ(ThumbLeft(-50, 0, 137, 6, {-40, 40}), 0);
    EXPECT_EQ(ThumbLeft(99, 0, 137, 6, {-40, 40}), 131);
}

TEST(SliderModel, KeysStepByLineOrPageWithinTheRange)
{
    struct Case {
        TKey key;
        int value, line, page, want;
    };
    const TRange r{-40, 40};
    const Case cases[] = {
        {TKey::PageUp, 0, 0, 1, 1},      {TKey::PageUp, 40, 0, 1, 40},    {TKey::PageUp, 35, 0, 10, 40},
        {TKey::PageDown, -35, 0, 10, -40}, {TKey::Home, 7, 0, 1, -40},    {TKey::End, 7, 0, 1, 40},
        {TKey::Increase, 0, 0, 1, 0},    {TKey::Decrease, 0, 0, 1, 0},    {TKey::Increase, 38, 5, 1, 40},
        {TKey::Increase, 40, 5, 1, 40},  {TKey::Decrease, -38, 5, 1, -40}, {TKey::Decrease, 10, 5, 1, 5},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KeyValue(c.key, c.value, c.line, c.page, r), c.want)
            << int(c.key) << " at " << c.value << " line " << c.line << " page " << c.page;
}

} // namespace
} // namespace vorel::view::slider
