// Run-time loading of shared libraries by path. Handles are owned by the caller,
// who closes each exactly once. Thread: whichever; dlerror's text is per thread.
#pragma once

#include <string>

namespace vorel::platform {

// dlopen(path, RTLD_NOW | RTLD_LOCAL): every symbol resolved now, nothing exported
// to later loads. A path without '/' would be searched for, so callers give full
// paths. Returns nullptr on failure; error receives dlerror()'s text.
void *OpenLibrary(const std::string &path, std::string &error);
// nullptr when the name is missing.
void *LibrarySymbol(void *handle, const char *name);
void CloseLibrary(void *handle);

} // namespace vorel::platform
