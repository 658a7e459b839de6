// Capture (the BASS_Record* functions): SDL's capture device feeding a
// preallocated single-producer single-consumer ring. The capture callback is the
// producer; the one thread that reads the record channel is the consumer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audiolib.h"

namespace vorel::audiolib {

// Lock-free ring of s16 samples. push never blocks or allocates: what does not fit
// is dropped, whole frames only, and the ring remembers that it overflowed.
class CaptureRing {
public:
    // Not concurrent with push or pop. capacity: samples, rounded up to a power of two.
    void reset(size_t capacity, uint32_t channels);
    // Producer. Returns the samples kept.
    size_t push(const int16_t *samples, size_t count);
    // Consumer. Returns the samples copied (whole frames, up to count).
    size_t pop(int16_t *out, size_t count);
    // Consumer: samples waiting.
    size_t available() const;
    // True once push had to drop samples.
    bool overflowed() const { return overflow_.load(std::memory_order_acquire); }

private:
    std::unique_ptr<int16_t[]> data_;
    size_t mask_ = 0;
    uint32_t channels_ = 1;
    std::atomic<uint64_t> written_{0}, read_{0};
    std::atomic<bool> overflow_{false};
};

// Handles of record channels lie above every stream handle.
inline bool isRecordHandle(DWORD handle) { return (handle & 0xFFF00000u) == 0x7FF00000u; }

// The record channel's side of BASS_ChannelGetData, BASS_ChannelStop and
// BASS_ChannelIsActive (called by those for a record handle).
DWORD recordGetData(DWORD handle, void *buffer, DWORD length);
BOOL recordStop(DWORD handle);
DWORD recordIsActive(DWORD handle);

} // namespace vorel::audiolib
