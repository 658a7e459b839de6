#include "mappedfile.h"

#include "tempfolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::platform {

MappedFile::MappedFile(const std::string &path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw EPlatformError("无法打开文件" + path + "：" + SystemErrorText(errno));
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        close(fd_);
        throw EPlatformError("无法映射文件" + path + "：" + SystemErrorText(err));
    }
    if (st.st_size == 0)
        return; // mmap refuses a zero length; an empty file is simply no data
    void *p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) {
        const int err = errno;
        close(fd_);
        throw EPlatformError("无法映射文件" + path + "：" + SystemErrorText(err));
    }
    data_ = static_cast<const uint8_t *>(p);
    size_ = static_cast<size_t>(st.st_size);
}

MappedFile::~MappedFile() {
    if (data_)
        munmap(const_cast<uint8_t *>(data_), size_);
    if (fd_ >= 0)
        close(fd_);
}

} // namespace vorel::platform

namespace vorel::platform {

void MappedFile::ReleaseBefore(size_t offset) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = std::min(offset, size_) / page * page;
    if (data_ && bytes > 0)
        madvise(const_cast<uint8_t *>(data_), bytes, MADV_DONTNEED);
}

} // namespace vorel::platform
