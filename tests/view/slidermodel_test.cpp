#include <climits>
#include <gtest/gtest.h>

#include "view/slidermodel.h"

namespace vorel::view::slider {
namespace {

TEST(SliderModel, RangeStaysNonEmptyAndLongFilesDoNotOverflow)
{
    EXPECT_EQ(NormaliseRange(0, 0).max, 1);
    EXPECT_EQ(NormaliseRange(INT_MAX, 0).min, INT_MAX - 1);
    // Progress slider (track 376, thumb 10) over three hours in ms: the products
    // exceed 32 bits.
    const TRange hours{0, 10800000};
    EXPECT_EQ(ValueAtPoint(188, 0, 376, 10, hours), 5400000);
    EXPECT_EQ(ValueAtPoint(371, 0, 376, 10, hours), 10800000);
    EXPECT_EQ(DragValue(0, 183, 376, 10, hours), 5400000);
    EXPECT_EQ(ThumbLeft(10800000, 0, 376, 10, hours), 366);
    EXPECT_EQ(ValueAtPoint(50, 0, 10, 10, {3, 9}), 3); // no travel: no division by zero
}

} // namespace
} // namespace vorel::view::slider
