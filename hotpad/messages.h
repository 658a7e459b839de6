// Hotpad's message boxes: caption "Hotpad", one OK button. With
// VORELPLAY_NO_DIALOGS=1 the text goes to stderr as "Hotpad: <text>" and the box
// counts as dismissed at once (tests, unattended runs).
#pragma once

#include <string_view>

namespace hotpad {

// On the X display Hotpad serves; returns once the box is dismissed.
void ShowBox(std::string_view text);
// Without an X display: always on stderr, and in a box on a Wayland display when
// there is one.
void ReportWithoutX(std::string_view text);

} // namespace hotpad
