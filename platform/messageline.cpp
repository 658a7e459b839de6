#include "messageline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vorel::platform {

bool WriteMessageLineInstead(const std::string &caption, const std::string &text) {
    const char *noDialogs = std::getenv("VORELPLAY_NO_DIALOGS");
    if (!noDialogs || std::strcmp(noDialogs, "1") != 0)
        return false;
    const std::string line = caption + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return true;
}

} // namespace vorel::platform
