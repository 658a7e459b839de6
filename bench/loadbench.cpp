// The default mode of vorel-bench: the load path of the main window, timed.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "audio/player.h"
#include "benchmodes.h"
#include "segment/breakpointfile.h"
#include "segment/samplelist.h"
#include "segment/tailrule.h"

namespace vorel::bench {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

long peakRssKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss; // kilobytes on Linux
}

std::string loadOne(audio::TBass &player, const std::string &file) {
    const auto t0 = Clock::now();
    player.Open(file);
    const double openMs = msSince(t0);
    const int32_t duration = player.info.duration;

    const auto t1 = Clock::now();
    segment::TWaveSampleList sampler;
    sampler.SampleFile(file, false);
    const segment::TStrings samples = std::move(sampler.Samples);
    const double sampleMs = msSince(t1);

    const auto t2 = Clock::now();
    segment::TSegmentList segments;
    const segment::TBreakpointLoad load = segment::LoadBreakpoints(segments, file, samples, duration);
    const double splitMs = msSince(t2);
    const double totalMs = msSince(t0);

    std::string breakpoints, stops;
    const double columnMs = segment::ColumnMsOf(player.info);
    for (int32_t i = 0; i < segments.Count(); ++i) {
        const int32_t t = segments.Items(i).TimeMs;
        breakpoints += (i ? "," : "") + std::to_string(t);
        // Where the reading of sentence i - 1 stops: the window reads whole columns.
        if (i > 0)
            stops += (i > 1 ? "," : "") +
                     std::to_string(segment::ReadingStopMs(samples, load.Split.SilenceLevel, t / 40 * 40, columnMs));
    }

    // The silence level the split used; an LRC file has none.
    const bool lrc = load.Source == segment::TBreakpointSource::Lrc;
    const std::string threshold = lrc ? "null" : std::to_string(load.Split.SilenceLevel);

    char timing[256];
    std::snprintf(timing, sizeof timing,
                  "\"open_ms\":%.3f,\"sample_ms\":%.3f,\"split_ms\":%.3f,\"total_ms\":%.3f,\"peak_rss_kb\":%ld",
                  openMs, sampleMs, splitMs, totalMs, peakRssKb());
    return "{\"file\":" + jsonText(file) + ",\"duration_ms\":" + std::to_string(duration) +
           ",\"samples\":" + std::to_string(samples.size()) + ",\"source\":\"" +
           (lrc ? "lrc" : "split") + "\",\"threshold\":" + threshold + ",\"breakpoints_ms\":[" + breakpoints + "],\"stops_ms\":[" + stops + "]," +
           timing + "}";
}

} // namespace

std::string jsonText(const std::string &s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int RunLoadBench(const Args &files) {
    // One player for the whole run, as the main window keeps one across loads. Its
    // own BASS_Init on the default device fails harmlessly: device 0 is up.
    audio::TBass player(nullptr);
    int failures = 0;
    for (const std::string &file : files) {
        std::string line;
        try {
            line = loadOne(player, file);
        } catch (const std::exception &e) {
            line = "{\"file\":" + jsonText(file) + ",\"error\":" + jsonText(e.what()) + "}";
            ++failures;
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return failures ? 1 : 0;
}

} // namespace vorel::bench
