#include "launcher.h"

#include <climits>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace hotpad {

std::string OwnDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    const std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

bool IsExecutableFile(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

pid_t StartDetached(const std::string &path) {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    char *argv[] = {const_cast<char *>(path.c_str()), nullptr};
    if (posix_spawn(&pid, path.c_str(), nullptr, &attr, argv, environ) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attr);
    return pid;
}

} // namespace hotpad
