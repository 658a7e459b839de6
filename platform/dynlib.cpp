#include "dynlib.h"

#include <dlfcn.h>

namespace vorel::platform {

namespace {

#ifdef VOREL_KEEP_LIBRARIES_MAPPED
// Sanitizer builds: a library unmapped by dlclose takes the globals that still
// point at its allocations with it, and the leak check reports all of them (with
// no symbols). Kept mapped, its reports name real leaks.
constexpr int ExtraFlags = RTLD_NODELETE;
#else
constexpr int ExtraFlags = 0;
#endif

} // namespace

void *OpenLibrary(const std::string &path, std::string &error) {
    dlerror();
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | ExtraFlags);
    if (!h) {
        const char *e = dlerror();
        error = e ? e : "dlopen failed";
    }
    return h;
}

void *LibrarySymbol(void *handle, const char *name) { return handle ? dlsym(handle, name) : nullptr; }

void CloseLibrary(void *handle) {
    if (handle)
        dlclose(handle);
}

} // namespace vorel::platform
