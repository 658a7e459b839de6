#include "tempfolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>
#include <fcntl.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::platform {

std::string SystemErrorText(int err) {
    switch (err) {
    case EACCES:
    case EPERM: return "没有权限";
    case EROFS: return "只读文件系统";
    case ENOSPC: return "磁盘空间不足";
    case EDQUOT: return "超出磁盘配额";
    case ENOENT: return "文件或文件夹不存在";
    case ENOTDIR: return "路径中有一项不是文件夹";
    case EISDIR: return "这是一个文件夹";
    case EEXIST: return "文件已存在";
    case ENAMETOOLONG: return "文件名太长";
    case ELOOP: return "符号链接层数太多";
    case EMFILE:
    case ENFILE: return "打开的文件太多";
    case EFBIG: return "文件太大";
    case EIO: return "输入输出错误";
    case ENOMEM: return "内存不足";
    case EBUSY:
    case ETXTBSY: return "文件正被使用";
    case EXDEV: return "不能跨文件系统移动";
    case EINVAL: return "参数无效";
    case ENODEV:
    case ENXIO: return "设备不存在";
    default: return "系统错误 " + std::to_string(err);
    }
}

namespace {

std::string errnoText(int err) { return SystemErrorText(err); }

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

namespace {

constexpr const char *InstancePrefix = "run-";
constexpr const char *LockName = ".lock";

struct TInstance {
    std::string dir; // "" until made
    int lockFd = -1;
};

TInstance &instance() {
    static TInstance i;
    return i;
}

bool isOurFolder(const std::string &dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// Removes name below dirfd, folders with all they hold; links are removed, never
// followed.
void removeTree(int dirfd, const char *name) {
    struct stat st {};
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        unlinkat(dirfd, name, 0);
        return;
    }
    const int sub = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0)
        return;
    if (DIR *d = fdopendir(sub)) {
        while (const dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                removeTree(sub, e->d_name);
        closedir(d);
    } else {
        close(sub);
    }
    unlinkat(dirfd, name, AT_REMOVEDIR);
}

// True when no process holds the instance folder's lock (or it has none and is
// older than a minute).
bool unused(int privateFd, const char *name) {
    const int dir = openat(privateFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return false;
    const int lock = openat(dir, LockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    bool free;
    if (lock < 0) {
        struct stat st {};
        free = fstat(dir, &st) == 0 && st.st_mtime + 60 < time(nullptr);
    } else {
        // Another open of the file: the lock conflicts even with our own process's.
        free = flock(lock, LOCK_EX | LOCK_NB) == 0;
        close(lock);
    }
    close(dir);
    return free;
}

} // namespace

std::string InstanceTempFolder() {
    const std::string base = PrivateTempFolder();
    TInstance &i = instance();
    if (!i.dir.empty() && i.dir.rfind(base, 0) == 0 && isOurFolder(i.dir))
        return i.dir;
    std::string tmpl = base + InstancePrefix + "XXXXXX";
    if (!mkdtemp(tmpl.data()))
        throw EPlatformError("临时文件夹" + tmpl + "无法创建：" + errnoText(errno));
    const std::string lockPath = tmpl + "/" + LockName;
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        throw EPlatformError("临时文件夹" + tmpl + "无法锁定：" + errnoText(err));
    }
    if (i.lockFd >= 0)
        close(i.lockFd);
    i.lockFd = fd;
    i.dir = tmpl + "/";
    return i.dir;
}

int RemoveStaleTempFiles() {
    std::string base;
    try {
        base = PrivateTempFolder();
    } catch (const EPlatformError &) {
        return 0;
    }
    const int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR *d = fdopendir(fd);
    if (!d) {
        close(fd);
        return 0;
    }
    const std::string ours = instance().dir;
    std::vector<std::string> stale;
    while (const dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || base + name + "/" == ours)
            continue;
        struct stat st {};
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const bool instanceFolder = S_ISDIR(st.st_mode) && name.rfind(InstancePrefix, 0) == 0;
        if (instanceFolder ? unused(fd, name.c_str()) : !S_ISDIR(st.st_mode))
            stale.push_back(name);
    }
    for (const std::string &name : stale)
        removeTree(fd, name.c_str());
    closedir(d);
    return static_cast<int>(stale.size());
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
