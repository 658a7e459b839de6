// The amplitude envelope of a whole audio file: one signed 16-bit peak per 40 ms
// block (MsPerColumn), as decimal texts. A sampler is used by one thread (the GUI
// thread in the program) and lives for one file load; SampleFile reads long files
// on threads of its own, which have all ended when it returns. The static routines
// are pure and may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/bassstream.h"
#include "segmenttypes.h"

namespace vorel::segment {

// Decoded audio up to this many bytes is decoded into memory; longer audio is
// sampled while it is decoded.
inline constexpr int32_t MemoryDecodeLimit = 5242880;

// How the last SampleFile reached the PCM.
enum class TSamplingPath {
    None,     // nothing sampled yet, or the sampling failed
    InPlace,  // 8/16-bit PCM WAV read through a read-only mapping
    Memory,   // decoded into a memory buffer
    Decoded,  // sampled block by block as it was decoded, in parts on several threads
};

// First and later extreme of the left channel, then of the right channel. 16-bit
// values are signed; 8-bit values are on the unsigned byte scale (128 = silence).
using TBlockPeaks = std::array<int32_t, 4>;

class TWaveSampleList {
public:
    TWaveSampleList() = default;

    // Called on SampleFile's thread with the decoding progress (0..100) on the
    // decoding paths only; the in-place path reports nothing. Setting cancel stops
    // the decoding and leaves Samples empty.
    void SetProgressHandler(audio::TProgressEvent handler) { progress_ = std::move(handler); }

    // Replaces Samples with the envelope of the file. Audio shorter than 100 ms
    // gives an empty list. Errors (EAudioError from the decoding stream,
    // EPlatformError from reading a WAV file in place) propagate with Samples
    // unchanged. Long files are read on as many threads as there are cores; all
    // of them have ended when this returns, also by an error. Writes no file.
    void SampleFile(const std::string &path, bool initDevice);

    TSamplingPath LastPath() const { return lastPath_; }

    // How many worker threads read the file; 0, the default, means one per core.
    // The samples are the same for every count.
    void SetPartCount(unsigned parts) { parts_ = parts; }

    // Number of 40 ms steps in durationMs (taken as unsigned 32-bit), rounded to
    // the nearest integer with halves to even.
    static int32_t SampleCountFor(int32_t durationMs);

    // Fills list with steps - 2 peaks of consecutive blocks of (size / (steps - 2))
    // bytes rounded down to a multiple of 4; nothing when steps < 3. Bits other
    // than 8 mean signed 16-bit little-endian; channels other than 2 mean mono.
    // Reads only [data, data + size).
    static void SampleBuffer(int bits, int channels, const uint8_t *data, size_t size, int32_t steps,
                             TStrings &list);

    static TBlockPeaks BlockPeaks(int bits, int channels, const uint8_t *block, size_t n);

    // SampleBuffer in pieces, for data read a window at a time: the number of blocks
    // and their size for size bytes and steps, and the peaks of count consecutive
    // blocks starting at data, appended to list.
    struct TBlockLayout {
        size_t blocks = 0;
        size_t blockSize = 0;
    };
    static TBlockLayout BlockLayout(size_t size, int32_t steps);
    static void SampleBlocks(int bits, int channels, const uint8_t *data, size_t blockSize, size_t count,
                             TStrings &list);

    TStrings Samples;

private:
    audio::TProgressEvent progress_;
    TSamplingPath lastPath_ = TSamplingPath::None;
    unsigned parts_ = 0;
};

// The envelope of a file made in order while it is used: the file is cut into
// stretches of blocks, the first short, handed out in order to worker threads
// (one per core), and the samples of the stretches done so far reach the caller
// in order through Take. The samples are those of TWaveSampleList::SampleFile.
// Constructed, read and destroyed on one thread (the GUI thread in the program);
// the workers touch nothing of the caller's. Destroying the feed (or Cancel)
// stops the workers and waits for them.
class TSampleFeed {
public:
    // Opens the file on the calling thread: EAudioError as the decoding stream,
    // EPlatformError when a WAV file cannot be read in place. Starts the workers.
    // threads 0: one per core.
    TSampleFeed(const std::string &path, bool initDevice, unsigned threads = 0);
    ~TSampleFeed();
    TSampleFeed(const TSampleFeed &) = delete;
    TSampleFeed &operator=(const TSampleFeed &) = delete;

    const audio::TChannelInfo &Info() const;
    TSamplingPath Path() const;
    // How many samples the whole file gives.
    size_t TotalSamples() const;
    // Appends the samples finished in order since the last call; returns how many.
    // Nothing more after an error.
    size_t Take(TStrings &out);
    // Every worker has ended, or one failed (RethrowError then throws its error).
    bool Finished() const;
    // Throws the error of a failed worker, or, where the audio ended before the
    // length the file claimed, EPlatformError with CutNotice: what was taken up
    // to there is all there is.
    void RethrowError() const;
    bool Cut() const;
    static std::string CutNotice(int64_t ms);
    // The share of the samples taken, 0..100.
    int32_t Percent() const;
    // Blocks until there is something to take, the workers have ended, or timeoutMs.
    void WaitForMore(int32_t timeoutMs);
    // Stops the workers and waits for them; the samples not yet taken are dropped.
    void Cancel();

    struct TState;

private:
    void work(size_t worker);
    void endAtRealLength(const audio::TBassStream &stream, size_t first, TStrings &out) const;
    void sampleStretch(size_t worker, std::unique_ptr<audio::TBassStream> &own, size_t first, size_t count,
                       TStrings &out);

    std::unique_ptr<TState> s_;
    std::vector<std::thread> workers_;
};

} // namespace vorel::segment
