// Engine benchmarks of vorel-bench: decode throughput of the core library and the
// CPU cost of a tempo stream playing in real time on the no-sound device.
#include "enginebench.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "benchmodes.h"
#include "slots.h"

namespace vorel::bench {
namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void printError(const std::string &mode, const std::string &file, const std::string &what) {
    std::printf("{\"mode\":%s,\"file\":%s,\"error\":%s}\n", jsonText(mode).c_str(), jsonText(file).c_str(),
                jsonText(what + " (code " + std::to_string(audio::core.BASS_ErrorGetCode()) + ")").c_str());
}

} // namespace

int RunDecodeBench(const std::vector<std::string> &files) {
    int failures = 0;
    std::vector<char> buffer(1024000);
    for (const auto &file : files) {
        const auto t0 = Clock::now();
        const DWORD h = audio::core.BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0,
                                                          BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        if (!h) {
            printError("decode", file, "open failed");
            ++failures;
            continue;
        }
        const auto t1 = Clock::now();
        uint64_t bytes = 0;
        for (;;) {
            const DWORD got = audio::core.BASS_ChannelGetData(h, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (got == static_cast<DWORD>(-1) || got == 0)
                break;
            bytes += got;
        }
        const auto t2 = Clock::now();
        const double audioSeconds = audio::core.BASS_ChannelBytes2Seconds(h, bytes);
        audio::core.BASS_StreamFree(h);
        const double openMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
        const double totalMs = std::chrono::duration<double, std::milli>(t2 - t0).count();
        std::printf("{\"mode\":\"decode\",\"file\":%s,\"decoded_bytes\":%llu,\"audio_s\":%.3f,\"open_ms\":%.1f,"
                    "\"total_ms\":%.1f,\"realtime_x\":%.1f}\n",
                    jsonText(file).c_str(), static_cast<unsigned long long>(bytes), audioSeconds, openMs, totalMs,
                    totalMs > 0 ? audioSeconds * 1000.0 / totalMs : 0.0);
    }
    return failures ? 1 : 0;
}

int RunTempoCpuBench(const std::string &file, int tempoPercent, double seconds) {
    const DWORD src = audio::core.BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0,
                                                        BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    if (!src) {
        printError("tempo-cpu", file, "open failed");
        return 1;
    }
    const DWORD h = audio::fx.BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE);
    if (!h || !audio::fx.BASS_FX_TempoSet(h, static_cast<float>(tempoPercent), 0.0f, -100.0f)) {
        printError("tempo-cpu", file, "tempo stream failed");
        return 1;
    }
    if (!audio::core.BASS_ChannelPlay(h, FALSE)) {
        printError("tempo-cpu", file, "play failed");
        return 1;
    }
    // Let the stream settle before measuring: the first fill renders a whole buffer at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const DWORD state = audio::core.BASS_ChannelIsActive(h);
    audio::core.BASS_StreamFree(h);
    std::printf("{\"mode\":\"tempo-cpu\",\"file\":%s,\"speed_percent\":%d,\"wall_s\":%.2f,\"cpu_s\":%.3f,"
                "\"core_percent\":%.2f,\"still_playing\":%s}\n",
                jsonText(file).c_str(), 100 + tempoPercent, wall, cpu, 100.0 * cpu / wall,
                state == BASS_ACTIVE_PLAYING ? "true" : "false");
    return state == BASS_ACTIVE_PLAYING ? 0 : 1;
}

} // namespace vorel::bench
