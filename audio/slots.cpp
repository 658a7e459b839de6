#include "slots.h"

#include <string>

#include "channelinfo.h"
#include "dynlib.h"

namespace vorel::audio {

CoreSlots core;
FxSlots fx;

namespace {
void *coreHandle = nullptr;
void *fxHandle = nullptr;
} // namespace

// A missing name returns before the slots are assigned, so they stay cleared.
#define VOREL_BIND(name)                                                                           \
    filled.name = reinterpret_cast<decltype(filled.name)>(platform::LibrarySymbol(module, #name)); \
    if (!filled.name)                                                                              \
        return false;

bool bindCore(void *module) {
    clearCore();
    if (!module)
        return false;
    CoreSlots filled;
    VOREL_CORE_ENTRY_POINTS(VOREL_BIND)
    core = filled;
    return true;
}

bool bindFx(void *module) {
    clearFx();
    if (!module)
        return false;
    FxSlots filled;
    VOREL_FX_ENTRY_POINTS(VOREL_BIND)
    fx = filled;
    return true;
}

#undef VOREL_BIND

void clearCore() { core = CoreSlots{}; }
void clearFx() { fx = FxSlots{}; }

void *coreModule() { return coreHandle; }
void *fxModule() { return fxHandle; }

namespace {

// Opens path into handle unless it is open already, and binds its names.
void openAndBind(const char *path, void *&handle, bool (*bind)(void *)) {
    if (handle)
        return;
    std::string error;
    void *h = platform::OpenLibrary(path, error);
    if (!h)
        throw EAudioError(error);
    if (!bind(h)) {
        platform::CloseLibrary(h);
        throw EAudioError(std::string("入口点不全：") + path);
    }
    handle = h;
}

} // namespace

void loadLibrariesFrom(const char *corePath, const char *fxPath) {
    // The effects library needs the core by its soname, so the core goes first.
    openAndBind(corePath, coreHandle, bindCore);
    openAndBind(fxPath, fxHandle, bindFx);
}

void unloadLibraries() {
    clearFx();
    clearCore();
    if (fxHandle)
        platform::CloseLibrary(fxHandle);
    if (coreHandle)
        platform::CloseLibrary(coreHandle);
    fxHandle = coreHandle = nullptr;
}

} // namespace vorel::audio
