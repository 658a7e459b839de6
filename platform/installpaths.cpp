#include "installpaths.h"

#include <filesystem>
#include <system_error>

namespace vorel::platform {

namespace fs = std::filesystem;

namespace {

bool present(const fs::path &p) {
    std::error_code ec;
    return !p.empty() && fs::exists(p, ec);
}

} // namespace

std::string ExecutablePath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string FindShippedFile(const std::string &exe, const std::string &bindir, const std::string &installed,
                            const std::string &sourcePath) {
    if (!exe.empty() && fs::path(bindir).is_relative() && fs::path(installed).is_relative()) {
        // Walk up from the executable's folder once per component of bindir.
        fs::path prefix = fs::path(exe).parent_path();
        for (const auto &part : fs::path(bindir))
            if (!part.empty() && part != ".")
                prefix = prefix.parent_path();
        const fs::path candidate = (prefix / installed).lexically_normal();
        if (present(candidate))
            return candidate.string();
    }
    return present(sourcePath) ? sourcePath : std::string();
}

std::string DemoFolder() {
    return FindShippedFile(ExecutablePath(), VOREL_INSTALL_BINDIR, VOREL_INSTALL_DEMO_DIR,
                           VOREL_SOURCE_DIR "/resources/demo");
}

std::string ReadmePath() {
    return FindShippedFile(ExecutablePath(), VOREL_INSTALL_BINDIR, VOREL_INSTALL_DOC_DIR "/README.md",
                           VOREL_SOURCE_DIR "/README.md");
}

} // namespace vorel::platform
