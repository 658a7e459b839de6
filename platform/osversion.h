// The operating system's major version, for the start-up check. The program needs
// a kernel of this generation or later (timers, memfd-era interfaces of Qt 6 and SDL).
// Any thread.
#pragma once

namespace vorel::platform {

inline constexpr int MinimumOsMajorVersion = 5;

// The kernel release's major number ("6.1.0-18-amd64" gives 6); 0 when it cannot
// be read.
int OsMajorVersion();

} // namespace vorel::platform
