// Configuration, device and error functions, and the functions of the C interface
// the program binds but never calls (they fail with BASS_ERROR_NOTAVAIL).
#include <SDL.h>

#include <algorithm>

#include <vector>

#include "api_util.h"

using namespace vorel::audiolib;

namespace vorel::audiolib {

namespace {
thread_local DWORD tl_error __attribute__((tls_model("initial-exec"))) = BASS_OK;
}

void setError(DWORD code) { tl_error = code; }

Engine &engine() {
    static Engine *e = new Engine; // never destroyed: threads may outlive static destruction
    return *e;
}

} // namespace vorel::audiolib

extern "C" {

AUDIOLIB_API DWORD BASS_ErrorGetCode(void) { return tl_error; }

AUDIOLIB_API DWORD BASS_GetVersion(void) { return 0x02030000; }

AUDIOLIB_API BOOL BASS_SetConfig(DWORD option, DWORD value) {
    Engine &e = engine();
    switch (option) {
    case BASS_CONFIG_BUFFER: e.bufferMs.store(std::clamp<DWORD>(value, 10, 5000)); return ok(TRUE);
    case BASS_CONFIG_UPDATEPERIOD:
        e.updatePeriodMs.store(std::clamp<DWORD>(value, 5, 100));
        wakeUpdate(); // the new period counts from now, not after the old one
        return ok(TRUE);
    case VOREL_CONFIG_MANUAL_CLOCK: e.manualClockConfig.store(value ? 1 : 0); return ok(TRUE);
    default: return fail(BASS_ERROR_ILLTYPE, FALSE);
    }
}

AUDIOLIB_API DWORD BASS_GetConfig(DWORD option) {
    Engine &e = engine();
    switch (option) {
    case BASS_CONFIG_BUFFER: return ok(e.bufferMs.load());
    case BASS_CONFIG_UPDATEPERIOD: return ok(e.updatePeriodMs.load());
    case VOREL_CONFIG_MANUAL_CLOCK: return ok(e.manualClockConfig.load());
    default: return fail(BASS_ERROR_ILLTYPE, DWORD(-1));
    }
}

AUDIOLIB_API const char *BASS_GetDeviceDescription(DWORD device) {
    if (device == 0) return ok("No sound");
    if (device == 1) return ok("Default");
    return fail(BASS_ERROR_DEVICE, static_cast<const char *>(nullptr));
}

AUDIOLIB_API BOOL BASS_Init(int device, DWORD freq, DWORD, HWND win, const void *) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    if (e.initialised) return fail(BASS_ERROR_ALREADY, FALSE);
    if (device < -1 || device > 1) return fail(BASS_ERROR_DEVICE, FALSE);
    if (freq == 0) freq = 44100;
    if (freq < VOREL_MIN_RATE || freq > VOREL_MAX_RATE) return fail(BASS_ERROR_FORMAT, FALSE);
    e.device = device;
    e.rate = freq;
    e.manualClock = device == 0 && e.manualClockConfig.load() != 0;
    e.target = static_cast<const VOREL_MSGTARGET *>(win);
    e.notes.clear();
    DWORD error = BASS_OK;
    if (!startOutput(device, error)) {
        e.target = nullptr;
        return fail(error, FALSE);
    }
    e.initialised = true;
    return ok(TRUE);
}

AUDIOLIB_API BOOL BASS_Free(void) {
    Engine &e = engine();
    forgetMessageSyncs(0, 0);
    std::lock_guard<std::mutex> lock(e.api);
    if (!e.initialised) return fail(BASS_ERROR_INIT, FALSE);
    stopOutput();
    std::vector<DWORD> handles;
    for (auto &[h, ch] : e.channels) handles.push_back(h);
    for (DWORD h : handles) destroyChannel(h);
    e.notes.clear();
    e.target = nullptr;
    e.initialised = false;
    return ok(TRUE);
}

AUDIOLIB_API BOOL BASS_SetDevice(DWORD device) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    if (!e.initialised) return fail(BASS_ERROR_INIT, FALSE);
    if (device != DWORD(e.device < 0 ? 1 : e.device)) return fail(BASS_ERROR_DEVICE, FALSE);
    return ok(TRUE);
}

AUDIOLIB_API DWORD BASS_GetDevice(void) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    if (!e.initialised) return fail(BASS_ERROR_INIT, DWORD(-1));
    return ok(DWORD(e.device < 0 ? 1 : e.device));
}

AUDIOLIB_API BOOL BASS_GetInfo(BASS_INFO *info) {
    Engine &e = engine();
    std::lock_guard<std::mutex> lock(e.api);
    if (!e.initialised) return fail(BASS_ERROR_INIT, FALSE);
    if (!info) return fail(BASS_ERROR_ILLPARAM, FALSE);
    *info = BASS_INFO{};
    info->latency = DWORD(e.latencyFrames.load() * 1000 / e.rate);
    info->minbuf = info->latency;
    info->speakers = 2;
    info->freq = e.rate;
    return ok(TRUE);
}

// Entry points bound by the program but not part of what it uses.
#define NOTAVAIL(ret) return fail(BASS_ERROR_NOTAVAIL, ret)

AUDIOLIB_API void *BASS_GetDSoundObject(DWORD) { NOTAVAIL(static_cast<void *>(nullptr)); }
AUDIOLIB_API BOOL BASS_Update(void) { NOTAVAIL(FALSE); }
AUDIOLIB_API float BASS_GetCPU(void) { NOTAVAIL(0.0f); }
AUDIOLIB_API BOOL BASS_Start(void) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_Stop(void) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_Pause(void) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_SetVolume(DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API DWORD BASS_GetVolume(void) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API HPLUGIN BASS_PluginLoad(const char *, DWORD) { NOTAVAIL(HPLUGIN(0)); }
AUDIOLIB_API BOOL BASS_PluginFree(HPLUGIN) { NOTAVAIL(FALSE); }
AUDIOLIB_API const BASS_PLUGININFO *BASS_PluginGetInfo(HPLUGIN) {
    NOTAVAIL(static_cast<const BASS_PLUGININFO *>(nullptr));
}
AUDIOLIB_API BOOL BASS_Set3DFactors(float, float, float) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_Get3DFactors(float *, float *, float *) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_Set3DPosition(const BASS_3DVECTOR *, const BASS_3DVECTOR *, const BASS_3DVECTOR *,
                                     const BASS_3DVECTOR *) {
    NOTAVAIL(FALSE);
}
AUDIOLIB_API BOOL BASS_Get3DPosition(BASS_3DVECTOR *, BASS_3DVECTOR *, BASS_3DVECTOR *, BASS_3DVECTOR *) {
    NOTAVAIL(FALSE);
}
AUDIOLIB_API void BASS_Apply3D(void) { setError(BASS_ERROR_NOTAVAIL); }
AUDIOLIB_API BOOL BASS_SetEAXParameters(int, float, float, float) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_GetEAXParameters(DWORD *, float *, float *, float *) { NOTAVAIL(FALSE); }

AUDIOLIB_API HMUSIC BASS_MusicLoad(BOOL, const void *, QWORD, DWORD, DWORD, DWORD) { NOTAVAIL(HMUSIC(0)); }
AUDIOLIB_API BOOL BASS_MusicFree(HMUSIC) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_MusicSetAttribute(HMUSIC, DWORD, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API DWORD BASS_MusicGetAttribute(HMUSIC, DWORD) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API DWORD BASS_MusicGetOrders(HMUSIC) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API DWORD BASS_MusicGetOrderPosition(HMUSIC) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API HSAMPLE BASS_SampleLoad(BOOL, const void *, QWORD, DWORD, DWORD, DWORD) { NOTAVAIL(HSAMPLE(0)); }
AUDIOLIB_API void *BASS_SampleCreate(DWORD, DWORD, DWORD, DWORD, DWORD) { NOTAVAIL(static_cast<void *>(nullptr)); }
AUDIOLIB_API HSAMPLE BASS_SampleCreateDone(void) { NOTAVAIL(HSAMPLE(0)); }
AUDIOLIB_API BOOL BASS_SampleFree(HSAMPLE) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_SampleGetInfo(HSAMPLE, BASS_SAMPLE *) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_SampleSetInfo(HSAMPLE, const BASS_SAMPLE *) { NOTAVAIL(FALSE); }
AUDIOLIB_API HCHANNEL BASS_SampleGetChannel(HSAMPLE, BOOL) { NOTAVAIL(HCHANNEL(0)); }
AUDIOLIB_API DWORD BASS_SampleGetChannels(HSAMPLE, HCHANNEL *) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API BOOL BASS_SampleStop(HSAMPLE) { NOTAVAIL(FALSE); }

AUDIOLIB_API HSTREAM BASS_StreamCreateURL(const char *, DWORD, DWORD, DOWNLOADPROC *, DWORD) {
    NOTAVAIL(HSTREAM(0));
}
AUDIOLIB_API HSTREAM BASS_StreamCreateFileUser(DWORD, DWORD, const BASS_FILEPROCS *, void *) {
    NOTAVAIL(HSTREAM(0));
}

AUDIOLIB_API const char *BASS_RecordGetDeviceDescription(DWORD) { NOTAVAIL(static_cast<const char *>(nullptr)); }
AUDIOLIB_API BOOL BASS_RecordSetDevice(DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_RecordGetInfo(BASS_RECORDINFO *) { NOTAVAIL(FALSE); }
AUDIOLIB_API const char *BASS_RecordGetInputName(int) { NOTAVAIL(static_cast<const char *>(nullptr)); }
AUDIOLIB_API BOOL BASS_RecordSetInput(int, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API DWORD BASS_RecordGetInput(int) { NOTAVAIL(DWORD(-1)); }

AUDIOLIB_API DWORD BASS_ChannelGetDevice(DWORD) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API BOOL BASS_ChannelSetFlags(DWORD, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelPreBuf(DWORD, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelSetAttributes(DWORD, int, int, int) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelSlideAttributes(DWORD, int, int, int, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API DWORD BASS_ChannelIsSliding(DWORD) { NOTAVAIL(DWORD(0)); }
AUDIOLIB_API BOOL BASS_ChannelSet3DAttributes(DWORD, int, float, float, int, int, int) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelGet3DAttributes(DWORD, DWORD *, float *, float *, DWORD *, DWORD *, DWORD *) {
    NOTAVAIL(FALSE);
}
AUDIOLIB_API BOOL BASS_ChannelSet3DPosition(DWORD, const BASS_3DVECTOR *, const BASS_3DVECTOR *,
                                            const BASS_3DVECTOR *) {
    NOTAVAIL(FALSE);
}
AUDIOLIB_API BOOL BASS_ChannelGet3DPosition(DWORD, BASS_3DVECTOR *, BASS_3DVECTOR *, BASS_3DVECTOR *) {
    NOTAVAIL(FALSE);
}
AUDIOLIB_API DWORD BASS_ChannelGetLevel(DWORD) { NOTAVAIL(DWORD(-1)); }
AUDIOLIB_API HDSP BASS_ChannelSetDSP(DWORD, DSPPROC *, DWORD, int) { NOTAVAIL(HDSP(0)); }
AUDIOLIB_API BOOL BASS_ChannelRemoveDSP(DWORD, HDSP) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelSetEAXMix(DWORD, float) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelGetEAXMix(DWORD, float *) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelSetLink(DWORD, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_ChannelRemoveLink(DWORD, DWORD) { NOTAVAIL(FALSE); }
AUDIOLIB_API HFX BASS_ChannelSetFX(DWORD, DWORD, DWORD) { NOTAVAIL(HFX(0)); }
AUDIOLIB_API BOOL BASS_ChannelRemoveFX(DWORD, HFX) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_FXSetParameters(HFX, const void *) { NOTAVAIL(FALSE); }
AUDIOLIB_API BOOL BASS_FXGetParameters(HFX, void *) { NOTAVAIL(FALSE); }

} // extern "C"
