// The learner's microphone: the core library's record channel, read through the
// entry-point slots. GUI thread only (or any one thread that owns the object).
// The library's capture callback fills a ring of 30 s; Read must be called at
// least that often while capturing, else the capture is lost (Read says so).
#pragma once

#include <cstdint>
#include <vector>

#include "audiolib.h"

namespace vorel::audio {

// What the window says when no capture device opens; the rest works as before.
inline constexpr const char *NoCaptureNotice = "未找到录音设备：不能跟读录音，其他功能照常。";

class TCapture {
public:
    TCapture() = default;
    ~TCapture(); // stops capturing
    TCapture(const TCapture &) = delete;
    TCapture &operator=(const TCapture &) = delete;

    // Starts capturing mono 16-bit at rate Hz from the default capture device.
    // False with Error() set (the library's code) when none opens.
    bool Open(uint32_t rate);
    bool IsOpen() const { return handle_ != 0; }
    // The record channel (0 when closed).
    HRECORD Handle() const { return handle_; }
    // Appends what was captured since the last call to `to`; returns false when
    // the capture was lost (the ring overflowed or the channel went away): what
    // `to` received before the gap is whole, nothing after it is.
    bool Read(std::vector<int16_t> &to);
    // Frames read so far since Open: the capture's clock.
    int64_t FramesRead() const { return framesRead_; }
    void Close();
    DWORD Error() const { return error_; }

private:
    HRECORD handle_ = 0;
    bool initialised_ = false;
    int64_t framesRead_ = 0;
    DWORD error_ = BASS_OK;
};

} // namespace vorel::audio
