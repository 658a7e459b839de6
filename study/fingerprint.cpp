#include "fingerprint.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vorel::study {

namespace {

// Closes the descriptor on every way out.
class TFd {
public:
    explicit TFd(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Feeds bytes [offset, offset + length) of fd to hash; false on a short read
// (the file shrank under us) or an error.
bool hashRange(int fd, int64_t offset, int64_t length, QCryptographicHash &hash) {
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(length, 1 << 16)));
    while (length > 0) {
        const auto want = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
        const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        hash.addData(QByteArrayView(buffer.data(), got));
        offset += got;
        length -= got;
    }
    return true;
}

std::string hex(const QCryptographicHash &hash) { return hash.result().toHex().toStdString(); }

void setError(std::string *error, const std::string &text) {
    if (error)
        *error = text;
}

} // namespace

std::string TFingerprint::Key() const {
    return "1:" + std::to_string(size) + ":" + std::to_string(decodedMs) + ":" + hash;
}

std::optional<TFingerprint> FingerprintFile(const std::string &path, int64_t decodedMs, std::string *error) {
    TFd fd(path);
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        setError(error, std::strerror(errno));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        setError(error, "not a regular file");
        return std::nullopt;
    }
    TFingerprint fp;
    fp.size = st.st_size;
    fp.decodedMs = decodedMs;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const int64_t head = std::min(fp.size, FingerprintSpan);
    const int64_t tail = std::min(fp.size - head, FingerprintSpan);
    if (!hashRange(fd.get(), 0, head, hash) || !hashRange(fd.get(), fp.size - tail, tail, hash)) {
        setError(error, "short read");
        return std::nullopt;
    }
    fp.hash = hex(hash);
    return fp;
}

std::optional<TFileStamp> StampFile(const std::string &path) {
    TFd fd(path);
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    TFileStamp stamp;
    stamp.size = st.st_size;
    stamp.mtimeMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hashRange(fd.get(), 0, stamp.size, hash))
        return std::nullopt;
    stamp.hash = hex(hash);
    return stamp;
}

bool SideFileWins(const std::optional<TFileStamp> &kept, const std::optional<TFileStamp> &now) {
    if (!now)
        return false;
    return !kept || kept->size != now->size || kept->hash != now->hash;
}

} // namespace vorel::study
