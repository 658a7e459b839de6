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

// The reason behind a system error number, in Chinese: the learner reads it in a
// message box ("只读文件系统" rather than "Read-only file system").
std::string SystemErrorText(int err);

// $TMPDIR (else /tmp) + "/tmpvp-<uid>/", created (mode 0700) when missing; ends in
// "/". Throws EPlatformError naming the cause when it exists as a symbolic link, is
// not a directory, or belongs to another user.
std::string PrivateTempFolder();

// This process's own folder in the private folder, "<private>run-XXXXXX/": the
// libraries it loads and its temporary files live there, so that one instance's
// exit never deletes what another uses. Made (mode 0700) on the first call and
// again when it is gone; held by a lock on its ".lock" file while the process
// lives (a killed process lets go of it). Ends in "/". Throws EPlatformError.
std::string InstanceTempFolder();

// Removes what earlier runs left in the private folder: every instance folder
// whose lock no process holds, and loose files of earlier versions. A folder
// without a lock file is left alone for its first minute (an instance may just
// be making it). Never follows links; never throws. Returns the entries removed.
int RemoveStaleTempFiles();

// Creates a new empty file "<folder><prefix>XXXXXX<suffix>" with mkstemps (mode
// 0600, never an existing name) and returns its open descriptor; path receives the
// name. Throws EPlatformError.
int MakeTempFile(const std::string &folder, const std::string &prefix, std::string &path,
                 const std::string &suffix = "");

} // namespace vorel::platform
