// The resource table compiled into the program: the two audio libraries and the
// help page, each one bzip2 stream ("BZh9..."), under their numeric ids.
#pragma once

#include "resource.h"

#include <optional>

namespace vorel::resources {

using platform::CoreLibraryResource;
using platform::EffectsLibraryResource;
using platform::HelpPageResource;
using platform::ResourceId;

// The embedded bytes for id, valid for the whole run; nothing for an unknown id.
std::optional<platform::ResourceBytes> FindResource(int id);

// The program version, "major.minor.patch".
const char *ProgramVersion();

} // namespace vorel::resources
