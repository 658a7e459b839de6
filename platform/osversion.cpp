#include "osversion.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace vorel::platform {

int OsMajorVersion() {
    utsname u{};
    if (uname(&u) != 0)
        return 0;
    return std::atoi(u.release);
}

} // namespace vorel::platform
