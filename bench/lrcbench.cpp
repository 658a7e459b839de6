// Loading a breakpoint file of N lines whose stamps all lie past the end of the
// audio, for N = 100,000 and 1,000,000: prints the time of each and their ratio
// (a linear load gives about 10).
// Usage: vorel-lrcbench [folder]   (default $TMPDIR, else /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "segment/breakpointfile.h"

namespace {

double loadMs(const std::string &folder, int lines) {
    const std::string audio = folder + "/vorel-lrcbench.wav";
    const std::string lrc = vorel::segment::BreakpointFileFor(audio);
    {
        std::ofstream out(lrc, std::ios::binary | std::ios::trunc);
        char line[64];
        for (int i = 0; i < lines; ++i) {
            // 10 minutes on, one stamp per 10 ms: all past the one-minute recording.
            const int ms = 600000 + i * 10;
            std::snprintf(line, sizeof line, "[%02d:%02d.%02d]line %d\n", ms / 60000, ms / 1000 % 60, ms / 10 % 100, i);
            out << line;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    vorel::segment::TSegmentList list;
    vorel::segment::LoadBreakpoints(list, audio, {}, 60000);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::remove(lrc.c_str());
    if (list.Count() != 2)
        std::fprintf(stderr, "unexpected list of %d records\n", list.Count());
    return ms;
}

} // namespace

int main(int argc, char **argv) {
    const char *tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    const double small = loadMs(folder, 100000);
    const double large = loadMs(folder, 1000000);
    std::printf("{\"lines_100k_ms\":%.0f,\"lines_1m_ms\":%.0f,\"ratio\":%.1f}\n", small, large, large / small);
    return 0;
}
