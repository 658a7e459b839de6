// Sentence clips: one loudness for every card (EBU R128 through libebur128) and
// MP3 through FFmpeg's LAME encoder. Pure functions over PCM; any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "pcmsource.h"

namespace vorel::exports {

struct TClipSettings {
    double targetLufs = -18.0;
    // The sample peak after the gain stays at or below this (dBFS): a clip with
    // sharp peaks ends up quieter than the target rather than clipped.
    double peakCeilingDb = -1.0;
    int32_t bitRatePerChannel = 64000;
    // Clips levelled and encoded at once (0: one per core).
    int32_t encoders = 0;
};

// pcm in a form MP3 holds: more than two channels mixed down to stereo, a rate
// the format lacks resampled to the next one up (48 kHz above it). Throws
// std::runtime_error when the resampler fails.
TPcm ConformForMp3(TPcm pcm);

// The integrated loudness of pcm after gain (a factor) in LUFS; -infinity for
// silence or a clip shorter than the 400-ms gating block.
double IntegratedLoudness(const TPcm &pcm, double gain = 1.0);

// The factor that brings pcm to the target loudness within the peak ceiling.
// 1 when the loudness cannot be measured (silence, under 400 ms): such a clip
// keeps its level.
double LoudnessGain(const TPcm &pcm, const TClipSettings &settings);

// A complete MP3 file of pcm (conformed) multiplied by gain, with the encoder's
// delay and padding recorded in its info frame, so that a gapless decoder gives
// back exactly pcm's frames. Throws std::runtime_error naming the encoder's failure.
std::vector<uint8_t> EncodeMp3(const TPcm &pcm, double gain, int32_t bitRatePerChannel);

} // namespace vorel::exports
