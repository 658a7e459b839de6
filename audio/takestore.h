// The learner's takes on disk: FLAC files (mono 16-bit) in a folder the caller
// gives, the newest few per sentence; older ones are deleted as new ones arrive.
// Nothing leaves the folder. One thread at a time per folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::audio {

class TTakeStore {
public:
    // folder: created (mode 0700) on the first save. keep: takes kept per sentence.
    explicit TTakeStore(std::string folder, int keep = 5);

    // A sentence's key: letters, digits, '_' and '-' only (it becomes part of a
    // file name), at most 64 characters.
    static bool ValidKey(const std::string &key);
    // Writes the take as the newest of `key` (to a new file, renamed into place once
    // whole) and deletes the oldest beyond the number kept. Returns its path, or ""
    // on failure (bad key, empty take, folder or file not writable).
    std::string Save(const std::string &key, const std::vector<int16_t> &samples, uint32_t rate);
    // Paths of the takes of `key`, oldest first.
    std::vector<std::string> Takes(const std::string &key) const;
    // Deletes one take (a path Takes gave) or all of a sentence's.
    bool Delete(const std::string &path);
    int DeleteAll(const std::string &key);

private:
    std::string folder_;
    int keep_;
};

} // namespace vorel::audio
