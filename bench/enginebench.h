// Benchmarks of the audio libraries through the bound entry points. The libraries
// must be bound and BASS_Init(0, ...) done (no sound device: real-time clock).
#pragma once

#include <string>
#include <vector>

namespace vorel::bench {

// Decodes each file whole through a decoding channel; one JSON line per file.
int RunDecodeBench(const std::vector<std::string> &files);
// Plays the file through a tempo stream at 100 + tempoPercent % for `seconds` of
// wall time and reports the process's CPU time as a share of one core.
int RunTempoCpuBench(const std::string &file, int tempoPercent, double seconds);

} // namespace vorel::bench
