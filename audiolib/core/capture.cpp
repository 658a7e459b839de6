// Capture through SDL's capture device. The SDL callback only copies into the
// ring (no lock, no allocation, no logging); everything else runs on the caller's
// thread under the capture lock, which the callback never takes.
#include "capture.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "api_util.h"

namespace vorel::audiolib {

void CaptureRing::reset(size_t capacity, uint32_t channels) {
    size_t cap = 1;
    while (cap < capacity) cap *= 2;
    data_ = std::make_unique<int16_t[]>(cap);
    mask_ = cap - 1;
    channels_ = std::max<uint32_t>(channels, 1);
    written_.store(0);
    read_.store(0);
    overflow_.store(false);
}

size_t CaptureRing::push(const int16_t *samples, size_t count) {
    // Once a gap has opened, nothing more is kept: the reader must not splice
    // sound from either side of it.
    if (overflow_.load(std::memory_order_relaxed)) return 0;
    const uint64_t w = written_.load(std::memory_order_relaxed);
    const size_t space = mask_ + 1 - size_t(w - read_.load(std::memory_order_acquire));
    const size_t n = std::min(count, space) / channels_ * channels_;
    const size_t at = size_t(w) & mask_, first = std::min(n, mask_ + 1 - at);
    std::memcpy(&data_[at], samples, first * sizeof(int16_t));
    std::memcpy(&data_[0], samples + first, (n - first) * sizeof(int16_t));
    written_.store(w + n, std::memory_order_release);
    // After the samples: a reader that sees the flag also sees all that was kept.
    if (n < count) overflow_.store(true, std::memory_order_release);
    return n;
}

size_t CaptureRing::available() const {
    return size_t(written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed));
}

size_t CaptureRing::pop(int16_t *out, size_t count) {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    const size_t n = std::min(count, available()) / channels_ * channels_;
    const size_t at = size_t(r) & mask_, first = std::min(n, mask_ + 1 - at);
    std::memcpy(out, &data_[at], first * sizeof(int16_t));
    std::memcpy(out + first, &data_[0], (n - first) * sizeof(int16_t));
    read_.store(r + n, std::memory_order_release);
    return n;
}

namespace {

// Seconds of sound the ring holds between two reads.
constexpr size_t kRingSeconds = 30;

struct Capture {
    std::mutex api; // every record call; never the callback
    bool initialised = false;
    SDL_AudioDeviceID device = 0;
    DWORD handle = 0;
    DWORD next = 1;
    uint32_t frameBytes = 2;
    CaptureRing ring;
};

Capture &capture() {
    static Capture *c = new Capture; // never destroyed, as the engine
    return *c;
}

void captureCallback(void *, Uint8 *stream, int len) {
    capture().ring.push(reinterpret_cast<const int16_t *>(stream), size_t(len) / sizeof(int16_t));
}

// Capture lock held. SDL_CloseAudioDevice returns after the last callback.
void closeDevice(Capture &c) {
    if (c.device) SDL_CloseAudioDevice(c.device);
    c.device = 0;
    c.handle = 0;
}

// Capture lock held: the open record channel, or 0 with BASS_ERROR_HANDLE.
bool owns(const Capture &c, DWORD handle) { return c.handle != 0 && handle == c.handle; }

} // namespace

DWORD recordGetData(DWORD handle, void *buffer, DWORD length) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    if (!owns(c, handle)) return fail(BASS_ERROR_HANDLE, DWORD(-1));
    // The flag before the count: once the flag is seen, so is all that was kept.
    const bool lost = c.ring.overflowed();
    const size_t waiting = c.ring.available();
    if (length == 0) return ok(DWORD(std::min<size_t>(waiting * sizeof(int16_t), 0x7FFFFFFF)));
    if (!buffer) return fail(BASS_ERROR_ILLPARAM, DWORD(-1));
    if (waiting == 0 && lost) return fail(BASS_ERROR_BUFLOST, DWORD(-1));
    const size_t want = length / c.frameBytes * c.frameBytes / sizeof(int16_t);
    return ok(DWORD(c.ring.pop(static_cast<int16_t *>(buffer), want) * sizeof(int16_t)));
}

BOOL recordStop(DWORD handle) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    if (!owns(c, handle)) return fail(BASS_ERROR_HANDLE, FALSE);
    closeDevice(c);
    return ok(TRUE);
}

DWORD recordIsActive(DWORD handle) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    if (!owns(c, handle)) return fail(BASS_ERROR_HANDLE, DWORD(BASS_ACTIVE_STOPPED));
    return ok(DWORD(c.ring.overflowed() ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING));
}

} // namespace vorel::audiolib

using namespace vorel::audiolib;

extern "C" {

AUDIOLIB_API BOOL BASS_RecordInit(int device) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    if (c.initialised) return fail(BASS_ERROR_ALREADY, FALSE);
    if (device != -1 && device != 0) return fail(BASS_ERROR_DEVICE, FALSE);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); // as for the output
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail(BASS_ERROR_DRIVER, FALSE);
    // 0: the driver knows it has no capture device (-1: it cannot tell; opening will).
    if (SDL_GetNumAudioDevices(1) == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(BASS_ERROR_DEVICE, FALSE);
    }
    c.initialised = true;
    return ok(TRUE);
}

AUDIOLIB_API BOOL BASS_RecordFree(void) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    if (!c.initialised) return fail(BASS_ERROR_INIT, FALSE);
    closeDevice(c);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    c.initialised = false;
    return ok(TRUE);
}

AUDIOLIB_API DWORD BASS_RecordGetDevice(void) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    return c.initialised ? ok(DWORD(0)) : fail(BASS_ERROR_INIT, DWORD(-1));
}

AUDIOLIB_API HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc, DWORD) {
    Capture &c = capture();
    std::lock_guard<std::mutex> lock(c.api);
    if (!c.initialised) return fail(BASS_ERROR_INIT, HRECORD(0));
    // A procedure would run on the capture thread, where the caller's code must not.
    if (proc) return fail(BASS_ERROR_NOTAVAIL, HRECORD(0));
    if (c.handle) return fail(BASS_ERROR_ALREADY, HRECORD(0));
    if (freq < VOREL_MIN_RATE || freq > VOREL_MAX_RATE || chans < 1 || chans > 2 ||
        (flags & (BASS_SAMPLE_8BITS | BASS_SAMPLE_FLOAT)))
        return fail(BASS_ERROR_FORMAT, HRECORD(0));
    c.ring.reset(size_t(freq) * chans * kRingSeconds, chans);
    c.frameBytes = chans * sizeof(int16_t);
    SDL_AudioSpec want{}, have{};
    want.freq = int(freq);
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(chans);
    want.samples = 256; // about 20 ms: the smallest power of two >= freq / 50
    while (want.samples < 32768 && want.samples * 50u < freq) want.samples *= 2;
    want.callback = captureCallback;
    // No allowed changes: SDL converts from whatever the device gives.
    c.device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
    if (c.device == 0) return fail(BASS_ERROR_DRIVER, HRECORD(0));
    if ((c.next & 0xFFFFFu) == 0) c.next++; // a handle is never 0 in its low bits
    c.handle = 0x7FF00000u | (c.next++ & 0xFFFFFu);
    SDL_PauseAudioDevice(c.device, 0);
    return ok(HRECORD(c.handle));
}

} // extern "C"
