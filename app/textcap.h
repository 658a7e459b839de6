// Texts from files shown whole only up to a cap: a cue may be tens of megabytes,
// and laying it out, sending it over D-Bus or writing it into the trace would
// take the program with it. Any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorel::app {

// Rows and tool tips show this many characters of a text at most.
inline constexpr size_t RowTextCap = 4000;

// utf8 cut to its first maxChars characters, with "…" where something was cut.
// Never splits a character (stray continuation bytes go with the one before).
std::string CapText(std::string_view utf8, size_t maxChars);

} // namespace vorel::app
