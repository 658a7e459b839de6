/*
 * Vorel audio libraries: the C interface of the core library (soname "bass.dll")
 * and of the effects library (tempo streams).
 *
 * Units: byte positions and lengths count bytes of the channel's own PCM format
 * (8-bit unsigned or 16-bit signed, interleaved); for a tempo stream they count
 * bytes of its source. Seconds are 32-bit floats.
 *
 * Threads: every function may be called from any non-realtime thread; calls are
 * serialised inside the library, except that opening a file (BASS_StreamCreateFile)
 * and reading a decoding channel (BASS_ChannelGetData) hold only that channel's
 * lock while they decode: threads that each open and read decoding channels of
 * their own decode in parallel. BASS_ChannelPause (and BASS_ErrorGetCode) may
 * also be called from a sync procedure, which may run on the audio thread; there
 * they neither lock nor allocate. Sync procedures and stream procedures run on
 * library threads and must not call any other function of the library.
 * The library's threads: the audio callback (SDL's thread for device -1, the
 * library's clock thread for device 0, VorelAudio_Render's caller in manual-clock
 * mode) mixes what was rendered ahead and calls sync procedures; it never locks,
 * allocates or decodes. An update thread renders ahead (decoding, tempo
 * processing, stream procedures) every update period; a notifier thread posts
 * sync messages. Error codes are per thread.
 *
 * Errors: a failing call returns 0 (or -1 where a count is returned) and sets the
 * calling thread's error code, read with BASS_ErrorGetCode.
 *
 * Ownership: the library owns every channel, sync and buffer behind a handle until
 * BASS_StreamFree or BASS_Free. The message target passed to BASS_Init is owned by
 * the caller and must stay valid until BASS_Free returns.
 */
#ifndef VOREL_AUDIOLIB_H
#define VOREL_AUDIOLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VOREL_AUDIOLIB_BUILD)
#define AUDIOLIB_API __attribute__((visibility("default")))
#else
#define AUDIOLIB_API
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HMUSIC;
typedef DWORD HSAMPLE;
typedef DWORD HCHANNEL;
typedef DWORD HSTREAM;
typedef DWORD HRECORD;
typedef DWORD HSYNC;
typedef DWORD HDSP;
typedef DWORD HFX;
typedef DWORD HPLUGIN;
typedef void *HWND;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

/*
 * Where message syncs post to. The "window" given to BASS_Init is a pointer to
 * one of these (or NULL: message syncs then post nothing). post() is called from
 * the library's notifier thread (in manual-clock mode from inside
 * VorelAudio_Render), never from the audio callback, after any pause caused by the
 * same sync position has taken effect; it must be thread-safe. It may query the
 * library (e.g. BASS_ChannelIsActive) but must not call BASS_Free. Once
 * BASS_ChannelRemoveSync, BASS_StreamFree or BASS_Free has returned, nothing more
 * is posted for the syncs concerned. wparam is the channel's handle; lparam is 0.
 */
typedef struct VOREL_MSGTARGET {
    void (*post)(void *context, DWORD msg, DWORD wparam, DWORD lparam);
    void *context;
} VOREL_MSGTARGET;

/* Error codes (BASS_ErrorGetCode) */
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_BUFLOST 4
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_POSITION 7
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_NOTPAUSED 16
#define BASS_ERROR_NOTAUDIO 17
#define BASS_ERROR_NOCHAN 18
#define BASS_ERROR_ILLTYPE 19
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_NO3D 21
#define BASS_ERROR_NOEAX 22
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_FREQ 25
#define BASS_ERROR_NOTFILE 27
#define BASS_ERROR_NOHW 29
#define BASS_ERROR_EMPTY 31
#define BASS_ERROR_NONET 32
#define BASS_ERROR_CREATE 33
#define BASS_ERROR_NOFX 34
#define BASS_ERROR_PLAYING 35
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_DECODE 38
#define BASS_ERROR_DX 39
#define BASS_ERROR_TIMEOUT 40
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_SPEAKER 42
#define BASS_ERROR_VERSION 43
#define BASS_ERROR_CODEC 44
#define BASS_ERROR_UNKNOWN ((DWORD)-1)

/* The sample rates (Hz) of every stream, and of the output (BASS_Init): the tempo
 * processor works from 1 kHz to 192 kHz. */
#define VOREL_MIN_RATE 1000
#define VOREL_MAX_RATE 192000
#define BASS_FX_ERROR_NODECODE 100

/* BASS_SetConfig options; they apply from the next update pass. */
#define BASS_CONFIG_BUFFER 0   /* how far ahead channels are rendered, ms (10..5000, default 500) */
#define BASS_CONFIG_UPDATEPERIOD 1 /* period of the update thread, ms (5..100, default 100) */
/* Ours, for tests: when set to 1 before BASS_Init(0, ...), device 0 runs no clock
 * thread; the mixer advances only through VorelAudio_Render. */
#define VOREL_CONFIG_MANUAL_CLOCK 0x10000

/* Sample / stream flags */
#define BASS_SAMPLE_8BITS 1
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_LOOP 4
#define BASS_SAMPLE_FLOAT 256
#define BASS_STREAM_PRESCAN 0x20000
#define BASS_STREAM_AUTOFREE 0x40000
#define BASS_STREAM_DECODE 0x200000
#define BASS_UNICODE 0x80000000u

/* Channel types (BASS_CHANNELINFO.ctype) */
#define BASS_CTYPE_STREAM 0x10000
#define BASS_CTYPE_STREAM_OGG 0x10002
#define BASS_CTYPE_STREAM_MP3 0x10005
#define BASS_CTYPE_STREAM_FLAC 0x10900
#define BASS_CTYPE_STREAM_AAC 0x10b00
#define BASS_CTYPE_STREAM_MP4 0x10b01
#define BASS_CTYPE_STREAM_ALAC 0x10e00
#define BASS_CTYPE_STREAM_OPUS 0x11200
#define BASS_CTYPE_STREAM_WAV 0x40000
#define BASS_CTYPE_STREAM_WAV_PCM 0x50001
#define BASS_CTYPE_STREAM_WAV_FLOAT 0x50003
#define BASS_CTYPE_STREAM_TEMPO 0x1f200

/* BASS_ChannelGetTags: the container's chapter marks (MP4/M4A/M4B, Matroska/WebM), a
 * series of NUL-terminated UTF-8 strings "<start ms>\t<title>" in time order, ended
 * by a second NUL. */
#define VOREL_TAG_CHAPTERS 0x10800

/* BASS_ChannelIsActive */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* Sync types */
#define BASS_SYNC_POS 0
#define BASS_SYNC_END 2
#define BASS_SYNC_MESSAGE 0x20000000u
#define BASS_SYNC_MIXTIME 0x40000000u
#define BASS_SYNC_ONETIME 0x80000000u

/* BASS_StreamGetFilePosition modes */
#define BASS_FILEPOS_CURRENT 0
#define BASS_FILEPOS_DECODE 1
#define BASS_FILEPOS_END 2
#define BASS_FILEPOS_START 3

/* Stream procedure: return the bytes written, with BASS_STREAMPROC_END set at the end. */
#define BASS_STREAMPROC_END 0x80000000u

/* Effects library flags */
#define BASS_FX_FREESOURCE 0x10000

typedef struct BASS_CHANNELINFO {
    DWORD freq;
    DWORD chans;
    DWORD flags;
    DWORD ctype;
    DWORD origres;
    DWORD plugin;
} BASS_CHANNELINFO;

typedef struct BASS_INFO {
    DWORD flags, hwsize, hwfree, freesam, free3d, minrate, maxrate, eax, minbuf, dsver, latency,
        initflags, speakers, freq;
} BASS_INFO;

typedef struct BASS_RECORDINFO {
    DWORD flags, formats, inputs;
    BOOL singlein;
    DWORD freq;
} BASS_RECORDINFO;

typedef struct BASS_SAMPLE {
    DWORD freq, volume;
    int pan;
    DWORD flags, length, max, origres, chans, mingap, mode3d;
    float mindist, maxdist;
    DWORD iangle, oangle, outvol, vam, priority;
} BASS_SAMPLE;

typedef struct BASS_PLUGININFO {
    DWORD version, formatc;
    const void *formats;
} BASS_PLUGININFO;

typedef struct BASS_3DVECTOR {
    float x, y, z;
} BASS_3DVECTOR;

typedef struct BASS_FILEPROCS {
    void *close, *length, *read, *seek;
} BASS_FILEPROCS;

typedef void SYNCPROC(HSYNC handle, DWORD channel, DWORD data, DWORD user);
typedef DWORD STREAMPROC(HSTREAM handle, void *buffer, DWORD length, DWORD user);
typedef void DSPPROC(HDSP handle, DWORD channel, void *buffer, DWORD length, DWORD user);
typedef BOOL RECORDPROC(HRECORD handle, const void *buffer, DWORD length, DWORD user);
typedef void DOWNLOADPROC(const void *buffer, DWORD length, DWORD user);

/* ---- Core library: configuration, device, errors ---- */
AUDIOLIB_API BOOL BASS_SetConfig(DWORD option, DWORD value);
AUDIOLIB_API DWORD BASS_GetConfig(DWORD option);
AUDIOLIB_API DWORD BASS_GetVersion(void);
AUDIOLIB_API const char *BASS_GetDeviceDescription(DWORD device);
AUDIOLIB_API DWORD BASS_ErrorGetCode(void);
/* device -1: default output through SDL (s16 stereo at freq, SDL converts;
 * BASS_ERROR_DRIVER when SDL has no usable output); device 0: no output, channels
 * advance in real time on the library's own clock (or through VorelAudio_Render).
 * win: a VOREL_MSGTARGET * or NULL. Twice without BASS_Free: BASS_ERROR_ALREADY. */
AUDIOLIB_API BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void *clsid);
AUDIOLIB_API BOOL BASS_SetDevice(DWORD device);
AUDIOLIB_API DWORD BASS_GetDevice(void);
/* Frees every channel and sync and closes the output. */
AUDIOLIB_API BOOL BASS_Free(void);
AUDIOLIB_API void *BASS_GetDSoundObject(DWORD object);
AUDIOLIB_API BOOL BASS_GetInfo(BASS_INFO *info);
AUDIOLIB_API BOOL BASS_Update(void);
AUDIOLIB_API float BASS_GetCPU(void);
AUDIOLIB_API BOOL BASS_Start(void);
AUDIOLIB_API BOOL BASS_Stop(void);
AUDIOLIB_API BOOL BASS_Pause(void);
AUDIOLIB_API BOOL BASS_SetVolume(DWORD volume);
AUDIOLIB_API DWORD BASS_GetVolume(void);
AUDIOLIB_API HPLUGIN BASS_PluginLoad(const char *file, DWORD flags);
AUDIOLIB_API BOOL BASS_PluginFree(HPLUGIN handle);
AUDIOLIB_API const BASS_PLUGININFO *BASS_PluginGetInfo(HPLUGIN handle);
AUDIOLIB_API BOOL BASS_Set3DFactors(float distf, float rollf, float doppf);
AUDIOLIB_API BOOL BASS_Get3DFactors(float *distf, float *rollf, float *doppf);
AUDIOLIB_API BOOL BASS_Set3DPosition(const BASS_3DVECTOR *pos, const BASS_3DVECTOR *vel,
                                     const BASS_3DVECTOR *front, const BASS_3DVECTOR *top);
AUDIOLIB_API BOOL BASS_Get3DPosition(BASS_3DVECTOR *pos, BASS_3DVECTOR *vel, BASS_3DVECTOR *front,
                                     BASS_3DVECTOR *top);
AUDIOLIB_API void BASS_Apply3D(void);
AUDIOLIB_API BOOL BASS_SetEAXParameters(int env, float vol, float decay, float damp);
AUDIOLIB_API BOOL BASS_GetEAXParameters(DWORD *env, float *vol, float *decay, float *damp);

/* ---- Music, samples (not supported: fail with BASS_ERROR_NOTAVAIL) ---- */
AUDIOLIB_API HMUSIC BASS_MusicLoad(BOOL mem, const void *file, QWORD offset, DWORD length,
                                   DWORD flags, DWORD freq);
AUDIOLIB_API BOOL BASS_MusicFree(HMUSIC handle);
AUDIOLIB_API BOOL BASS_MusicSetAttribute(HMUSIC handle, DWORD attrib, DWORD value);
AUDIOLIB_API DWORD BASS_MusicGetAttribute(HMUSIC handle, DWORD attrib);
AUDIOLIB_API DWORD BASS_MusicGetOrders(HMUSIC handle);
AUDIOLIB_API DWORD BASS_MusicGetOrderPosition(HMUSIC handle);
AUDIOLIB_API HSAMPLE BASS_SampleLoad(BOOL mem, const void *file, QWORD offset, DWORD length,
                                     DWORD max, DWORD flags);
AUDIOLIB_API void *BASS_SampleCreate(DWORD length, DWORD freq, DWORD chans, DWORD max, DWORD flags);
AUDIOLIB_API HSAMPLE BASS_SampleCreateDone(void);
AUDIOLIB_API BOOL BASS_SampleFree(HSAMPLE handle);
AUDIOLIB_API BOOL BASS_SampleGetInfo(HSAMPLE handle, BASS_SAMPLE *info);
AUDIOLIB_API BOOL BASS_SampleSetInfo(HSAMPLE handle, const BASS_SAMPLE *info);
AUDIOLIB_API HCHANNEL BASS_SampleGetChannel(HSAMPLE handle, BOOL onlynew);
AUDIOLIB_API DWORD BASS_SampleGetChannels(HSAMPLE handle, HCHANNEL *channels);
AUDIOLIB_API BOOL BASS_SampleStop(HSAMPLE handle);

/* ---- Streams ---- */
/* A user stream: proc is called on a library thread (never the audio callback) to
 * fill buffer with up to length bytes of freq/chans/flags PCM. freq lies in
 * VOREL_MIN_RATE ... VOREL_MAX_RATE, else BASS_ERROR_FORMAT. */
AUDIOLIB_API HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC *proc,
                                       DWORD user);
/* A file stream. mem must be FALSE (memory streams fail with BASS_ERROR_NOTAVAIL);
 * file is a NUL-terminated UTF-8 path; offset and length must be 0. Missing or
 * unreadable file: BASS_ERROR_FILEOPEN; no audio we can decode, or a sample rate
 * outside VOREL_MIN_RATE ... VOREL_MAX_RATE: BASS_ERROR_FILEFORM; a container (MP4,
 * Matroska...) without an audio track: BASS_ERROR_NOTAUDIO. Every stream this
 * opens plays, also through a tempo stream. */
AUDIOLIB_API HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length,
                                           DWORD flags);
AUDIOLIB_API HSTREAM BASS_StreamCreateURL(const char *url, DWORD offset, DWORD flags,
                                          DOWNLOADPROC *proc, DWORD user);
AUDIOLIB_API HSTREAM BASS_StreamCreateFileUser(DWORD system, DWORD flags,
                                               const BASS_FILEPROCS *procs, void *user);
AUDIOLIB_API BOOL BASS_StreamFree(HSTREAM handle);
/* mode BASS_FILEPOS_END: the file's size in bytes; -1 on failure. */
AUDIOLIB_API DWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);

/* ---- Recording ----
 * Capture from SDL's default capture device, whatever driver SDL picks (honouring
 * SDL's environment variables; SDL_AUDIODRIVER=disk reads SDL_DISKAUDIOFILEIN).
 * Independent of BASS_Init/BASS_Free. One record channel at a time.
 * Threads: any non-realtime thread; the record calls are serialised by a lock of
 * their own that the capture callback never takes. BASS_RecordInit and
 * BASS_RecordFree must not run at the same time as BASS_Init or BASS_Free (SDL's
 * subsystem start and stop are not thread-safe); call them on one thread. The capture callback (SDL's
 * thread) only copies into a ring of 30 s preallocated by BASS_RecordStart: it
 * never locks, allocates, logs or calls back. Exactly one thread at a time may
 * read the record channel (BASS_ChannelGetData); it must read at least every 30 s.
 * Ownership: the library owns the ring and the device until BASS_ChannelStop on
 * the record channel or BASS_RecordFree; the caller owns the buffers it reads into.
 * Only the names below and BASS_ChannelGetData, BASS_ChannelStop and
 * BASS_ChannelIsActive work on a record channel; the other record names fail
 * with BASS_ERROR_NOTAVAIL. */
/* device -1 or 0: the default capture device. BASS_ERROR_DRIVER when SDL has no
 * audio driver, BASS_ERROR_DEVICE when the driver says it has no capture device;
 * twice without BASS_RecordFree: BASS_ERROR_ALREADY. */
AUDIOLIB_API BOOL BASS_RecordInit(int device);
/* Stops the record channel (if any) and releases SDL's audio subsystem. */
AUDIOLIB_API BOOL BASS_RecordFree(void);
/* 0 after BASS_RecordInit, else -1 with BASS_ERROR_INIT. */
AUDIOLIB_API DWORD BASS_RecordGetDevice(void);
/* Starts capturing freq Hz, chans (1 or 2) channels of 16-bit PCM (SDL converts
 * from the device's format); proc must be NULL (BASS_ERROR_NOTAVAIL): the sound is
 * read with BASS_ChannelGetData. No capture device can be opened: BASS_ERROR_DRIVER.
 * Before BASS_RecordInit: BASS_ERROR_INIT; a record channel already open:
 * BASS_ERROR_ALREADY; 8-bit, float, a rate outside VOREL_MIN_RATE ...
 * VOREL_MAX_RATE or other channel counts: BASS_ERROR_FORMAT.
 * On the record channel: BASS_ChannelGetData(h, buf, n) moves up to n bytes (whole
 * frames) of what was captured into buf and returns the bytes moved (0 when
 * nothing waits; never blocks); with n == 0 it returns the bytes waiting. When
 * the reader fell 30 s behind, the capture keeps nothing more: once what was kept
 * is read, BASS_ChannelGetData fails with BASS_ERROR_BUFLOST and
 * BASS_ChannelIsActive says BASS_ACTIVE_STALLED (else BASS_ACTIVE_PLAYING).
 * BASS_ChannelStop closes the device and frees the channel; it returns after the
 * last capture callback. */
AUDIOLIB_API HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc,
                                      DWORD user);
/* Not supported (BASS_ERROR_NOTAVAIL). */
AUDIOLIB_API const char *BASS_RecordGetDeviceDescription(DWORD device);
AUDIOLIB_API BOOL BASS_RecordSetDevice(DWORD device);
AUDIOLIB_API BOOL BASS_RecordGetInfo(BASS_RECORDINFO *info);
AUDIOLIB_API const char *BASS_RecordGetInputName(int input);
AUDIOLIB_API BOOL BASS_RecordSetInput(int input, DWORD setting);
AUDIOLIB_API DWORD BASS_RecordGetInput(int input);

/* ---- Channels ---- */
AUDIOLIB_API float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
AUDIOLIB_API QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos);
AUDIOLIB_API DWORD BASS_ChannelGetDevice(DWORD handle);
/* BASS_ACTIVE_*; a decoding channel is PLAYING until its end, then STOPPED. */
AUDIOLIB_API DWORD BASS_ChannelIsActive(DWORD handle);
AUDIOLIB_API BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info);
/* tags VOREL_TAG_CHAPTERS only, on a file stream: NULL with BASS_ERROR_NOTAVAIL when
 * the file has no chapters, BASS_ERROR_ILLTYPE for other tags. Any thread; the text
 * belongs to the channel and stays valid until the channel is freed. */
AUDIOLIB_API const char *BASS_ChannelGetTags(DWORD handle, DWORD tags);
AUDIOLIB_API BOOL BASS_ChannelSetFlags(DWORD handle, DWORD flags);
AUDIOLIB_API BOOL BASS_ChannelPreBuf(DWORD handle, DWORD length);
/* Decoding channels cannot be played: BASS_ERROR_DECODE. restart FALSE continues
 * exactly where the channel paused or stopped (from the start after its end).
 * After the output was lost and could not be opened again (the playing channels
 * were stopped then), it tries to open the default output once more and fails
 * with BASS_ERROR_DRIVER when none opens. */
AUDIOLIB_API BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
/* Drops what was rendered ahead; the position stays where it stopped. On a
 * decoding channel: it reports STOPPED until BASS_ChannelSetPosition. */
AUDIOLIB_API BOOL BASS_ChannelStop(DWORD handle);
/* Safe from a sync procedure on the audio thread (lock-free there). */
AUDIOLIB_API BOOL BASS_ChannelPause(DWORD handle);
AUDIOLIB_API BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
/* freq: the channel's sample rate in Hz; volume 0..100; pan -100..100. Any may be NULL. */
AUDIOLIB_API BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan);
AUDIOLIB_API BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan,
                                              DWORD time);
AUDIOLIB_API DWORD BASS_ChannelIsSliding(DWORD handle);
AUDIOLIB_API BOOL BASS_ChannelSet3DAttributes(DWORD handle, int mode, float min, float max,
                                              int iangle, int oangle, int outvol);
AUDIOLIB_API BOOL BASS_ChannelGet3DAttributes(DWORD handle, DWORD *mode, float *min, float *max,
                                              DWORD *iangle, DWORD *oangle, DWORD *outvol);
AUDIOLIB_API BOOL BASS_ChannelSet3DPosition(DWORD handle, const BASS_3DVECTOR *pos,
                                            const BASS_3DVECTOR *orient,
                                            const BASS_3DVECTOR *vel);
AUDIOLIB_API BOOL BASS_ChannelGet3DPosition(DWORD handle, BASS_3DVECTOR *pos,
                                            BASS_3DVECTOR *orient, BASS_3DVECTOR *vel);
/* Bytes of PCM; (QWORD)-1 on failure. */
AUDIOLIB_API QWORD BASS_ChannelGetLength(DWORD handle);
/* Sample-exact; beyond the end: BASS_ERROR_POSITION. */
AUDIOLIB_API BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos);
/* On a playing channel: the position being heard (decoded position less what still
 * waits in the output buffers and the tempo processor). (QWORD)-1 on failure. */
AUDIOLIB_API QWORD BASS_ChannelGetPosition(DWORD handle);
AUDIOLIB_API DWORD BASS_ChannelGetLevel(DWORD handle);
/* Decoding channels only (else BASS_ERROR_NOTAVAIL): up to length bytes (whole
 * frames) of PCM into buffer; 0 at the end; with BASS_SAMPLE_LOOP reading wraps
 * to the start. (DWORD)-1 on failure. */
AUDIOLIB_API DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);
/* type: BASS_SYNC_POS or BASS_SYNC_END, optionally | BASS_SYNC_ONETIME | BASS_SYNC_MIXTIME
 * | BASS_SYNC_MESSAGE. With BASS_SYNC_MESSAGE, proc carries the message number
 * ((SYNCPROC *)(uintptr_t)msg) posted to the BASS_Init target. A position sync's
 * procedure is called at mix time, possibly on the audio thread, when the frame
 * before param has been mixed and no later one; if it pauses the channel, nothing
 * past param is played. A position the stream never reaches never fires. Syncs on
 * decoding channels are kept but never fire. */
AUDIOLIB_API HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc,
                                       DWORD user);
AUDIOLIB_API BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);
AUDIOLIB_API HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC *proc, DWORD user, int priority);
AUDIOLIB_API BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp);
AUDIOLIB_API BOOL BASS_ChannelSetEAXMix(DWORD handle, float mix);
AUDIOLIB_API BOOL BASS_ChannelGetEAXMix(DWORD handle, float *mix);
AUDIOLIB_API BOOL BASS_ChannelSetLink(DWORD handle, DWORD chan);
AUDIOLIB_API BOOL BASS_ChannelRemoveLink(DWORD handle, DWORD chan);
AUDIOLIB_API HFX BASS_ChannelSetFX(DWORD handle, DWORD type, DWORD priority);
AUDIOLIB_API BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx);
AUDIOLIB_API BOOL BASS_FXSetParameters(HFX handle, const void *par);
AUDIOLIB_API BOOL BASS_FXGetParameters(HFX handle, void *par);

/* ---- Ours, for tests (not among the bound names) ----
 * With VOREL_CONFIG_MANUAL_CLOCK set and BASS_Init(0, ...): mix the next `frames`
 * output frames (interleaved stereo s16 at the BASS_Init rate) into out, exactly as
 * the device callback would, then deliver due message syncs before returning.
 * Returns the frames written, or -1 when the library is not in manual-clock mode.
 * Caller's thread; not concurrent with other calls. */
AUDIOLIB_API int VorelAudio_Render(int16_t *out, int frames);

/* ---- Effects library ---- */
/* chan: a decoding channel (else BASS_FX_ERROR_NODECODE), used from its start.
 * flags: BASS_FX_FREESOURCE frees chan with the tempo stream. A tempo stream is
 * always playable: BASS_STREAM_DECODE fails with BASS_ERROR_NOTAVAIL. Freeing chan
 * while the tempo stream plays ends the tempo stream. */
AUDIOLIB_API HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags);
AUDIOLIB_API DWORD BASS_FX_TempoGetSource(HSTREAM chan);
/* tempo: change in percent (-95..5000 accepted; the program uses -40..40);
 * samplerate 0 and pitch -100 leave those unchanged. */
AUDIOLIB_API BOOL BASS_FX_TempoSet(HSTREAM chan, float tempo, float samplerate, float pitch);
AUDIOLIB_API BOOL BASS_FX_TempoGet(HSTREAM chan, float *tempo, float *samplerate, float *pitch);
AUDIOLIB_API float BASS_FX_TempoGetRateRatio(HSTREAM chan);
AUDIOLIB_API BOOL BASS_FX_TempoSetOption(HSTREAM chan, DWORD option, DWORD value);
AUDIOLIB_API DWORD BASS_FX_TempoGetOption(HSTREAM chan, DWORD option);

#ifdef __cplusplus
}
#endif

#endif
