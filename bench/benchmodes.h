// The modes of vorel-bench. Each mode lives in a source file of its own and gets
// the arguments after its flag; main binds the audio libraries and initialises the
// no-sound device before any mode runs. A mode prints one JSON object per line
// and returns the process exit code.
#pragma once

#include <string>
#include <vector>

namespace vorel::bench {

using Args = std::vector<std::string>;

// Default mode: loads each file as the program does (player open, sampling,
// breakpoint file or automatic split).
int RunLoadBench(const Args &files);

// --export FILE OUT.apkg: every sentence of FILE to an Anki package, timed.
int RunExportBench(const Args &args);

// JSON text of s (quoted, escaped).
std::string jsonText(const std::string &s);

} // namespace vorel::bench
