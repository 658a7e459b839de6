#include "datamodule.h"

#include "channelinfo.h"
#include "dynlib.h"
#include "safefile.h"
#include "slots.h"
#include "tempfolder.h"

#include <bzlib.h>
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
        throw EAudioError("无法进入文件夹" + path + "：" + std::strerror(errno));
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
                throw EAudioError("无法进入文件夹" + path + name + "：" + std::strerror(errno));
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
        effectsLibraryPath_ = folder + RandomLetters(2 + randomBelow(7)) + ".f" + RandomLetters(2);
        coreLibraryPath_ = folder + "bass" + ".dll";
        ExtractResource(CoreResource, coreLibraryPath_);
        // Not looked at: a core library that did not load makes the effects
        // library fail, and that failure is reported.
        LoadCoreLibrary(coreLibraryPath_);
        ExtractResource(EffectsResource, effectsLibraryPath_);
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
    } catch (const std::exception &) {
        // A folder that is not ours any more is left alone; nothing to report at exit.
    }
}

std::vector<uint8_t> Tdm::Decompress(const uint8_t *data, size_t size, int *bufferSizes) {
    if (bufferSizes)
        *bufferSizes = 1;
    if (size > UINT32_MAX / 4)
        throw EAudioError("error " + std::to_string(BZ_PARAM_ERROR));
    const size_t step = (size + 255) / 256 * 256;
    std::vector<uint8_t> out(size * 2);

    // The stream form of the one-call decompression: a full buffer is grown and
    // decompression goes on where it stopped, instead of starting over each time.
    bz_stream bz{};
    int rc = BZ2_bzDecompressInit(&bz, 0, 0);
    if (rc != BZ_OK)
        throw EAudioError("error " + std::to_string(rc));
    struct End {
        bz_stream *s;
        ~End() { BZ2_bzDecompressEnd(s); }
    } end{&bz};
    static char none = 0; // the library refuses null buffers even when empty
    bz.next_in = size ? const_cast<char *>(reinterpret_cast<const char *>(data)) : &none;
    bz.avail_in = static_cast<unsigned int>(size);
    size_t produced = 0;
    for (;;) {
        bz.next_out = out.empty() ? &none : reinterpret_cast<char *>(out.data()) + produced;
        bz.avail_out = static_cast<unsigned int>(out.size() - produced);
        const unsigned int room = bz.avail_out;
        rc = BZ2_bzDecompress(&bz);
        produced += room - bz.avail_out;
        if (rc == BZ_STREAM_END) {
            out.resize(produced);
            return out;
        }
        if (rc != BZ_OK)
            throw EAudioError("error " + std::to_string(rc));
        if (bz.avail_out > 0) // all input used, stream not ended
            throw EAudioError("error " + std::to_string(BZ_UNEXPECTED_EOF));
        if (step == 0 || out.size() + step > UINT32_MAX)
            throw EAudioError("error " + std::to_string(BZ_OUTBUFF_FULL));
        out.resize(out.size() + step);
        if (bufferSizes)
            ++*bufferSizes;
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
        return platform::PrivateTempFolder();
    } catch (const platform::EPlatformError &e) {
        throw EAudioError(e.what());
    }
}

void Tdm::EmptyFolder(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return;
        throw EAudioError("无法进入文件夹" + path + "：" + std::strerror(errno));
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
