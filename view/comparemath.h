// The arithmetic of the take-against-sentence comparison: waveform columns, the
// pitch scale, and the time map a warping path gives. No widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vorel::view {

// Lowest and highest sample of one column.
struct TPeak {
    int16_t low = 0, high = 0;
};

// Columns of mono s16 samples [first, end) spread over `columns` columns; every
// sample falls in exactly one column; a column of no samples is flat (0, 0).
std::vector<TPeak> WaveColumns(const int16_t *samples, size_t count, int64_t first, int64_t end, int columns);

// y of a pitch on a log scale from loHz (bottom, y = top + height - 1) to hiHz
// (top); pitches outside are clamped; -1 for no pitch (hz <= 0: unvoiced).
int PitchY(double hz, double loHz, double hiHz, int top, int height);

// What the take's pitch is multiplied by to overlay the sentence's: the ratio of
// their medians over voiced frames (pitch > 0), so that a high voice shadowing a
// low one compares the tune, not the register. 1 when either has no voiced frame.
double RegisterRatio(const std::vector<float> &sentencePitch, const std::vector<float> &takePitch);

// A warping path: (sentence frame, take frame) pairs, both non-decreasing, from
// (0, 0) to the last frame of each.
using TWarpPath = std::vector<std::pair<int32_t, int32_t>>;

// The path of a take spoken evenly faster or slower: a straight line from (0, 0)
// to (sentenceFrames - 1, takeFrames - 1), one step at a time. Drawn while no
// alignment is at hand.
TWarpPath StraightPath(int32_t sentenceFrames, int32_t takeFrames);

// For each frame of one side (the take when takeToSentence, else the sentence),
// the frame of the other side it maps to: the middle of the frames the path pairs
// it with. Frames the path does not reach map to the other side's last frame.
std::vector<double> FrameMap(const TWarpPath &path, int64_t frames, bool takeToSentence);
// map at a fractional frame, linear between frames, clamped at both ends.
double MapAt(const std::vector<double> &map, double frame);
// A time (in frames from the start, fractional) carried through map: a frame
// stands for its middle, so the centres of paired frames meet.
double MapTime(const std::vector<double> &map, double time);

// Columns of the take drawn in the sentence's time: column x covers the sentence
// time [x, x + 1) * sentenceSeconds / columns; its samples are the take's over
// the frames that time maps to (sentenceToTake: FrameMap(path, ..., false), frames
// of hopSeconds).
std::vector<TPeak> WarpedColumns(const int16_t *take, size_t count, uint32_t takeRate,
                                 const std::vector<double> &sentenceToTake, double hopSeconds,
                                 double sentenceSeconds, int columns);

} // namespace vorel::view
