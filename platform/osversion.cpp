#include "osversion.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace vorel::platform {

int OsMajorVersion() {
    if (const char *injected = std::getenv("VORELPLAY_OS_MAJOR"); injected && *injected) {
        char *end = nullptr;
        const long v = std::strtol(injected, &end, 10);
        if (end && *end == '\0')
            return static_cast<int>(v);
    }
    utsname u{};
    if (uname(&u) != 0)
        return 0;
    return std::atoi(u.release);
}

} // namespace vorel::platform
