// The program's private per-user temporary folder and temporary files in it.
// A shared /tmp would let another local user plant files (libraries we load,
// links we write through), so the folder is ours alone: mode 0700, owned by us,
// never a symbolic link. Caller's thread; no shared state besides the file system.
#pragma once

#include <stdexcept>
#include <string>

namespace vorel::platform {

class EPlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// $TMPDIR (else /tmp) + "/tmpvp-<uid>/", created (mode 0700) when missing; ends in
// "/". Throws EPlatformError naming the cause when it exists as a symbolic link, is
// not a directory, or belongs to another user.
std::string PrivateTempFolder();

// Creates a new empty file "<folder><prefix>XXXXXX<suffix>" with mkstemps (mode
// 0600, never an existing name) and returns its open descriptor; path receives the
// name. Throws EPlatformError.
int MakeTempFile(const std::string &folder, const std::string &prefix, std::string &path,
                 const std::string &suffix = "");

} // namespace vorel::platform
