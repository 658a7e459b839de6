// A whole file mapped read-only (PROT_READ, MAP_SHARED), unmapped and closed by the
// destructor on every way out. Owned by its creator; one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorel::platform {

class MappedFile {
public:
    // Throws EPlatformError (tempfolder.h) when the file cannot be opened or mapped.
    // An empty file maps to data() == nullptr, size() == 0.
    explicit MappedFile(const std::string &path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    const uint8_t *data() const { return data_; }
    // Lets go of the pages before offset (they are read again from the file if
    // touched): a long sequential pass then keeps only a window resident.
    void ReleaseBefore(size_t offset);
    size_t size() const { return size_; }

private:
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    int fd_ = -1;
};

} // namespace vorel::platform
