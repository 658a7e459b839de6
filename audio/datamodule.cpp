#include "datamodule.h"

#include "bzip2.h"
#include "channelinfo.h"
#include "dynlib.h"
#include "safefile.h"
#include "slots.h"
#include "tempfolder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::audio {

namespace {

// Module handles are program-wide, like the slots they fill.
void *loadedCore = nullptr;
void *loadedFx = nullptr;

const char *const FxLoadFailed = "动态库FX加载失败！";

std::mt19937 &generator() {
    static std::mt19937 g{std::random_device{}()};
    return g;
}

void reseed() {
    // The clock alone would repeat within one tick; the device keeps names of
    // quick successive calls apart.
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::seed_seq seq{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32),
                      static_cast<uint32_t>(std::random_device{}())};
    generator().seed(seq);
}

int randomBelow(int n) { return std::uniform_int_distribution<int>(0, n - 1)(generator()); }

// Empties the folder open at dirfd; takes ownership of dirfd.
void emptyAt(int dirfd, const std::string &path) {
    DIR *dir = fdopendir(dirfd);
    if (!dir) {
        close(dirfd);
        throw EAudioError("无法进入文件夹" + path + "：" + platform::SystemErrorText(errno));
    }
    struct Closer {
        DIR *d;
        ~Closer() { closedir(d); }
    } closer{dir};
    while (dirent *e = readdir(dir)) {
        const char *name = e->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0)
                throw EAudioError("无法进入文件夹" + path + name + "：" + platform::SystemErrorText(errno));
            emptyAt(sub, path + name + "/");
        } else {
            unlinkat(dirfd, name, 0); // result ignored, as for any leftover
        }
    }
}

} // namespace

Tdm::Tdm(platform::ResourceLookup lookup, FatalHook fatal)
    : lookup_(std::move(lookup)), fatal_(std::move(fatal)) {}

void Tdm::DataModuleCreate() {
    reseed();
    try {
        // The folder is checked under the guard: a refused folder is fatal too.
        const std::string folder = TempFolder();
        // Killed runs leave their folders behind; ours is locked by now.
        platform::RemoveStaleTempFiles();
        effectsLibraryPath_ = folder + RandomLetters(2 + randomBelow(7)) + ".f" + RandomLetters(2);
        coreLibraryPath_ = folder + "bass" + ".dll";
        ExtractResource(platform::CoreLibraryResource, coreLibraryPath_);
        // Not looked at: a core library that did not load makes the effects
        // library fail, and that failure is reported.
        LoadCoreLibrary(coreLibraryPath_);
        ExtractResource(platform::EffectsLibraryResource, effectsLibraryPath_);
        LoadEffectsLibrary(effectsLibraryPath_);
    } catch (const std::exception &e) {
        if (fatal_)
            fatal_(std::string("错误：系统不能正常运行，原因：") + e.what(), "致命错误");
        std::fflush(nullptr);
        std::_Exit(1);
    }
}

void Tdm::DataModuleDestroy() {
    UnloadEffectsLibrary();
    UnloadCoreLibrary();
    try {
        const std::string folder = TempFolder();
        EmptyFolder(folder);
        rmdir(folder.c_str());
        // The private folder goes with the last instance; others keep it.
        rmdir(platform::PrivateTempFolder().c_str());
    } catch (const std::exception &) {
        // A folder that is not ours any more is left alone; nothing to report at exit.
    }
}

std::vector<uint8_t> Tdm::Decompress(const uint8_t *data, size_t size, int *bufferSizes) {
    try {
        return platform::Bunzip2(data, size, bufferSizes);
    } catch (const platform::EPlatformError &e) {
        throw EAudioError(e.what());
    }
}

void Tdm::ExtractResource(int id, const std::string &path) const {
    const auto res = lookup_ ? lookup_(id) : std::nullopt;
    if (!res)
        throw EAudioError("找不到资源" + std::to_string(id));
    const std::vector<uint8_t> bytes = Decompress(res->data, res->size);
    try {
        platform::WriteFileReplacing(path, bytes.data(), bytes.size());
    } catch (const platform::EPlatformError &e) {
        throw EAudioError(e.what());
    }
}

std::string Tdm::RandomLetters(int count) {
    reseed();
    std::string s;
    for (int i = 0; i < count; ++i) {
        char c = static_cast<char>('a' + randomBelow(26));
        if (randomBelow(4) == 0)
            c = static_cast<char>(c - 'a' + 'A');
        s += c;
    }
    return s;
}

std::string Tdm::TempFolder() {
    try {
        return platform::InstanceTempFolder();
    } catch (const platform::EPlatformError &e) {
        throw EAudioError(e.what());
    }
}

void Tdm::EmptyFolder(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return;
        throw EAudioError("无法进入文件夹" + path + "：" + platform::SystemErrorText(errno));
    }
    emptyAt(fd, path.empty() || path.back() == '/' ? path : path + "/");
}

bool Tdm::LoadCoreLibrary(const std::string &path) {
    if (loadedCore)
        return true;
    std::string error;
    loadedCore = platform::OpenLibrary(path, error);
    if (loadedCore && !bindCore(loadedCore)) {
        platform::CloseLibrary(loadedCore);
        loadedCore = nullptr;
    }
    return loadedCore != nullptr;
}

void Tdm::LoadEffectsLibrary(const std::string &path) {
    std::string error;
    void *module = platform::OpenLibrary(path, error);
    if (!module)
        throw EAudioError(FxLoadFailed + error);
    if (!bindFx(module)) {
        platform::CloseLibrary(module);
        throw EAudioError(FxLoadFailed);
    }
    if (loadedFx) // loaded twice: keep one reference, the slots now point into module
        platform::CloseLibrary(loadedFx);
    loadedFx = module;
}

void Tdm::UnloadEffectsLibrary() {
    if (!loadedFx)
        return;
    if (core.BASS_Free)
        core.BASS_Free();
    clearFx();
    platform::CloseLibrary(loadedFx);
    loadedFx = nullptr;
}

void Tdm::UnloadCoreLibrary() {
    if (!loadedCore)
        return;
    if (core.BASS_Free)
        core.BASS_Free();
    clearCore();
    platform::CloseLibrary(loadedCore);
    loadedCore = nullptr;
}

bool Tdm::CoreLoaded() { return loadedCore != nullptr; }
bool Tdm::EffectsLoaded() { return loadedFx != nullptr; }

} // namespace vorel::audio
