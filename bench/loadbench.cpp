// The default mode of vorel-bench: the load path of the main window, timed.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "align/alignjob.h"
#include "audio/player.h"
#include "benchmodes.h"
#include "repeater/lesson.h"
#include "segment/breakpointfile.h"
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
    // In the window's order: the file opens, the player takes it, then the
    // lesson grows from the sampler's workers as the window's load timer takes it in.
    const auto t0 = Clock::now();
    std::shared_ptr<align::TAlignJob> job;
    const std::unique_ptr<repeater::ILessonSource> source =
        repeater::StartTextLesson(file, [&]() -> std::unique_ptr<repeater::ITimedTexts> {
            job = align::TAlignJob::ForAudio(file);
            return repeater::TimedTextsOf(job);
        });
    repeater::TLesson lesson = source->Begin();
    player.Open(file);
    const double openMs = msSince(t0);
    const int32_t duration = player.info.duration;

    // The last poll takes the last samples and runs what needs the whole
    // recording (the noise floor, the tail level): that is the split's share.
    double firstSentenceMs = -1, sampleMs = 0, splitMs = 0;
    for (;;) {
        const auto before = Clock::now();
        const repeater::TGrowth g = source->Poll(lesson);
        if (firstSentenceMs < 0 && source->KnownSentences(lesson) > 0)
            firstSentenceMs = msSince(t0);
        if (g.finished) {
            sampleMs = std::chrono::duration<double, std::milli>(before - t0).count() - openMs;
            splitMs = msSince(before);
            break;
        }
        if (!g.samples)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double totalMs = msSince(t0);
    const segment::TSegmentList &segments = *lesson.segments;

    std::string breakpoints, stops;
    for (int32_t i = 0; i < segments.Count(); ++i) {
        const int32_t t = segments.Items(i).TimeMs;
        breakpoints += (i ? "," : "") + std::to_string(t);
        // Where the reading of sentence i - 1 stops: the window reads whole columns.
        if (i > 0)
            stops += (i > 1 ? "," : "") +
                     std::to_string(segment::ReadingStopMs(lesson.samples, lesson.silenceLevel,
                                                           t / audio::MsPerColumn * audio::MsPerColumn,
                                                           lesson.columnMs));
    }

    // The silence level the split used; a breakpoint or subtitle file has none.
    const bool split = lesson.source == segment::TBreakpointSource::Split;
    const std::string threshold = split ? std::to_string(lesson.silenceLevel) : "null";
    const std::string first = firstSentenceMs < 0 ? "null" : [&] {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3f", firstSentenceMs);
        return std::string(buf);
    }();

    char timing[320];
    std::snprintf(timing, sizeof timing,
                  "\"open_ms\":%.3f,\"sample_ms\":%.3f,\"split_ms\":%.3f,\"total_ms\":%.3f,\"peak_rss_kb\":%ld",
                  openMs, sampleMs, splitMs, totalMs, peakRssKb());
    // The alignment runs beside the sampling; its own time, decoding included.
    std::string aligned = ",\"align_ms\":null";
    if (job) {
        char buf[96];
        std::snprintf(buf, sizeof buf, ",\"align_ms\":%.3f,\"voice\":", job->ElapsedMs());
        aligned = buf + jsonText(job->Voice());
    }
    return "{\"file\":" + jsonText(file) + ",\"duration_ms\":" + std::to_string(duration) +
           ",\"samples\":" + std::to_string(lesson.samples.size()) + ",\"source\":\"" +
           segment::SourceName(lesson.source) + "\",\"threshold\":" + threshold + ",\"breakpoints_ms\":[" +
           breakpoints + "],\"stops_ms\":[" + stops + "]," + timing + aligned + ",\"first_sentence_ms\":" + first + "}";
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
