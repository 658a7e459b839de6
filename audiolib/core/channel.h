// Channels, syncs and the chunk ring between the update thread and the mixer.
//
// Ownership: the engine's handle table owns every Channel (shared_ptr; the update
// thread may hold a reference for one pass). A Channel owns its syncs and its
// renderer or decoder. The mixer sees a channel through a raw pointer in a mixer
// slot; a channel is taken out of its slot (and the mixer waited for) before it is
// destroyed or its ring is reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine.h"

namespace vorel::audiolib {

struct Sync {
    HSYNC handle = 0;
    DWORD type = 0;
    uint64_t pos = 0;
    SYNCPROC *proc = nullptr;
    DWORD user = 0;
    // Set by the mixer when a one-time sync has fired; the producer skips it then.
    std::atomic<bool> fired{false};

    bool isEnd() const { return (type & 0xffffu) == BASS_SYNC_END; }
    bool isMessage() const { return (type & BASS_SYNC_MESSAGE) != 0; }
    bool isOneTime() const { return (type & BASS_SYNC_ONETIME) != 0; }
};

// Fixed-size block of rendered output plus what the mixer needs to know about it.
struct Chunk {
    static constexpr int kFrames = 256;
    static constexpr int kMarkers = 4;
    int16_t pcm[kFrames * 2];
    int frames = 0;
    double srcStart = 0, srcEnd = 0; // source bytes at the first frame and after the last
    Sync *markers[kMarkers];         // syncs that fire when the last frame has been mixed
    int markerCount = 0;
    bool end = false;                // the stream ends after this chunk
};

// Single producer (update thread, channel lock held) / single consumer (mixer).
class ChunkRing {
public:
    static constexpr uint32_t kCapacity = 512; // ~3 s at 44.1 kHz
    // Playable channels only; before the channel is registered.
    void allocate() { chunks_.reset(new Chunk[kCapacity]); }
    Chunk *writeSlot() {
        uint32_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= kCapacity) return nullptr;
        return &chunks_[w % kCapacity];
    }
    void commit(int frames) {
        buffered_.fetch_add(frames, std::memory_order_relaxed);
        write_.store(write_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    Chunk *front() {
        uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return nullptr;
        return &chunks_[r % kCapacity];
    }
    void pop(int frames) {
        buffered_.fetch_sub(frames, std::memory_order_relaxed);
        read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    uint32_t freeSlots() const {
        return kCapacity - (write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
    }
    int bufferedFrames() const { return buffered_.load(std::memory_order_relaxed); }
    // Only while neither side runs (channel parked and lock held).
    void reset() {
        read_.store(0);
        write_.store(0);
        buffered_.store(0);
    }
    // Only while the mixer does not run: every unconsumed chunk, for inspection.
    template <typename F> void forEachPending(F f) {
        if (!chunks_) return;
        for (uint32_t r = read_.load(); r != write_.load(); ++r) f(chunks_[r % kCapacity]);
    }

private:
    std::unique_ptr<Chunk[]> chunks_;
    std::atomic<uint32_t> read_{0}, write_{0};
    std::atomic<int> buffered_{0};
};

class PcmSource; // decoder or stream procedure, in the channel's own format

struct Channel {
    DWORD handle = 0;
    DWORD flags = 0;
    DWORD ctype = 0;
    DWORD freeWith = 0;
    bool decoding = false;
    PcmFormat fmt;                       // positions and lengths count bytes of this
    std::string chapters;                // VOREL_TAG_CHAPTERS text; set at creation, then constant

    // Producer side; guarded by mutex.
    std::mutex mutex;
    std::unique_ptr<PcmSource> source;   // decoding channels
    std::unique_ptr<Renderer> renderer;  // playable channels
    bool decodeEnded = false;            // decoding channel read to its end / stopped
    bool freed = false;                  // handle freed; sources read nothing more
    bool producerEnded = false;          // the end chunk is in the ring
    int64_t lastMarkerPos = -1;          // syncs at this position were already emitted
    std::vector<std::unique_ptr<Sync>> syncs; // changed only while parked and locked

    // Mixer side.
    ChunkRing ring;
    int readOffset = 0;                  // frames of the front chunk already mixed
    std::atomic<int> state{BASS_ACTIVE_STOPPED};
    std::atomic<bool> parked{false};     // mixer skips the channel
    std::atomic<double> playPos{0};      // source byte of the next frame to mix
    std::atomic<double> bytesPerFrame{0};// source bytes per output frame, latest chunk
    std::atomic<bool> reachedEnd{false}; // the mixer consumed the end chunk
    std::atomic<int64_t> mixedSincePlay{0}; // frames mixed since the last play or seek
    int slot = -1;                       // mixer slot, -1 for decoding channels

    // Lock held: length in bytes of fmt, -1 when unknown.
    int64_t lengthBytes() const;
};

} // namespace vorel::audiolib
