// vorel-bench --export FILE OUT.apkg: a recording's sentences exported as the
// command-line program does, timed: the load (player-free, as vorel-export loads)
// and the export (clips read, levelled, encoded and packed).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "benchmodes.h"
#include "export/exporter.h"
#include "repeater/lesson.h"

namespace vorel::bench {

int RunExportBench(const Args &args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vorel-bench --export FILE OUT.apkg\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    // CPU time of the process, all threads: on a busy machine the fairer figure.
    const auto cpuMs = [] {
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
    };
    try {
        const auto t0 = Clock::now();
        repeater::TLesson lesson = repeater::LoadLesson(args[0], [](int32_t) {});
        exports::TExportJob job;
        job.recordingPath = args[0];
        job.fingerprint = study::FingerprintFile(args[0], lesson.info.duration).value_or(study::TFingerprint{});
        job.sentences = exports::SentencesOf(*lesson.segments, lesson.samples, lesson.silenceLevel, lesson.columnMs);
        for (size_t i = 0; i < job.sentences.size(); ++i)
            job.chosen.push_back(static_cast<int32_t>(i));
        const auto t1 = Clock::now();
        const double cpu1 = cpuMs();
        const auto source = exports::OpenRecording(args[0]);
        exports::Export(job, *source, args[1], exports::TExportFormat::Apkg);
        const auto t2 = Clock::now();
        std::printf("{\"file\":%s,\"duration_ms\":%d,\"sentences\":%zu,\"load_ms\":%.1f,\"export_ms\":%.1f,"
                    "\"export_cpu_ms\":%.1f}\n",
                    jsonText(args[0]).c_str(), lesson.info.duration, job.chosen.size(), ms(t0, t1), ms(t1, t2),
                    cpuMs() - cpu1);
        return 0;
    } catch (const std::exception &e) {
        std::printf("{\"file\":%s,\"error\":%s}\n", jsonText(args[0]).c_str(), jsonText(e.what()).c_str());
        return 1;
    }
}

} // namespace vorel::bench
