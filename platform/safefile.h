// Writing whole files into a folder we have verified as ours (tempfolder.h)
// without ever following a symbolic link at the target name.
#pragma once

#include <cstddef>
#include <string>

namespace vorel::platform {

// Creates or replaces path with exactly these bytes (mode 0600, or the given
// mode). The bytes go to a new file beside it (O_CREAT | O_EXCL | O_NOFOLLOW, so no
// link is followed), which reaches the disk and is then renamed over path: a link
// or file already there is replaced, not written through, a reader never sees a
// half-written file, and a failed write leaves the old file as it was. Throws
// EPlatformError (tempfolder.h) naming the path and the system's reason.
void WriteFileReplacing(const std::string &path, const void *data, size_t size, unsigned mode = 0600);

} // namespace vorel::platform
