// The water behind the about picture, without a window.
#include "aboutwindow.h"
#include "qtapp.h"
#include "ripple.h"
#include "waterimage.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorel::help;

namespace {

// Both time levels: the heights now and one step ago hold the motion between them.
double energy(const RippleField &f) {
    double e = 0;
    for (const auto *level : {&f.current, &f.previous})
        for (float h : *level)
            e += double(h) * h;
    return e;
}

int chebyshev(int x, int y, int cx, int cy) { return std::max(std::abs(x - cx), std::abs(y - cy)); }

const float Keep = RippleKeep(TWaterImage::Damping, TWaterImage::TickMs);

} // namespace

TEST(Ripple, OneStepAfterOneDropChangesOnlyPixelsNearTheDrop) {
    vorel::test::qtApp(); // the picture's text needs fonts
    const QImage picture = AboutPicture();
    ASSERT_EQ(picture.size(), QSize(286, 69));
    // In the middle, against a corner (the disc is clipped) and on the border.
    const struct {
        int x, y;
    } drops[] = {{140, 35}, {1, 1}, {285, 68}, {0, 30}};
    for (const auto &d : drops) {
        SCOPED_TRACE(testing::Message() << d.x << "," << d.y);
        RippleField field(picture.width(), picture.height());
        EXPECT_EQ(RenderRipples(picture, field), picture.convertToFormat(QImage::Format_RGB32));
        Drop(field, d.x, d.y, TWaterImage::HeldStrength);
        RippleStep(field, Keep);
        const QImage shown = RenderRipples(picture, field);
        const QImage plain = picture.convertToFormat(QImage::Format_RGB32);
        int moving = 0, changed = 0;
        for (int y = 0; y < field.height; ++y)
            for (int x = 0; x < field.width; ++x) {
                const int r = chebyshev(x, y, d.x, d.y);
                // The disc, plus one pixel the step spreads it by ...
                if (field.at(x, y) != 0.0f) {
                    ++moving;
                    EXPECT_LE(r, DropRadius + 1) << x << "," << y;
                }
                // ... plus one more for the slope the rendering reads from neighbours.
                if (shown.pixel(x, y) != plain.pixel(x, y)) {
                    ++changed;
                    EXPECT_LE(r, DropRadius + 2) << x << "," << y;
                }
            }
        EXPECT_GT(moving, 0);
        if (d.x > 0 && d.y > 0 && d.x < field.width - 1 && d.y < field.height - 1) {
            EXPECT_GT(changed, 0);
        }
    }
}

TEST(Ripple, DampedWaterCalmsDownUndampedKeepsMoving) {
    RippleField damped(120, 60), undamped(120, 60);
    for (RippleField *f : {&damped, &undamped}) {
        Drop(*f, 40, 30, 250);
        Drop(*f, 90, 20, 600);
    }
    // A drop starts the water moving; energy first grows, then only damping takes it.
    for (int step = 0; step < 4; ++step) {
        RippleStep(damped, Keep);
        RippleStep(undamped, 1.0f);
    }
    const double start = energy(damped), startUndamped = energy(undamped);
    ASSERT_GT(start, 0);
    double last = start;
    const int twoSeconds = 2000 / TWaterImage::TickMs;
    for (int step = 1; step <= twoSeconds; ++step) {
        RippleStep(damped, Keep);
        RippleStep(undamped, 1.0f);
        if (step % 5 == 0) {
            EXPECT_LT(energy(damped), last) << step;
            last = energy(damped);
        }
    }
    // 20 dB in two seconds leaves a hundredth of the energy; the sum over both
    // time levels swings with the waves' phase, hence a factor 2. Without damping
    // the border reflects everything and the water keeps moving.
    EXPECT_LT(energy(damped), start * 2e-2);
    EXPECT_GT(energy(undamped), startUndamped * 0.1);
}

TEST(Ripple, DropsOutsideThePictureAreIgnored) {
    RippleField field(20, 10);
    for (auto [x, y] : {std::pair{-1, 5}, {20, 5}, {5, -1}, {5, 10}})
        Drop(field, x, y, 500);
    RippleStep(field, 1.0f);
    EXPECT_EQ(energy(field), 0.0);
}

// The words on the picture must be readable again soon: one drop, however
// strong, has come to rest within 2.5 s, and the picture at rest is the picture.
TEST(Ripple, OneDropOnAStillPictureIsGoneWithinTwoAndAHalfSeconds) {
    vorel::test::qtApp();
    const QImage picture = AboutPicture();
    const QImage plain = picture.convertToFormat(QImage::Format_RGB32);
    const int strongest = TWaterImage::RandomStrengthBase + TWaterImage::RandomStrengthRange - 1;
    const int steps = 2500 / TWaterImage::TickMs;
    const struct {
        int x, y, strength;
    } drops[] = {
        {143, 34, TWaterImage::MoveStrength}, {143, 34, TWaterImage::HeldStrength}, {143, 34, strongest},
        {60, 30, strongest}, // on the title
        {2, 2, strongest},   // in a corner, where the border reflects it
    };
    for (const auto &d : drops) {
        SCOPED_TRACE(testing::Message() << d.strength << " at " << d.x << "," << d.y);
        RippleField field(picture.width(), picture.height());
        Drop(field, d.x, d.y, d.strength);
        RippleStep(field, Keep);
        ASSERT_NE(RenderRipples(picture, field), plain) << "the drop shows";
        int rest = -1;
        for (int step = 1; step <= steps && rest < 0; ++step) {
            RippleStep(field, Keep);
            if (RenderRipples(picture, field) == plain)
                rest = step;
        }
        ASSERT_GT(rest, 0) << "still moving after 2.5 s";
        // Once at rest it stays at rest.
        for (int step = 0; step < 20; ++step) {
            RippleStep(field, Keep);
            EXPECT_EQ(RenderRipples(picture, field), plain) << step;
        }
    }
}
