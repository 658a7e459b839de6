#include "playerdemo.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "bassstream.h"
#include "platform/tempfolder.h"
#include "player.h"

namespace vorel::audio {

namespace {

constexpr int kRate = 44100;
constexpr uint32_t kStartMs = 1000;
constexpr uint32_t kEndMs = 3000;
constexpr int kTempo = -20;

// Receives the player's end messages on the library's notifier thread.
struct DemoTarget {
    std::mutex mutex;
    std::condition_variable changed;
    bool segmentEnd = false;
    bool fileEnd = false;

    static void post(void *context, DWORD msg, DWORD, DWORD) {
        auto *self = static_cast<DemoTarget *>(context);
        {
            std::lock_guard lock(self->mutex);
            if (msg == WM_SEGMENT_END)
                self->segmentEnd = true;
            else if (msg == WM_FILE_END)
                self->fileEnd = true;
        }
        self->changed.notify_all();
    }
};

// Six one-second beeps of rising pitch, so that what is heard tells which part of
// the recording played.
std::vector<uint8_t> makeWav() {
    const int frames = 6 * kRate;
    std::vector<uint8_t> wav(44 + 2 * frames);
    auto put = [&wav](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(&wav[0], "RIFF", 4);
    put(4, static_cast<uint32_t>(wav.size() - 8), 4);
    std::memcpy(&wav[8], "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 1, 2);
    put(24, kRate, 4);
    put(28, kRate * 2, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    std::memcpy(&wav[36], "data", 4);
    put(40, 2 * frames, 4);
    for (int i = 0; i < frames; ++i) {
        const int second = i / kRate;
        const int inSecond = i % kRate;
        double v = 0;
        if (inSecond < kRate * 7 / 10)
            v = 10000 * std::sin(2 * M_PI * (440.0 + 110.0 * second) * i / kRate);
        put(44 + 2 * size_t(i), static_cast<uint16_t>(static_cast<int16_t>(std::lround(v))), 2);
    }
    return wav;
}

std::string writeTempWav() {
    std::string path;
    const int fd = platform::MakeTempFile(platform::PrivateTempFolder(), "WAV", path);
    try {
        const std::vector<uint8_t> wav = makeWav();
        TFdStream(fd).write(wav.data(), static_cast<int64_t>(wav.size()));
    } catch (...) {
        ::close(fd);
        ::unlink(path.c_str());
        throw;
    }
    ::close(fd);
    return path;
}

std::string minSec(uint32_t ms) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u", ms / 60000, ms / 1000 % 60);
    return text;
}

} // namespace

int RunPlayerDemo(std::ostream &out) {
    std::string path;
    int result = 1;
    try {
        path = writeTempWav();
        DemoTarget target;
        VOREL_MSGTARGET msgTarget{&DemoTarget::post, &target};
        {
            TBass player(&msgTarget);
            player.Open(path);
            player.SetTempo(kTempo);
            out << "演示：播放 " << minSec(kStartMs) << "–" << minSec(kEndMs) << "，速度 "
                << 100 + kTempo << "%" << std::endl;
            const auto started = std::chrono::steady_clock::now();
            player.PlayRange(kStartMs, kEndMs, false);

            std::unique_lock lock(target.mutex);
            const bool ended = target.changed.wait_for(lock, std::chrono::seconds(10), [&] {
                return target.segmentEnd || target.fileEnd;
            });
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count();
            if (ended && target.segmentEnd) {
                out << "Demo: played " << minSec(kStartMs) << "-" << minSec(kEndMs) << " at "
                    << 100 + kTempo << "% speed; range end after " << ms << " ms" << std::endl;
                result = 0;
            } else {
                out << (ended ? "Demo: the file ended before the range end"
                              : "Demo: no range end within 10 s")
                    << std::endl;
            }
            lock.unlock();
            // The player's destructor frees the library, which may still post
            // to msgTarget until it returns; both live until after that.
        }
    } catch (const std::exception &e) {
        out << e.what() << std::endl;
        result = 1;
    }
    if (!path.empty())
        ::unlink(path.c_str());
    return result;
}

} // namespace vorel::audio
