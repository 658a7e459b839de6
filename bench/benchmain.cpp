// vorel-bench: the audio engine and the load path measured without a window, on
// the no-sound device (runs on machines without a sound card).
//   vorel-bench FILE...                        load each file as the program does
//   vorel-bench --decode FILE...               decode throughput of the core library
//   vorel-bench --tempo-cpu PERCENT SECONDS FILE  CPU of a tempo stream playing
//   vorel-bench --export FILE OUT.apkg         every sentence exported to a package
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "audio/slots.h"
#include "benchmodes.h"
#include "enginebench.h"

namespace {

using vorel::bench::Args;

int runTempoCpu(const Args &args) {
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vorel-bench --tempo-cpu PERCENT SECONDS FILE\n");
        return 2;
    }
    return vorel::bench::RunTempoCpuBench(args[2], std::atoi(args[0].c_str()), std::atof(args[1].c_str()));
}

struct Mode {
    const char *flag; // nullptr: the default mode
    int (*run)(const Args &);
};

// Add a mode here; its code goes in a file of its own.
const Mode modes[] = {
    {"--decode", vorel::bench::RunDecodeBench},
    {"--tempo-cpu", runTempoCpu},
    {"--export", vorel::bench::RunExportBench},
    {nullptr, vorel::bench::RunLoadBench},
};

} // namespace

int main(int argc, char **argv) {
    Args args(argv + 1, argv + argc);
    const Mode *mode = &modes[std::size(modes) - 1];
    if (!args.empty() && args[0].rfind("--", 0) == 0) {
        mode = nullptr;
        for (const Mode &m : modes)
            if (m.flag && args[0] == m.flag)
                mode = &m;
        if (!mode) {
            std::fprintf(stderr, "vorel-bench: unknown mode %s\n", args[0].c_str());
            return 2;
        }
        args.erase(args.begin());
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: vorel-bench [--decode | --tempo-cpu PERCENT SECONDS | --export] FILE...\n");
        return 2;
    }

    try {
        vorel::audio::loadLibrariesFrom(VOREL_CORE_LIB_PATH, VOREL_FX_LIB_PATH);
    } catch (const std::exception &e) {
        std::printf("{\"error\":%s}\n", vorel::bench::jsonText(e.what()).c_str());
        return 1;
    }
    // Device 0: channels run on the library's own clock, no sound card needed.
    vorel::audio::core.BASS_Init(0, 44100, 0, nullptr, nullptr);
    const int rc = mode->run(args);
    vorel::audio::core.BASS_Free();
    return rc;
}
