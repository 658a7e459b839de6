// The program's trace: when VORELPLAY_TRACE names a file, one line per event is
// appended to it and flushed at once: "<ms since start>\t<kind>\t<detail>\n".
// Kinds: status, notice, read, end, load, break, error, stall, speed (a laddered
// reading's speed in percent), rows (the transcript filled), text (the current
// sentence's text when the current sentence changes and it has one), take
// (shadowing: switched on or off, the microphone armed, a take started, kept or
// dropped, played). Nothing is written when the variable is unset. GUI thread.
#pragma once

#include <string_view>

class QObject;

namespace vorel::app {

// Call first thing in main: the clock of the time stamps starts here, and the file
// is opened once.
void TraceStart();
bool TraceEnabled();
// Line breaks and tabs inside detail are written as spaces so that every event
// stays one line of three fields; a detail is cut at 2000 characters, but for the
// breakpoint list ("break").
void Trace(std::string_view kind, std::string_view detail);
// While tracing, a ticker on owner's thread writes "stall <ms>" whenever the event
// loop came back to it StallTraceMs or more later than asked: the longest time a
// click waited for the window. Nothing without a trace.
inline constexpr int StallTraceMs = 50;
void TraceStalls(QObject *owner);

} // namespace vorel::app
