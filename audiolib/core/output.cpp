// The library's threads and the output: SDL for device -1, a clock of our own for
// device 0, nothing in manual-clock mode (VorelAudio_Render drives the mixer).
#include <SDL.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine_state.h"

namespace vorel::audiolib {

namespace {

void sdlCallback(void *, Uint8 *stream, int len) {
    mixFrames(reinterpret_cast<int16_t *>(stream), len / int(2 * sizeof(int16_t)));
}

// Renders ahead for every playing channel, once per update period.
void updateLoop() {
    Engine &e = engine();
    std::vector<std::shared_ptr<Channel>> playing;
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
    if (device != 0) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = BASS_ERROR_DRIVER;
            return false;
        }
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
        if (e.sdlDevice == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            error = BASS_ERROR_DRIVER;
            return false;
        }
        e.latencyFrames.store(int(have.samples) * QueuedBuffers(SDL_GetCurrentAudioDriver()));
    }
    e.running.store(true);
    if (!e.manualClock) {
        e.updateThread = std::thread(updateLoop);
        e.notifierThread = std::thread(notifierLoop);
        if (device == 0) e.clockThread = std::thread(clockLoop);
    }
    if (e.sdlDevice) SDL_PauseAudioDevice(e.sdlDevice, 0);
    return true;
}

void stopOutput() {
    Engine &e = engine();
    if (e.sdlDevice) {
        SDL_CloseAudioDevice(e.sdlDevice); // returns after the last callback
        e.sdlDevice = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
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
