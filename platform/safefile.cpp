#include "safefile.h"

#include "tempfolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::platform {

namespace {

[[noreturn]] void fail(const std::string &path, int err) {
    throw EPlatformError("无法创建文件" + path + "：" + SystemErrorText(err));
}

} // namespace

void WriteFileReplacing(const std::string &path, const void *data, size_t size, unsigned mode) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    std::string tmpl = folder + ".new-XXXXXX";
    // mkostemp opens with O_CREAT | O_EXCL, which never follows a link.
    int fd = mkostemp(tmpl.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        fail(path, errno);
    const auto *p = static_cast<const char *>(data);
    size_t left = size;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            close(fd);
            unlink(tmpl.c_str());
            fail(path, err);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    // A crash after the rename must not leave an empty file where the old one was.
    if ((mode != 0600 && fchmod(fd, static_cast<mode_t>(mode)) != 0) || fsync(fd) != 0) {
        const int err = errno;
        close(fd);
        unlink(tmpl.c_str());
        fail(path, err);
    }
    if (close(fd) != 0) {
        const int err = errno;
        unlink(tmpl.c_str());
        fail(path, err);
    }
    if (rename(tmpl.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(tmpl.c_str());
        fail(path, err);
    }
}

} // namespace vorel::platform
