// Pitch of mono speech every 10 ms (aubio's YIN, computed through FFTs). Kept beside the takes until
// the speech features have a home of their own. Any thread; no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorel::audio {

// Frames of 10 ms (rate / 100 samples): frame i is centred on the middle of
// samples [i * hop, (i + 1) * hop). Each holds the pitch in Hz, or 0 where the
// sound is unvoiced, silent or outside 60..500 Hz (the speaking range).
std::vector<float> PitchTrack(const int16_t *samples, size_t count, uint32_t rate);

} // namespace vorel::audio
