#include "decoder.h"

#include "audiolib.h"
#include "decoder_detail.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::audiolib {

namespace detail {

SourceFile::~SourceFile() {
    ::close(fd_);
}

int64_t SourceFile::readAt(uint64_t offset, void *buf, size_t n) const {
    size_t done = 0;
    auto *out = static_cast<unsigned char *>(buf);
    while (done < n) {
        if (bounded_ && offset + done >= size_)
            break;
        const size_t want = bounded_ ? std::min<uint64_t>(n - done, size_ - offset - done) : n - done;
        const ssize_t got = ::pread(fd_, out + done, want, static_cast<off_t>(base_ + offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

std::unique_ptr<SourceFile> SourceFile::view(uint64_t begin, uint64_t n) const {
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    auto part = std::make_unique<SourceFile>(fd, std::min(n, size_ - std::min(begin, size_)));
    part->base_ = base_ + begin;
    part->bounded_ = true;
    return part;
}

} // namespace detail

namespace {

bool startsLikeMpeg(const unsigned char *h, int64_t n) {
    if (n >= 3 && h[0] == 'I' && h[1] == 'D' && h[2] == '3')
        return true;
    return n >= 2 && h[0] == 0xFF && (h[1] & 0xE0) == 0xE0;
}

} // namespace

std::unique_ptr<Decoder> Decoder::open(const std::string &path, bool prescan, int &error) {
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<detail::SourceFile>(fd, static_cast<uint64_t>(st.st_size));

    unsigned char head[4] = {};
    const int64_t headBytes = file->size() ? file->readAt(0, head, sizeof head) : 0;
    if (headBytes < 0) {
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    if (headBytes == 0) {
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    }

    // An MPEG stream is never handed to libsndfile: it stops untagged VBR files at
    // its length estimate. Containers go to libsndfile first, so that PCM data
    // that happens to look like frame headers cannot be taken for MPEG audio.
    const bool mpegFirst = startsLikeMpeg(head, headBytes);
    if (mpegFirst) {
        if (auto start = detail::findMpegAudioStart(*file))
            return detail::openMpegDecoder(std::move(file), *start, prescan, error);
    }
    if (auto dec = detail::openSndfileDecoder(file, error))
        return dec;
    if (!file)
        return nullptr;
    if (auto dec = detail::openAvDecoder(file, error))
        return dec;
    if (!file)
        return nullptr;
    if (!mpegFirst) {
        if (auto start = detail::findMpegAudioStart(*file))
            return detail::openMpegDecoder(std::move(file), *start, prescan, error);
    }
    error = BASS_ERROR_FILEFORM;
    return nullptr;
}

} // namespace vorel::audiolib
