// Starting Vorelplay: from beside Hotpad's own executable, else from PATH.
#pragma once

#include <sys/types.h>

#include <string>

namespace hotpad {

// The folder of the running executable (symlinks resolved), or "" if unknown.
std::string OwnDir();
bool IsExecutableFile(const std::string &path);
// Starts the program in a session of its own, so that it outlives Hotpad and a
// signal to Hotpad's terminal does not reach it. Its process id, or -1.
pid_t StartDetached(const std::string &path);

} // namespace hotpad
