#include "slots.h"

#include <dlfcn.h>

#include <string>

#include "channelinfo.h"

namespace vorel::audio {

CoreSlots core;
FxSlots fx;

namespace {
void *coreHandle = nullptr;
void *fxHandle = nullptr;
} // namespace

// A missing name returns before the slots are assigned, so they stay cleared.
#define VOREL_BIND(name)                                                                           \
    filled.name = reinterpret_cast<decltype(filled.name)>(dlsym(module, #name));                   \
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

void loadLibrariesFrom(const char *corePath, const char *fxPath) {
    // The effects library needs the core by its soname, so the core goes first.
    if (!coreHandle) {
        void *h = dlopen(corePath, RTLD_NOW | RTLD_LOCAL);
        if (!h)
            throw EAudioError(dlerror());
        if (!bindCore(h)) {
            dlclose(h);
            throw EAudioError(std::string("入口点不全：") + corePath);
        }
        coreHandle = h;
    }
    if (!fxHandle) {
        void *h = dlopen(fxPath, RTLD_NOW | RTLD_LOCAL);
        if (!h)
            throw EAudioError(dlerror());
        if (!bindFx(h)) {
            dlclose(h);
            throw EAudioError(std::string("入口点不全：") + fxPath);
        }
        fxHandle = h;
    }
}

void unloadLibraries() {
    clearFx();
    clearCore();
    if (fxHandle)
        dlclose(fxHandle);
    if (coreHandle)
        dlclose(coreHandle);
    fxHandle = coreHandle = nullptr;
}

} // namespace vorel::audio
