#include "takestore.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace vorel::audio {

namespace fs = std::filesystem;

namespace {

constexpr int kSeqDigits = 6;
constexpr const char *kExt = ".flac";

// The take number of `name` when it is "<key>-NNNNNN.flac", else -1.
long takeNumber(const std::string &name, const std::string &key) {
    const size_t len = key.size() + 1 + kSeqDigits + 5;
    if (name.size() != len || name.compare(0, key.size(), key) != 0 || name[key.size()] != '-' ||
        name.compare(len - 5, 5, kExt) != 0)
        return -1;
    long n = 0;
    for (size_t i = key.size() + 1; i < key.size() + 1 + kSeqDigits; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

bool writeFlac(int fd, const std::vector<int16_t> &samples, uint32_t rate) {
    SF_INFO info{};
    info.samplerate = int(rate);
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!f) {
        close(fd);
        return false;
    }
    const bool whole = sf_write_short(f, samples.data(), sf_count_t(samples.size())) == sf_count_t(samples.size());
    return sf_close(f) == 0 && whole;
}

} // namespace

TTakeStore::TTakeStore(std::string folder, int keep) : folder_(std::move(folder)), keep_(std::max(keep, 1)) {
    // One spelling of the folder, so that Delete recognises the paths Takes gives.
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

bool TTakeStore::ValidKey(const std::string &key) {
    return !key.empty() && key.size() <= 64 && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

std::vector<std::string> TTakeStore::Takes(const std::string &key) const {
    std::vector<std::pair<long, std::string>> found;
    std::error_code ec;
    if (!ValidKey(key)) return {};
    for (const auto &entry : fs::directory_iterator(folder_, ec)) {
        const long n = takeNumber(entry.path().filename().string(), key);
        if (n >= 0 && entry.is_regular_file(ec)) found.emplace_back(n, entry.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto &f : found) paths.push_back(std::move(f.second));
    return paths;
}

std::string TTakeStore::Save(const std::string &key, const std::vector<int16_t> &samples, uint32_t rate) {
    if (!ValidKey(key) || samples.empty() || rate == 0) return {};
    if (mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return {};
    const std::vector<std::string> before = Takes(key);
    const long next = before.empty() ? 1 : takeNumber(fs::path(before.back()).filename().string(), key) + 1;
    if (next >= 1000000) return {};
    char seq[24];
    std::snprintf(seq, sizeof seq, "%0*ld", kSeqDigits, next);
    const std::string path = folder_ + "/" + key + "-" + seq + kExt;
    const std::string part = path + ".part";
    // Never through a link someone planted: the folder may be shared with other programs.
    const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    if (!writeFlac(fd, samples, rate) || std::rename(part.c_str(), path.c_str()) != 0) {
        unlink(part.c_str());
        return {};
    }
    const std::vector<std::string> now = Takes(key);
    for (size_t i = 0; i + size_t(keep_) < now.size(); ++i) unlink(now[i].c_str());
    return path;
}

bool TTakeStore::Delete(const std::string &path) {
    const fs::path p(path);
    if (p.parent_path() != fs::path(folder_)) return false;
    const std::string name = p.filename().string();
    const size_t dash = name.rfind('-');
    if (dash == std::string::npos || takeNumber(name, name.substr(0, dash)) < 0) return false;
    return unlink(path.c_str()) == 0;
}

int TTakeStore::DeleteAll(const std::string &key) {
    int n = 0;
    for (const std::string &p : Takes(key)) n += unlink(p.c_str()) == 0;
    return n;
}

} // namespace vorel::audio
