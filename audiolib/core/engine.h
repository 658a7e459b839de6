// The core library's C++ interface for the effects library. Exported with default
// visibility (the C API is the only other export); nothing here is for the program.
//
// A playing channel is fed by a Renderer. The core's update thread (or
// VorelAudio_Render's caller in manual-clock mode) calls it with the channel's lock
// held, to render output ahead into the channel's chunk ring; the audio callback
// never calls it. Positions a renderer reports are bytes of its source format.
#pragma once

#include <cstdint>
#include <memory>

#include "audiolib.h"
#include "decoder.h"

#define VOREL_ENGINE_API __attribute__((visibility("default")))

namespace vorel::audiolib {

// What one render call produced.
struct RenderResult {
    int frames = 0;        // output frames written (stereo s16 at the device rate)
    double srcStart = 0;   // source byte position of the first frame written
    double srcEnd = 0;     // source byte position just after the last frame written
    bool atStop = false;   // the stop position was reached exactly after the last frame
    bool ended = false;    // the source is exhausted and everything has been emitted
};

class VOREL_ENGINE_API Renderer {
public:
    virtual ~Renderer();
    // The format positions, lengths and syncs are counted in.
    virtual PcmFormat sourceFormat() const = 0;
    // Length in source bytes; -1 when unknown.
    virtual int64_t lengthBytes() const = 0;
    // Drops all state and continues from byte (frame-aligned, <= length).
    virtual bool seek(uint64_t byte) = 0;
    // Source position up to which input has been turned into output.
    virtual uint64_t position() const = 0;
    // Renders up to maxFrames frames into out (interleaved stereo s16 at deviceRate).
    // Stops early when the input reaches stopAt (source bytes): then every output
    // frame belonging to input before stopAt has been written and atStop is set.
    virtual void render(int16_t *out, int maxFrames, uint32_t deviceRate, uint64_t stopAt,
                        RenderResult &result) = 0;
    // The file size for BASS_StreamGetFilePosition; 0 when not a file.
    virtual uint64_t fileSize() const { return 0; }
};

// A decoding channel used as the input of another channel. Reads take the
// decoding channel's lock; after the channel is freed reads return 0 (its end).
class VOREL_ENGINE_API SourceChannel {
public:
    virtual ~SourceChannel();
    virtual DWORD handle() const = 0;
    virtual PcmFormat format() const = 0;
    virtual int64_t lengthFrames() const = 0; // -1 when unknown
    virtual uint64_t fileSize() const = 0;
    virtual bool seekFrame(int64_t frame) = 0;
    // Up to frames frames in format(); 0 at the end, never negative.
    virtual int64_t readFrames(void *buf, int64_t frames) = 0;
};

// Sets the calling thread's error code (BASS_ErrorGetCode).
VOREL_ENGINE_API void setError(DWORD code);
// Any API thread: takes the API lock.
// Opens handle as a source; fails with BASS_ERROR_HANDLE, or with
// BASS_FX_ERROR_NODECODE when it is not a decoding channel.
VOREL_ENGINE_API std::shared_ptr<SourceChannel> openSource(DWORD handle, DWORD &error);
// Registers a playable channel. freeWith (if not 0) is freed together with it.
// Returns 0 and sets error when the library is not initialised.
VOREL_ENGINE_API HSTREAM addChannel(std::unique_ptr<Renderer> renderer, DWORD flags,
                                    DWORD ctype, DWORD freeWith, DWORD &error);
// Runs fn on the channel's renderer with the channel's lock held (not concurrently
// with rendering). Returns false with BASS_ERROR_HANDLE when there is no such
// channel with a renderer.
VOREL_ENGINE_API bool withRenderer(DWORD handle, bool (*fn)(Renderer &, void *), void *arg,
                                   DWORD &error);

} // namespace vorel::audiolib
