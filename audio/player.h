// The player: one audio file at a time through a tempo stream (speed changes keep
// the pitch), playing a range and pausing itself at its stop.
//
// GUI thread only. The end of a range and the end of the file arrive as messages
// posted by the core library to the message target given to the constructor
// (WM_SEGMENT_END, WM_FILE_END); start, pause, resume and stop arrive as events,
// called synchronously after the matching action succeeded. Failures of open,
// play and tempo change throw EAudioError; pause, resume and stop fail silently.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "channelinfo.h"

namespace vorel::audio {

inline constexpr DWORD WM_USER = 0x400;
inline constexpr DWORD WM_SEGMENT_END = WM_USER + 201; // 0x4C9
inline constexpr DWORD WM_FILE_END = WM_USER + 202;    // 0x4CA

// handle: the playback stream; pos: its byte position (low 32 bits).
using TPlayerEvent = std::function<void(DWORD handle, DWORD pos)>;

// What the window says when there is no sound output (TBass::HasOutput false).
inline constexpr const char *NoSoundOutputNotice = "未找到声音输出设备：可以打开文件、显示波形和断句，但听不到声音。";

class TBass {
public:
    // window: a VOREL_MSGTARGET* that receives the end messages; it must outlive
    // the player. Initialises the default output. Without any sound output (no
    // device, no sound server) it initialises the no-sound device instead, so
    // that files still open, are sampled and split; HasOutput then says false.
    explicit TBass(HWND window);
    // False when no sound output was found: playback runs silent.
    bool HasOutput() const { return hasOutput_; }
    // Releases everything the core library holds (BASS_Free).
    ~TBass();
    TBass(const TBass &) = delete;
    TBass &operator=(const TBass &) = delete;

    // Stops and frees the previous file. On failure handle is 0 and fileName the
    // failed path.
    void Open(const std::string &path);
    // Plays [startByte, endByte) of handle and pauses there with WM_SEGMENT_END
    // (OnStarted once it plays); endByte <= 0 plays to the end of the file. A start
    // beyond the file does nothing.
    void PlayBytes(int64_t startByte, int64_t endByte);
    void Pause();  // only while playing
    void Resume(); // only while paused
    void Stop();   // only while not stopped
    // Clamped to -40..40 percent; does nothing without a file.
    void SetTempo(int percent);

    void SetOnResumed(TPlayerEvent e) { OnResumed = std::move(e); }
    void SetOnPaused(TPlayerEvent e) { OnPaused = std::move(e); }
    void SetOnStopped(TPlayerEvent e) { OnStopped = std::move(e); }
    void SetOnStarted(TPlayerEvent e) { OnStarted = std::move(e); }

    DWORD handle = 0;
    HSYNC rangePauseSync = 0;
    HSYNC rangeMessageSync = 0;
    HSYNC fileEndSync = 0;
    TChannelInfo info;
    std::string fileName;
    TPlayerEvent OnResumed;
    TPlayerEvent OnPaused;
    TPlayerEvent OnStopped;
    TPlayerEvent OnStarted;

private:
    void fire(const TPlayerEvent &event);

    bool hasOutput_ = true;
};

// The channel's current position in ms, rounded (halves to even); 0 when the
// library cannot tell (no such channel).
int32_t CurrentPositionMs(DWORD handle);

} // namespace vorel::audio
