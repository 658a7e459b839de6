// The data module: unpacks the two audio libraries from the program's resources
// into the private temp folder, loads them by path and binds their entry points
// into the slots (slots.h); at the end it unloads them and clears the folder.
// Also serves the help window: resource extraction and random file-name letters.
// GUI thread only, during start-up and shut-down. One instance per program.
#pragma once

#include "resource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorel::audio {

class Tdm {
public:
    // Shows the fatal box (text, caption). The program ends right after it returns;
    // a hook that throws (tests) leaves the module as it was at the failure.
    using FatalHook = std::function<void(const std::string &text, const std::string &caption)>;

    Tdm(platform::ResourceLookup lookup, FatalHook fatal);
    ~Tdm() = default;
    Tdm(const Tdm &) = delete;
    Tdm &operator=(const Tdm &) = delete;

    // Removes what killed runs left, chooses the file names, extracts and loads
    // the core library, then the effects library. Any failure: the fatal hook with
    // "错误：系统不能正常运行，原因：" + reason, caption "致命错误", then _Exit(1).
    void DataModuleCreate();
    // Unloads both libraries, empties and removes this instance's folder, and the
    // private folder when no other instance uses it. Never throws.
    void DataModuleDestroy();

    // Decompresses resource id whole and creates or replaces the file at path
    // without following a link there. Throws EAudioError: a missing resource, the
    // bzip2 failure "error <code>", or the file that cannot be written.
    void ExtractResource(int id, const std::string &path) const;

    // platform::Bunzip2 (its buffer rule, bufferSizes), failures as
    // EAudioError("error <code>").
    static std::vector<uint8_t> Decompress(const uint8_t *data, size_t size, int *bufferSizes = nullptr);

    // count letters, each uniform in a..z, upper case with a chance of 1 in 4.
    static std::string RandomLetters(int count);
    // This instance's folder in the private per-user folder (platform::
    // InstanceTempFolder), created when missing; ends in "/". Throws EAudioError
    // naming the cause when the private folder is a link, not a folder or not ours.
    static std::string TempFolder();
    // Deletes every non-folder entry below path (links are removed, never
    // followed); sub-folders are emptied but kept. A missing path is no error.
    // Throws EAudioError when a folder cannot be opened.
    static void EmptyFolder(const std::string &path);

    // Loads and binds the core library; true when it is loaded (at once when it
    // already was). A missing name unloads it again and gives false.
    bool LoadCoreLibrary(const std::string &path);
    // Throws EAudioError "动态库FX加载失败！" + dlerror text when it does not load,
    // "动态库FX加载失败！" alone when a name is missing.
    void LoadEffectsLibrary(const std::string &path);
    void UnloadEffectsLibrary();
    void UnloadCoreLibrary();

    static bool CoreLoaded();
    static bool EffectsLoaded();

    const std::string &coreLibraryPath() const { return coreLibraryPath_; }
    const std::string &effectsLibraryPath() const { return effectsLibraryPath_; }

private:
    platform::ResourceLookup lookup_;
    FatalHook fatal_;
    std::string coreLibraryPath_;
    std::string effectsLibraryPath_;
};

} // namespace vorel::audio
