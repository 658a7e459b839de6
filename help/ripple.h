// The water simulation behind the about window's picture: a height field with
// the classic two-buffer wave step, and the rendering that displaces the
// picture's pixels by the slope of the water. Pure functions of their arguments;
// no timer, no window.
#pragma once

#include <QImage>

#include <vector>

namespace vorel::help {

struct RippleField {
    RippleField(int w, int h);

    int width;
    int height;
    std::vector<float> current;  // heights now
    std::vector<float> previous; // heights one step ago

    float at(int x, int y) const { return current[static_cast<size_t>(y) * width + x]; }
};

// Radius of a drop in pixels: a drop raises the water in a small disc, not a single
// pixel, so the ripple is round and visible.
constexpr int DropRadius = 3;

// Raises the water around (x, y) by strength, falling off towards the rim of the
// disc. Points outside the field are ignored; the disc is clipped at the border,
// which stays still.
void Drop(RippleField &field, int x, int y, int strength);

// The factor RippleStep applies each step of stepMs so that the water's energy
// falls by damping decibels in two seconds: 20 leaves a hundredth, nothing
// visible. (The step's two time levels shrink each wave by the square root of
// the factor, its energy by the factor.)
float RippleKeep(int damping, int stepMs);

// One time step. Each inner point becomes half the sum of its four neighbours
// minus its own height one step before, times keep; the border stays still (the
// water's edge reflects). A step changes only points next to a point that was
// moving, so a disturbance spreads one pixel per step.
void RippleStep(RippleField &field, float keep);

// The picture as seen through the water: each pixel is taken from where the
// local slope refracts it, at most MaxShift pixels away, and lit or shaded by the
// slope. Flat water, and water too calm to move a pixel, give the picture
// unchanged. picture must have the field's size.
constexpr int MaxShift = 4;
QImage RenderRipples(const QImage &picture, const RippleField &field);

} // namespace vorel::help
