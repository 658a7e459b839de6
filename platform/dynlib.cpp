#include "dynlib.h"

#include <dlfcn.h>

namespace vorel::platform {

void *OpenLibrary(const std::string &path, std::string &error) {
    dlerror();
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
