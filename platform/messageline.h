// Message boxes in unattended runs: with VORELPLAY_NO_DIALOGS=1 a box is not
// shown; its line "<caption>: <text>" goes to stderr instead, so that nothing
// waits for a click (tests, CI). Shared by every place that shows a box.
#pragma once

#include <string>

namespace vorel::platform {

// True (and the line written, flushed) when boxes are suppressed; false when the
// caller should show its box.
bool WriteMessageLineInstead(const std::string &caption, const std::string &text);

} // namespace vorel::platform
