// The core library's process-wide state and the pieces shared between the API
// functions, the mixer and the library's threads.
//
// Locks: `api` serialises every API call (never taken by the mixer); `table`
// guards the handle table for the update thread; a channel's own mutex guards its
// producer side. Order: api -> table, api -> channel -> source channel -> post.
// The audio callback takes none of them.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "channel.h"

namespace vorel::audiolib {

// Plain data from the mixer to the notifier.
struct Note {
    HSYNC sync;
    DWORD msg;
    DWORD channel;
};

// Single producer (mixer) / single consumer (notifier, or Render's caller).
class NoteQueue {
public:
    static constexpr uint32_t kCapacity = 1024;
    bool push(const Note &n) {
        uint32_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= kCapacity) return false;
        notes_[w % kCapacity] = n;
        write_.store(w + 1, std::memory_order_release);
        return true;
    }
    bool pop(Note &n) {
        uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return false;
        n = notes_[r % kCapacity];
        read_.store(r + 1, std::memory_order_release);
        return true;
    }
    void clear() { read_.store(write_.load()); }

private:
    Note notes_[kCapacity];
    std::atomic<uint32_t> read_{0}, write_{0};
};

struct Engine {
    std::mutex api;
    bool initialised = false;
    int device = 0;
    uint32_t rate = 44100;
    bool manualClock = false;
    const VOREL_MSGTARGET *target = nullptr;

    std::mutex table;
    std::unordered_map<DWORD, std::shared_ptr<Channel>> channels;
    DWORD nextHandle = 0x10000;
    HSYNC nextSync = 1;

    static constexpr int kSlots = 256;
    std::atomic<Channel *> slots[kSlots] = {};
    std::atomic<uint64_t> cycle{0}; // odd while the mixer runs
    NoteQueue notes;
    sem_t noteSignal;
    // Posted by the mixer after it took frames from a channel, and by the API when
    // a channel starts: the update thread refills at once instead of at its next
    // period. (Waiting out the period let a ring run dry after a few device
    // buffers: right after BASS_Init the first period is the 100 ms default, and a
    // thread kept from running by a busy machine does the same. The gap of silence
    // then lengthened the played range.)
    sem_t updateSignal;

    // Message syncs that may still post (sync -> channel). The notifier checks it
    // under postMutex and posts outside it, with postingSync naming the sync being
    // posted, so that removal can wait for an ongoing post without holding the API
    // lock (a post that calls into the library then cannot deadlock).
    std::mutex postMutex;
    std::unordered_map<HSYNC, DWORD> liveMessageSyncs;
    std::atomic<HSYNC> postingSync{0};

    std::atomic<bool> running{false};
    std::thread updateThread, notifierThread, clockThread;
    std::mutex wakeMutex;
    std::condition_variable wake;
    std::atomic<unsigned> sdlDevice{0}; // read by the update thread's watch
    std::atomic<int> latencyFrames{0}; // mixed but not yet heard (position reports)
    std::atomic<int> deviceFrames{0};  // frames SDL takes per callback (0: no SDL output)
    // Output loss: the SDL callback counts its runs; the update thread watches the
    // count while a channel plays. outputLost: no output could be opened again;
    // the next play tries once more and fails with BASS_ERROR_DRIVER.
    std::atomic<uint64_t> callbacks{0};
    std::atomic<bool> outputLost{false};
    // An output loss injected by the engine tests, which link the core's objects
    // (the library exports no way to set it): 1 the callback stops mixing as a hung
    // output would, 2 also no output can be opened.
    std::atomic<int> simulatedLoss{0};

    std::atomic<DWORD> bufferMs{500};
    std::atomic<DWORD> updatePeriodMs{100};
    std::atomic<DWORD> manualClockConfig{0};

    Engine() {
        sem_init(&noteSignal, 0, 0);
        sem_init(&updateSignal, 0, 0);
    }
};

Engine &engine();

// Mixer (audio callback side): mixes frames of stereo s16 into out.
void mixFrames(int16_t *out, int frames);
// True on the thread that is inside mixFrames (sync procedures run there).
bool inMixer();
// API side: returns once no mixer pass that began before the call is running.
void waitQuiescent();

// Producer: renders ahead until `frames` frames are buffered. Channel lock held.
void fillRing(Channel &ch, int frames);
// Frames the producer keeps buffered ahead of the mixer.
int aheadFrames();
// Any thread but the audio callback: the update thread renders ahead now.
void wakeUpdate();
// Delivers queued notifications (notifier thread, or Render's caller).
void deliverNotes();
// Called without the API lock: after it returns nothing more is posted for the
// sync (channel 0: every sync; sync 0: every sync of the channel).
void forgetMessageSyncs(DWORD channel, HSYNC sync);

// Threads and output, started by BASS_Init and stopped by BASS_Free (api held).
bool startOutput(int device, DWORD &error);
// api held, device -1: closes the output and opens the default one again; the
// channels go on from where they were. False (and outputLost) when none opens.
bool reopenOutput();
// The SDL buffer asked for at rate: the power of two nearest to rate / 43 frames
// (about 23 ms), at least 1024.
uint16_t DeviceBufferFrames(uint32_t rate);
// Device buffers between the mixer and the ear for an SDL driver name.
int QueuedBuffers(const char *driver);
void stopOutput();

// Keeps the mixer off a channel for the lifetime of the guard (api held).
class Parked {
public:
    explicit Parked(Channel &ch) : ch_(ch) {
        ch_.parked.store(true);
        waitQuiescent();
    }
    ~Parked() { ch_.parked.store(false); }
    Parked(const Parked &) = delete;
    Parked &operator=(const Parked &) = delete;

private:
    Channel &ch_;
};

// Channel lock held, channel parked: discards what is buffered and continues the
// channel from byte.
bool restartAt(Channel &ch, uint64_t byte);

} // namespace vorel::audiolib
