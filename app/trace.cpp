#include "trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vorel::app {

namespace {

std::FILE *traceFile = nullptr;
std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();

} // namespace

void TraceStart() {
    startTime = std::chrono::steady_clock::now();
    if (traceFile)
        return;
    const char *path = std::getenv("VORELPLAY_TRACE");
    if (path && *path)
        traceFile = std::fopen(path, "ae");
}

bool TraceEnabled() { return traceFile != nullptr; }

void Trace(std::string_view kind, std::string_view detail) {
    if (!traceFile)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - startTime).count();
    std::string line = std::to_string(ms);
    line += '\t';
    line += kind;
    line += '\t';
    for (char c : detail)
        line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), traceFile);
    std::fflush(traceFile);
}

} // namespace vorel::app
