#include "trace.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "textcap.h"

namespace vorel::app {

namespace {

std::FILE *traceFile = nullptr;
std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();
constexpr size_t TraceDetailCap = 2000;

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
    // A text from a file is cut (a sentence may be megabytes); the breakpoint list
    // is the program's own and is compared whole.
    std::string capped;
    if (kind != "break" && detail.size() > TraceDetailCap) {
        capped = CapText(detail, TraceDetailCap);
        detail = capped;
    }
    const size_t from = line.size();
    line += detail;
    std::replace_if(line.begin() + ptrdiff_t(from), line.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; },
                    ' ');
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), traceFile);
    std::fflush(traceFile);
}

void TraceStalls(QObject *owner) {
    if (!traceFile)
        return;
    constexpr int TickMs = 10;
    auto *tick = new QTimer(owner);
    tick->setTimerType(Qt::PreciseTimer);
    auto *since = new QElapsedTimer;
    since->start();
    QObject::connect(tick, &QTimer::destroyed, [since] { delete since; });
    QObject::connect(tick, &QTimer::timeout, [since] {
        const int64_t late = since->restart() - TickMs;
        if (late >= StallTraceMs)
            Trace("stall", std::to_string(late));
    });
    tick->start(TickMs);
}

} // namespace vorel::app
