// The library's threads and the output: SDL for device -1, a clock of our own for
// device 0, nothing in manual-clock mode (VorelAudio_Render drives the mixer).
#include <SDL.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine_state.h"

namespace vorel::audiolib {

namespace {

void sdlCallback(void *, Uint8 *stream, int len) {
    Engine &e = engine();
    if (e.simulatedLoss.load(std::memory_order_relaxed) != 0) {
        std::memset(stream, 0, size_t(len)); // as if the device had stopped asking
        return;
    }
    mixFrames(reinterpret_cast<int16_t *>(stream), len / int(2 * sizeof(int16_t)));
    e.callbacks.fetch_add(1, std::memory_order_relaxed);
}

// Opens the default SDL output (audio subsystem up, api held or not yet shared).
bool openSdl() {
    Engine &e = engine();
    SDL_AudioSpec want{}, have{};
    want.freq = int(e.rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    // About 1/43 s (23 ms), as a power of two: the one nearest to rate / 43, but
    // not below 1024 frames, where the disk driver's pacing drifts. (Doubling
    // while below rate / 43 gave 2048 at 44.1 kHz, twice the intent.)
    want.samples = DeviceBufferFrames(e.rate);
    want.callback = sdlCallback;
    // No allowed changes: SDL converts to whatever the device wants.
    e.sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (e.sdlDevice == 0) return false;
    e.deviceFrames.store(int(have.samples));
    e.latencyFrames.store(int(have.samples) * QueuedBuffers(SDL_GetCurrentAudioDriver()));
    SDL_PauseAudioDevice(e.sdlDevice, 0);
    return true;
}

// api held, output gone for good: every playing channel stops where it was, and
// its range messages still due are posted, so that a caller waiting for the end of
// a range is not left waiting.
void stopForLostOutput() {
    Engine &e = engine();
    std::vector<std::shared_ptr<Channel>> all;
    {
        std::lock_guard<std::mutex> lock(e.table);
        for (auto &[h, ch] : e.channels)
            if (!ch->decoding && ch->state.load() == BASS_ACTIVE_PLAYING) all.push_back(ch);
    }
    bool posted = false;
    for (auto &ch : all) {
        Parked parked(*ch);
        std::lock_guard<std::mutex> lock(ch->mutex);
        const uint32_t fb = ch->fmt.frameBytes();
        ch->state.store(BASS_ACTIVE_STOPPED);
        restartAt(*ch, uint64_t(std::llround(std::max(0.0, ch->playPos.load()) / fb)) * fb);
        for (auto &s : ch->syncs) {
            if (!s->isMessage() || s->isEnd() || !s->isOneTime() || s->fired.exchange(true)) continue;
            // No mixer runs without an output: this thread is the queue's only producer now.
            posted |= e.notes.push(Note{s->handle, DWORD(reinterpret_cast<uintptr_t>(s->proc)), ch->handle});
        }
    }
    if (posted) sem_post(&e.noteSignal);
}

// Update thread: a playing channel with an SDL output whose callback has not run
// for a second, or an output SDL reports lost, gets the default output opened
// again. The API lock is tried, not waited for: BASS_Free holds it while it
// joins this thread.
void watchOutput(bool playing, uint64_t &seen, std::chrono::steady_clock::time_point &since) {
    Engine &e = engine();
    const auto now = std::chrono::steady_clock::now();
    const uint64_t count = e.callbacks.load(std::memory_order_relaxed);
    if (!playing || count != seen || e.sdlDevice == 0) {
        seen = count;
        since = now;
        return;
    }
    const bool lost = SDL_GetAudioDeviceStatus(e.sdlDevice) == SDL_AUDIO_STOPPED;
    if (!lost && now - since < std::chrono::seconds(1)) return;
    while (e.running.load()) {
        if (e.api.try_lock()) {
            if (e.initialised && e.sdlDevice != 0) reopenOutput();
            e.api.unlock();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    seen = e.callbacks.load();
    since = std::chrono::steady_clock::now();
}

// Renders ahead for every playing channel, once per update period.
void updateLoop() {
    Engine &e = engine();
    std::vector<std::shared_ptr<Channel>> playing;
    uint64_t seenCallbacks = e.callbacks.load();
    auto seenSince = std::chrono::steady_clock::now();
    while (e.running.load()) {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        ts.tv_nsec += long(std::max<DWORD>(e.updatePeriodMs.load(), 5)) * 1000000L;
        ts.tv_sec += ts.tv_nsec / 1000000000L;
        ts.tv_nsec %= 1000000000L;
        sem_timedwait(&e.updateSignal, &ts);
        // One pass serves every wake-up that came meanwhile.
        while (sem_trywait(&e.updateSignal) == 0) {
        }
        if (!e.running.load()) break;
        playing.clear();
        {
            std::lock_guard<std::mutex> lock(e.table);
            for (auto &[h, ch] : e.channels)
                if (!ch->decoding && ch->state.load() == BASS_ACTIVE_PLAYING) playing.push_back(ch);
        }
        watchOutput(!playing.empty(), seenCallbacks, seenSince);
        const int ahead = aheadFrames();
        for (auto &ch : playing) {
            std::lock_guard<std::mutex> lock(ch->mutex);
            fillRing(*ch, ahead);
        }
        playing.clear(); // a freed channel may be destroyed here, off the API thread
    }
}

void notifierLoop() {
    Engine &e = engine();
    while (e.running.load()) {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        ts.tv_nsec += 50 * 1000000L;
        if (ts.tv_nsec >= 1000000000L) {
            ts.tv_sec += 1;
            ts.tv_nsec -= 1000000000L;
        }
        sem_timedwait(&e.noteSignal, &ts);
        deliverNotes();
    }
}

// Device 0: the mixer advances in real time; the output goes nowhere.
void clockLoop() {
    Engine &e = engine();
    static int16_t scratch[2048 * 2];
    const auto start = std::chrono::steady_clock::now();
    int64_t mixed = 0;
    while (e.running.load()) {
        {
            std::unique_lock<std::mutex> lock(e.wakeMutex);
            e.wake.wait_for(lock, std::chrono::milliseconds(5), [&] { return !e.running.load(); });
        }
        auto elapsed = std::chrono::steady_clock::now() - start;
        int64_t due = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * e.rate / 1000000 - mixed;
        while (due > 0 && e.running.load()) {
            int n = int(std::min<int64_t>(due, 2048));
            mixFrames(scratch, n);
            mixed += n;
            due -= n;
        }
    }
}

} // namespace

Uint16 DeviceBufferFrames(uint32_t rate) {
    Uint16 frames = 1024;
    while (frames < 32768 && uint64_t(frames) * 3 < uint64_t(rate) * 2 / 43) frames *= 2;
    return frames;
}

int QueuedBuffers(const char *driver) {
    // A real device holds one buffer more than SDL's own: SDL's ALSA back end runs
    // two periods, its PulseAudio and PipeWire back ends ask the server for a target
    // length of one buffer. The disk and dummy drivers take each buffer at once.
    const std::string name = driver ? driver : "";
    return name == "disk" || name == "dummy" ? 1 : 2;
}

bool startOutput(int device, DWORD &error) {
    Engine &e = engine();
    e.latencyFrames.store(0);
    e.deviceFrames.store(0);
    if (device != 0) {
        // SDL would otherwise turn SIGINT and SIGTERM into quit events that no one
        // reads: the host program could then not be ended by a signal.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = BASS_ERROR_DRIVER;
            return false;
        }
        if (!openSdl()) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            error = BASS_ERROR_DRIVER;
            return false;
        }
    }
    e.outputLost.store(false);
    e.simulatedLoss.store(0);
    e.running.store(true);
    if (!e.manualClock) {
        e.updateThread = std::thread(updateLoop);
        e.notifierThread = std::thread(notifierLoop);
        if (device == 0) e.clockThread = std::thread(clockLoop);
    }
    return true;
}

bool reopenOutput() {
    Engine &e = engine();
    if (e.sdlDevice) SDL_CloseAudioDevice(e.sdlDevice); // returns after the last callback
    e.sdlDevice = 0;
    if (e.simulatedLoss.load() != 2 && openSdl()) {
        e.simulatedLoss.store(0); // a new output works
        e.outputLost.store(false);
        return true;
    }
    e.outputLost.store(true);
    stopForLostOutput();
    return false;
}

void stopOutput() {
    Engine &e = engine();
    if (e.sdlDevice) SDL_CloseAudioDevice(e.sdlDevice); // returns after the last callback
    e.sdlDevice = 0;
    if (e.device != 0) SDL_QuitSubSystem(SDL_INIT_AUDIO); // also when the output was lost
    {
        std::lock_guard<std::mutex> lock(e.wakeMutex);
        e.running.store(false);
    }
    e.wake.notify_all();
    sem_post(&e.noteSignal);
    sem_post(&e.updateSignal);
    for (std::thread *t : {&e.clockThread, &e.updateThread, &e.notifierThread})
        if (t->joinable()) t->join();
}

} // namespace vorel::audiolib
