// Entry-point slots of the two audio libraries. The program never links the
// libraries: these pointers are filled by name after the libraries are loaded at
// run time, and every call into the audio engine goes through them.
// Filled and cleared on the GUI thread during start-up and shut-down only.
#pragma once

#include "audiolib.h"

namespace vorel::audio {

// The core library's 95 names, in binding order.
#define VOREL_CORE_ENTRY_POINTS(X)                                                                 \
    X(BASS_SetConfig) X(BASS_GetConfig) X(BASS_GetVersion) X(BASS_GetDeviceDescription)            \
    X(BASS_ErrorGetCode) X(BASS_Init) X(BASS_SetDevice) X(BASS_GetDevice) X(BASS_Free)             \
    X(BASS_GetDSoundObject) X(BASS_GetInfo) X(BASS_Update) X(BASS_GetCPU) X(BASS_Start)            \
    X(BASS_Stop) X(BASS_Pause) X(BASS_SetVolume) X(BASS_GetVolume) X(BASS_PluginLoad)              \
    X(BASS_PluginFree) X(BASS_PluginGetInfo) X(BASS_Set3DFactors) X(BASS_Get3DFactors)             \
    X(BASS_Set3DPosition) X(BASS_Get3DPosition) X(BASS_Apply3D) X(BASS_SetEAXParameters)           \
    X(BASS_GetEAXParameters) X(BASS_MusicLoad) X(BASS_MusicFree) X(BASS_MusicSetAttribute)         \
    X(BASS_MusicGetAttribute) X(BASS_MusicGetOrders) X(BASS_MusicGetOrderPosition)                 \
    X(BASS_SampleLoad) X(BASS_SampleCreate) X(BASS_SampleCreateDone) X(BASS_SampleFree)            \
    X(BASS_SampleGetInfo) X(BASS_SampleSetInfo) X(BASS_SampleGetChannel)                           \
    X(BASS_SampleGetChannels) X(BASS_SampleStop) X(BASS_StreamCreate) X(BASS_StreamCreateFile)     \
    X(BASS_StreamCreateURL) X(BASS_StreamCreateFileUser) X(BASS_StreamFree)                        \
    X(BASS_StreamGetFilePosition) X(BASS_RecordGetDeviceDescription) X(BASS_RecordInit)            \
    X(BASS_RecordSetDevice) X(BASS_RecordGetDevice) X(BASS_RecordFree) X(BASS_RecordGetInfo)       \
    X(BASS_RecordGetInputName) X(BASS_RecordSetInput) X(BASS_RecordGetInput)                       \
    X(BASS_RecordStart) X(BASS_ChannelBytes2Seconds) X(BASS_ChannelSeconds2Bytes)                  \
    X(BASS_ChannelGetDevice) X(BASS_ChannelIsActive) X(BASS_ChannelGetInfo)                        \
    X(BASS_ChannelGetTags) X(BASS_ChannelSetFlags) X(BASS_ChannelPreBuf) X(BASS_ChannelPlay)       \
    X(BASS_ChannelStop) X(BASS_ChannelPause) X(BASS_ChannelSetAttributes)                          \
    X(BASS_ChannelGetAttributes) X(BASS_ChannelSlideAttributes) X(BASS_ChannelIsSliding)           \
    X(BASS_ChannelSet3DAttributes) X(BASS_ChannelGet3DAttributes) X(BASS_ChannelSet3DPosition)     \
    X(BASS_ChannelGet3DPosition) X(BASS_ChannelGetLength) X(BASS_ChannelSetPosition)               \
    X(BASS_ChannelGetPosition) X(BASS_ChannelGetLevel) X(BASS_ChannelGetData)                      \
    X(BASS_ChannelSetSync) X(BASS_ChannelRemoveSync) X(BASS_ChannelSetDSP)                         \
    X(BASS_ChannelRemoveDSP) X(BASS_ChannelSetEAXMix) X(BASS_ChannelGetEAXMix)                     \
    X(BASS_ChannelSetLink) X(BASS_ChannelRemoveLink) X(BASS_ChannelSetFX) X(BASS_ChannelRemoveFX)  \
    X(BASS_FXSetParameters) X(BASS_FXGetParameters)

// The effects library's 7 names, in binding order.
#define VOREL_FX_ENTRY_POINTS(X)                                                                   \
    X(BASS_FX_TempoCreate) X(BASS_FX_TempoGetSource) X(BASS_FX_TempoSet) X(BASS_FX_TempoGet)       \
    X(BASS_FX_TempoGetRateRatio) X(BASS_FX_TempoSetOption) X(BASS_FX_TempoGetOption)

struct CoreSlots {
#define VOREL_SLOT(name) decltype(&::name) name = nullptr;
    VOREL_CORE_ENTRY_POINTS(VOREL_SLOT)
#undef VOREL_SLOT
};

struct FxSlots {
#define VOREL_SLOT(name) decltype(&::name) name = nullptr;
    VOREL_FX_ENTRY_POINTS(VOREL_SLOT)
#undef VOREL_SLOT
};

// Program-wide slots, used by the player and the decoding stream.
extern CoreSlots core;
extern FxSlots fx;

// Binds every name of the core (fx) library from a dlopen handle; all or nothing:
// when a name is missing the slots stay cleared and false is returned.
bool bindCore(void *module);
bool bindFx(void *module);
void clearCore();
void clearFx();

// The modules loaded by loadLibrariesFrom (nullptr when not loaded), e.g. for
// looking up names that are not bound, such as the test entry VorelAudio_Render.
void *coreModule();
void *fxModule();

// Binding by path from the build tree, for the demo and the tests until the data
// module extracts the libraries: dlopen(core), dlopen(fx), bind. Throws
// EAudioError with dlerror()'s text on failure. Safe to call more than once.
void loadLibrariesFrom(const char *corePath, const char *fxPath);
// Clears both slot sets and closes what loadLibrariesFrom opened.
void unloadLibraries();

} // namespace vorel::audio
