#include "player.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "slots.h"

namespace vorel::audio {

namespace {

constexpr DWORD kSyncRangePause = BASS_SYNC_ONETIME | BASS_SYNC_POS;                     // 0x80000000
constexpr DWORD kSyncRangeMessage = BASS_SYNC_ONETIME | BASS_SYNC_MESSAGE | BASS_SYNC_POS; // 0xA0000000
constexpr DWORD kSyncFileEnd = BASS_SYNC_MESSAGE | BASS_SYNC_END;                         // 0x20000002

// Runs on a library thread, possibly the audio thread: it may only pause.
void RangeEndCallback(HSYNC, DWORD, DWORD, DWORD user) { core.BASS_ChannelPause(user); }

SYNCPROC *messageNumber(DWORD msg) {
    return reinterpret_cast<SYNCPROC *>(static_cast<uintptr_t>(msg));
}

} // namespace

TBass::TBass(HWND window) {
    if (!core.BASS_Init || !fx.BASS_FX_TempoCreate)
        throw EAudioError("音频库未加载");
    // Already initialised (tests) is fine; any other failure means no output at
    // all, and blaming every file opened later for it would be wrong.
    if (!core.BASS_Init(-1, 44100, 0, window, nullptr) && core.BASS_ErrorGetCode() != BASS_ERROR_ALREADY) {
        hasOutput_ = false;
        core.BASS_Init(0, 44100, 0, window, nullptr);
    }
    core.BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 20);
    core.BASS_SetConfig(BASS_CONFIG_BUFFER, 100);
}

TBass::~TBass() { core.BASS_Free(); }

void TBass::fire(const TPlayerEvent &event) {
    if (event)
        event(handle, static_cast<DWORD>(core.BASS_ChannelGetPosition(handle)));
}

void TBass::Open(const std::string &path) {
    if (!fileName.empty() && handle != 0) {
        if (fileEndSync != 0)
            core.BASS_ChannelRemoveSync(handle, fileEndSync);
        const DWORD state = core.BASS_ChannelIsActive(handle);
        if (state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_PAUSED)
            core.BASS_ChannelStop(handle);
        core.BASS_StreamFree(handle); // frees the decoding source too
        handle = 0;
        fileEndSync = 0;
    }
    fileName = path;

    handle = OpenFileStream(path, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    if (handle == 0)
        RaiseAudioError("不能打开文件", fileName);
    FillChannelInfo(handle, info);

    // One retry: the first failure is not reported. After the second, handle stays
    // the decoding channel, which cannot be played.
    HSTREAM tempo = fx.BASS_FX_TempoCreate(handle, BASS_FX_FREESOURCE);
    if (tempo == 0)
        tempo = fx.BASS_FX_TempoCreate(handle, BASS_FX_FREESOURCE);
    if (tempo == 0)
        RaiseAudioError("转变", fileName);
    handle = tempo;

    fileEndSync = core.BASS_ChannelSetSync(handle, kSyncFileEnd, 0, messageNumber(WM_FILE_END), 0);
}

void TBass::PlayBytes(int64_t startByte, int64_t endByte) {
    if (startByte > info.byteLength)
        return;
    const int64_t end = endByte > 0 ? endByte : info.byteLength;

    // Fields are left as they are: a sync not set again is removed again next
    // time, and the library's refusal is harmless.
    if (rangePauseSync != 0)
        core.BASS_ChannelRemoveSync(handle, rangePauseSync);
    if (rangeMessageSync != 0)
        core.BASS_ChannelRemoveSync(handle, rangeMessageSync);

    rangePauseSync = core.BASS_ChannelSetSync(handle, kSyncRangePause, static_cast<QWORD>(end),
                                              &RangeEndCallback, handle);
    rangeMessageSync = core.BASS_ChannelSetSync(handle, kSyncRangeMessage, static_cast<QWORD>(end),
                                                messageNumber(WM_SEGMENT_END), handle);

    core.BASS_ChannelSetPosition(handle, static_cast<QWORD>(startByte));
    if (!core.BASS_ChannelPlay(handle, FALSE))
        RaiseAudioError("不能播放", fileName);
    fire(OnStarted);
}

void TBass::Pause() {
    if (core.BASS_ChannelIsActive(handle) == BASS_ACTIVE_PLAYING && core.BASS_ChannelPause(handle))
        fire(OnPaused);
}

void TBass::Resume() {
    if (core.BASS_ChannelIsActive(handle) == BASS_ACTIVE_PAUSED &&
        core.BASS_ChannelPlay(handle, FALSE))
        fire(OnResumed);
}

void TBass::Stop() {
    if (core.BASS_ChannelIsActive(handle) != BASS_ACTIVE_STOPPED && core.BASS_ChannelStop(handle))
        fire(OnStopped);
}

void TBass::SetTempo(int percent) {
    percent = std::clamp(percent, -40, 40);
    if (handle == 0)
        return;
    if (!fx.BASS_FX_TempoSet(handle, static_cast<float>(percent), 0.0f, -100.0f))
        RaiseAudioError("变速", fileName);
}

int32_t CurrentPositionMs(DWORD handle) {
    const QWORD pos = core.BASS_ChannelGetPosition(handle);
    if (pos == QWORD(-1)) // no such channel: a negative time would index before column 0
        return 0;
    return static_cast<int32_t>(
        std::nearbyint(double(core.BASS_ChannelBytes2Seconds(handle, pos)) * 1000.0));
}

} // namespace vorel::audio
