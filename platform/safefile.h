// Writing whole files into a folder we have verified as ours (tempfolder.h)
// without ever following a symbolic link at the target name.
#pragma once

#include <cstddef>
#include <string>

namespace vorel::platform {

// Creates or replaces path with exactly these bytes (mode 0600). The bytes go to a
// new file beside it (O_CREAT | O_EXCL | O_NOFOLLOW, so no link is followed), which
// is then renamed over path: a link or file already there is replaced, not written
// through, and a reader never sees a half-written file. Throws EPlatformError
// (tempfolder.h) naming the path and the system's reason.
void WriteFileReplacing(const std::string &path, const void *data, size_t size);

} // namespace vorel::platform
