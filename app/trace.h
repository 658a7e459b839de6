// The program's trace: when VORELPLAY_TRACE names a file, one line per event is
// appended to it and flushed at once: "<ms since start>\t<kind>\t<detail>\n".
// Kinds: status, notice, read, end, load, break, error, text (the current
// sentence's text when the current sentence changes and it has one), take (shadowing:
// switched on or off, the microphone armed, a take started, kept or dropped, played). Nothing is written when
// the variable is unset. GUI thread.
#pragma once

#include <string_view>

namespace vorel::app {

// Call first thing in main: the clock of the time stamps starts here, and the file
// is opened once.
void TraceStart();
bool TraceEnabled();
// Line breaks and tabs inside detail are written as spaces so that every event
// stays one line of three fields.
void Trace(std::string_view kind, std::string_view detail);

} // namespace vorel::app
