#include "tempfolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::platform {

namespace {

std::string errnoText(int err) { return std::strerror(err); }

// Refuses anything but a real directory of ours: the folder later receives the
// libraries we load, so a planted link or someone else's folder is a hijack.
void verifyOurs(const std::string &dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0)
        throw EPlatformError("临时文件夹" + dir + "无法访问：" + errnoText(errno));
    if (S_ISLNK(st.st_mode))
        throw EPlatformError("临时文件夹" + dir + "是符号链接");
    if (!S_ISDIR(st.st_mode))
        throw EPlatformError("临时文件夹" + dir + "不是文件夹");
    if (st.st_uid != geteuid())
        throw EPlatformError("临时文件夹" + dir + "属于其他用户（uid " + std::to_string(st.st_uid) + "）");
    // Ours but opened up by someone (e.g. an old umask): take it back.
    if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0)
        throw EPlatformError("临时文件夹" + dir + "权限无法设置：" + errnoText(errno));
}

} // namespace

std::string PrivateTempFolder() {
    const char *base = std::getenv("TMPDIR");
    std::string dir = (base && *base) ? base : "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    dir += "/tmpvp-" + std::to_string(geteuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw EPlatformError("临时文件夹" + dir + "无法创建：" + errnoText(errno));
    verifyOurs(dir);
    return dir + "/";
}

int MakeTempFile(const std::string &folder, const std::string &prefix, std::string &path,
                 const std::string &suffix) {
    std::string tmpl = folder;
    if (!tmpl.empty() && tmpl.back() != '/')
        tmpl += '/';
    tmpl += prefix + "XXXXXX" + suffix;
    int fd = mkostemps(tmpl.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0)
        throw EPlatformError("无法创建临时文件" + tmpl + "：" + errnoText(errno));
    path = tmpl;
    return fd;
}

} // namespace vorel::platform
