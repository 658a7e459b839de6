#include "pitchtrack.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace vorel::audio {

namespace {
constexpr float kLowHz = 60, kHighHz = 500;
// YIN's confidence (1 - the dip of its difference function) below this: no
// periodicity worth a pitch (breath, fricatives, noise).
constexpr float kMinConfidence = 0.7f;
} // namespace

std::vector<float> PitchTrack(const int16_t *samples, size_t count, uint32_t rate) {
    const uint_t hop = std::max<uint32_t>(rate / 100, 1);
    // A window of at least 40 ms holds two periods of the lowest pitch (60 Hz).
    uint_t window = 64;
    while (window < rate / 25 || window < hop) window *= 2;
    const size_t frames = count / hop;
    std::vector<float> out(frames, 0.f);
    // "yinfast" is YIN with its difference function computed through FFTs: the
    // same pitch, but a 10-s take in a tenth of plain "yin"'s time.
    aubio_pitch_t *yin = new_aubio_pitch("yinfast", window, hop, rate);
    fvec_t *in = new_fvec(hop), *pitch = new_fvec(1);
    if (!yin || !in || !pitch) {
        if (yin) del_aubio_pitch(yin);
        if (in) del_fvec(in);
        if (pitch) del_fvec(pitch);
        return out;
    }
    aubio_pitch_set_unit(yin, "Hz");
    aubio_pitch_set_silence(yin, -60);
    // aubio's result after a call describes the window ending at that call's last
    // sample; `lag` calls later its centre has moved onto the frame's.
    const size_t lag = size_t(std::lround(double(window) / (2.0 * hop) - 0.5));
    for (size_t call = 0; call < frames + lag; ++call) {
        for (uint_t k = 0; k < hop; ++k) {
            const size_t at = call * hop + k;
            in->data[k] = at < count ? samples[at] / 32768.0f : 0.f;
        }
        aubio_pitch_do(yin, in, pitch);
        if (call < lag) continue;
        const float hz = pitch->data[0];
        if (aubio_pitch_get_confidence(yin) >= kMinConfidence && hz >= kLowHz && hz <= kHighHz)
            out[call - lag] = hz;
    }
    del_aubio_pitch(yin);
    del_fvec(in);
    del_fvec(pitch);
    return out;
}

} // namespace vorel::audio
