// The learner's store at the size of years of study: R recordings of S sentences
// each (counts, some marks, kept breakpoints with texts). Prints one JSON line:
// the file's size, opening it (with its integrity check), loading one record,
// a flush of a typical few seconds of study (a position, three readings, a
// mark; median of 50), a flush of a whole edited breakpoint list, and the
// fingerprint of a 64 MiB recording.
// Usage: vorel-studybench [recordings [sentences]]   (default 300 and 600; in $TMPDIR, else /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "study/studystore.h"

namespace {

using namespace vorel::study;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TFingerprint fingerprint(int n) { return {100000000 + n, 3600000, std::to_string(n) + std::string(60, 'e')}; }

TKeptBreakpoints breakpoints(int sentences) {
    TKeptBreakpoints b{{}, TFileStamp{4000, 1700000000000, std::string(64, 'a')}};
    for (int i = 0; i < sentences; ++i)
        b.points.push_back({i * 4000, "这是第" + std::to_string(i) + "句的文字，长度和一句普通的话差不多。"});
    return b;
}

} // namespace

int main(int argc, char **argv) {
    const int recordings = argc > 1 ? std::atoi(argv[1]) : 300;
    const int sentences = argc > 2 ? std::atoi(argv[2]) : 600;
    const char *tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorel-studybench";
    std::filesystem::remove_all(folder);
    {
        TStudyStore store(folder);
        for (int r = 0; r < recordings; ++r) {
            const TFingerprint fp = fingerprint(r);
            store.SetPosition(fp, {sentences / 2, sentences / 2 * 4000});
            store.SetSettings(fp, {3, 21, 1, -20, {-30, -15, 0}});
            store.KeepBreakpoints(fp, breakpoints(sentences));
            for (int s = 0; s < sentences; ++s) {
                store.CountReading(fp, s * 4000);
                store.SetMarked(fp, s * 4000, s % 7 == 0);
            }
            store.Flush();
        }
    }
    const auto bytes = std::filesystem::file_size(folder + "/" + TStudyStore::FileName);

    auto start = Clock::now();
    TStudyStore store(folder);
    const double openMs = msSince(start);
    start = Clock::now();
    const TRecord record = store.Load(fingerprint(recordings / 2));
    const double loadMs = msSince(start);

    std::vector<double> flushes;
    const TFingerprint fp = fingerprint(recordings / 2);
    for (int i = 0; i < 50; ++i) {
        store.SetPosition(fp, {i, i * 4000});
        for (int k = 0; k < 3; ++k)
            store.CountReading(fp, i * 4000);
        store.SetMarked(fp, i * 4000, true);
        start = Clock::now();
        store.Flush();
        flushes.push_back(msSince(start));
    }
    std::sort(flushes.begin(), flushes.end());
    start = Clock::now();
    store.KeepBreakpoints(fp, breakpoints(sentences));
    store.Flush();
    const double breakpointsMs = msSince(start);

    const std::string audio = folder + "/recording.bin";
    {
        std::ofstream out(audio, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (int i = 0; i < 64; ++i) {
            std::fill(block.begin(), block.end(), static_cast<char>(i));
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    start = Clock::now();
    const bool fingerprinted = FingerprintFile(audio, 3600000).has_value();
    const double fingerprintMs = msSince(start);

    std::printf("{\"recordings\": %d, \"sentences\": %d, \"file_bytes\": %llu, \"persistent\": %s, "
                "\"open_ms\": %.2f, \"load_ms\": %.2f, \"loaded_sentences\": %zu, \"flush_median_ms\": %.2f, "
                "\"flush_max_ms\": %.2f, \"breakpoints_flush_ms\": %.2f, \"fingerprint_64mib_ms\": %.2f}\n",
                recordings, sentences, static_cast<unsigned long long>(bytes), store.Persistent() ? "true" : "false",
                openMs, loadMs, record.sentences.size(), flushes[flushes.size() / 2], flushes.back(), breakpointsMs,
                fingerprinted ? fingerprintMs : -1.0);
    std::filesystem::remove_all(folder);
    return store.Persistent() && fingerprinted ? 0 : 1;
}
