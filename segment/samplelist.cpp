// Reaching the PCM of a whole file: in place for plain PCM WAV (read with large
// sequential reads), decoded into memory for short audio, and otherwise decoded
// and sampled in one pass, block by block, with nothing written anywhere. Long
// files are cut into parts at block boundaries, one per core, each read (and
// decoded) on a thread of its own; the parts' samples are joined in order.
#include "samplelist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "pcmread.h"
#include "platform/tempfolder.h"
#include "wavlayout.h"

namespace vorel::segment {

namespace {

// A part shorter than a minute of blocks costs more in setting up (a decoder that
// finds its place in the file) than it saves.
constexpr size_t PartMinBlocks = 1500;

size_t partCount(size_t blocks, unsigned asked) {
    if (asked > 0)
        return std::clamp<size_t>(asked, 1, std::max<size_t>(blocks, 1));
    const size_t cores = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 16);
    return std::clamp<size_t>(blocks / PartMinBlocks, 1, cores);
}

// Blocks [first, first + count) of part k of n.
struct TPart {
    size_t first = 0;
    size_t count = 0;
};

TPart partOf(size_t blocks, size_t n, size_t k) {
    const size_t first = blocks * k / n;
    return {first, blocks * (k + 1) / n - first};
}

// Parts 1..n-1 on threads of their own while the caller does part 0. The
// destructor raises cancel and joins, so an error on the caller's side never
// leaves a thread behind; the first error of a thread raises cancel for the others
// and is rethrown by Finish.
class TPartThreads {
public:
    TPartThreads(size_t n, std::atomic<bool> &cancel, std::function<void(size_t)> part)
        : cancel_(cancel), errors_(n), running_(n > 0 ? n - 1 : 0) {
        for (size_t k = 1; k < n; ++k)
            threads_.emplace_back([this, part, k] {
                try {
                    part(k);
                } catch (...) {
                    errors_[k] = std::current_exception();
                    cancel_.store(true);
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    --running_;
                }
                done_.notify_all();
            });
    }
    ~TPartThreads() {
        cancel_.store(true);
        join();
    }
    TPartThreads(const TPartThreads &) = delete;
    TPartThreads &operator=(const TPartThreads &) = delete;

    // Waits for the threads, calling tick on the caller's thread now and then.
    void Finish(const std::function<void()> &tick) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (running_ > 0) {
                done_.wait_for(lock, std::chrono::milliseconds(50));
                lock.unlock();
                tick();
                lock.lock();
            }
        }
        join();
        for (const auto &e : errors_)
            if (e)
                std::rethrow_exception(e);
    }

private:
    void join() {
        for (auto &t : threads_)
            if (t.joinable())
                t.join();
    }

    std::atomic<bool> &cancel_;
    std::vector<std::exception_ptr> errors_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable done_;
    size_t running_;
};

TStrings joinParts(std::vector<TStrings> &parts) {
    size_t total = 0;
    for (const auto &p : parts)
        total += p.size();
    TStrings out;
    out.reserve(total);
    for (auto &p : parts) {
        std::move(p.begin(), p.end(), std::back_inserter(out));
        TStrings().swap(p);
    }
    return out;
}

// --- In place ---------------------------------------------------------------------

class TFd {
public:
    explicit TFd(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            throw platform::EPlatformError("不能打开文件" + path + "：" + std::strerror(errno));
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~TFd() { ::close(fd_); }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool isWaveType(DWORD ctype) {
    return ctype == BASS_CTYPE_STREAM_WAV || ctype == BASS_CTYPE_STREAM_WAV_PCM ||
           ctype == BASS_CTYPE_STREAM_WAV_FLOAT;
}

// Samples a PCM WAV file in place, or returns false when the file's own layout
// does not allow it (then it must be decoded).
bool sampleInPlace(const std::string &path, const audio::TChannelInfo &info, unsigned parts, TStrings &out) {
    // Ordinary reads, never a mapping: a file cut while we look at it (a download
    // still being written, a sync client replacing it) must give an error or less
    // data, not a bus error.
    const TFd file(path);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        throw platform::EPlatformError("不能读取文件" + path + "：" + std::strerror(errno));
    const auto layout = FindPcmData(
        [&file](uint64_t offset, uint8_t *buf, size_t n) {
            return ::pread(file.get(), buf, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
        },
        static_cast<uint64_t>(st.st_size));
    // The decoder's view must agree with the header, or the blocks would cut
    // frames differently from what the stream reports.
    if (!layout || layout->channels != info.channels || layout->bitsPerSample != info.bitsPerSample)
        return false;
    size_t size = layout->dataBytes;
    if (info.byteLength >= 0 && static_cast<uint64_t>(info.byteLength) < size)
        size = static_cast<size_t>(info.byteLength);

    const auto grid = TWaveSampleList::BlockLayout(size, TWaveSampleList::SampleCountFor(info.duration));
    const size_t n = partCount(grid.blocks, parts);
    std::vector<TStrings> results(n);
    const auto part = [&](size_t k) {
        const TPart p = partOf(grid.blocks, n, k);
        SamplePcmBlocks(file.get(), static_cast<int64_t>(layout->dataOffset + p.first * grid.blockSize), grid.blockSize,
                        p.count, info.bitsPerSample, info.channels, nullptr, results[k]);
    };
    std::atomic<bool> cancel{false};
    TPartThreads threads(n, cancel, part);
    part(0);
    threads.Finish([] {});
    out = joinParts(results);
    return true;
}

// --- Decoded ----------------------------------------------------------------------

// Takes the decoded PCM of consecutive blocks as it comes and keeps only their
// peaks. A block that arrives whole is sampled where it lies; one split across
// writes is gathered first.
class TPeakSink : public audio::TByteStream {
public:
    TPeakSink(const audio::TChannelInfo &info, size_t blockSize, size_t blocks, TStrings &out,
              std::atomic<int64_t> &decoded)
        : bits_(info.bitsPerSample), channels_(info.channels), blockSize_(blockSize), blocks_(blocks), out_(out),
          decoded_(decoded), pending_(blockSize) {
        out_.reserve(blocks);
    }

    void write(const void *data, int64_t bytes) override {
        auto *p = static_cast<const uint8_t *>(data);
        written_ += bytes;
        decoded_.fetch_add(bytes, std::memory_order_relaxed);
        while (bytes > 0 && out_.size() < blocks_) {
            if (fill_ == 0 && static_cast<size_t>(bytes) >= blockSize_) {
                const size_t whole = std::min(static_cast<size_t>(bytes) / blockSize_, blocks_ - out_.size());
                TWaveSampleList::SampleBlocks(bits_, channels_, p, blockSize_, whole, out_);
                p += whole * blockSize_;
                bytes -= static_cast<int64_t>(whole * blockSize_);
                continue;
            }
            const size_t take = std::min(static_cast<size_t>(bytes), blockSize_ - fill_);
            std::memcpy(pending_.data() + fill_, p, take);
            fill_ += take;
            p += take;
            bytes -= static_cast<int64_t>(take);
            if (fill_ == blockSize_) {
                TWaveSampleList::SampleBlocks(bits_, channels_, pending_.data(), blockSize_, 1, out_);
                fill_ = 0;
            }
        }
    }
    void seek(int64_t) override {}
    int64_t size() const override { return written_; }

    // The decoder delivered less than its length promised (a damaged file): a
    // partial block is taken with silence after it, missing blocks are silent.
    void Finish() {
        if (fill_ > 0 && out_.size() < blocks_) {
            std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(fill_), pending_.end(), bits_ == 8 ? 128 : 0);
            TWaveSampleList::SampleBlocks(bits_, channels_, pending_.data(), blockSize_, 1, out_);
            fill_ = 0;
        }
        if (out_.size() < blocks_)
            TWaveSampleList::SampleBlocks(bits_, channels_, nullptr, 0, blocks_ - out_.size(), out_);
    }

private:
    int bits_, channels_;
    size_t blockSize_, blocks_;
    TStrings &out_;
    std::atomic<int64_t> &decoded_;
    std::vector<uint8_t> pending_;
    size_t fill_ = 0;
    int64_t written_ = 0;
};

} // namespace

void TWaveSampleList::SampleFile(const std::string &path, bool initDevice) {
    lastPath_ = TSamplingPath::None;
    audio::TBassStream stream(path, initDevice);
    const audio::TChannelInfo &info = stream.info;
    TStrings result;

    if (isWaveType(info.libInfo.ctype) && sampleInPlace(path, info, parts_, result)) {
        Samples = std::move(result);
        lastPath_ = TSamplingPath::InPlace;
        return;
    }

    // The main window never cancels; a cancelled decoding leaves no envelope
    // rather than one stretched over a partial buffer.
    bool cancelled = false;

    if (info.byteLength <= MemoryDecodeLimit) {
        stream.SetOnProgress([this, &cancelled](int32_t percent, bool &cancel) {
            if (progress_)
                progress_(percent, cancel);
            if (cancel && percent < 100)
                cancelled = true;
        });
        audio::TMemoryStream buffer;
        stream.ExtractPcm(buffer, 0, 0, false);
        if (!cancelled)
            SampleBuffer(info.bitsPerSample, info.channels, buffer.data(), static_cast<size_t>(buffer.size()),
                         SampleCountFor(info.duration), result);
        Samples = std::move(result);
        lastPath_ = TSamplingPath::Memory;
        return;
    }

    const auto grid = BlockLayout(static_cast<size_t>(info.byteLength), SampleCountFor(info.duration));
    const int64_t total = static_cast<int64_t>(grid.blocks * grid.blockSize);
    const size_t n = grid.blockSize > 0 ? partCount(grid.blocks, parts_) : 1;
    std::vector<TStrings> parts(n);
    std::atomic<int64_t> decoded{0};
    std::atomic<bool> stopParts{false};

    // The progress of all parts as one, reported on this thread only.
    const auto report = [&](bool &cancel) {
        const int64_t done = std::min(decoded.load(std::memory_order_relaxed), total);
        if (progress_)
            progress_(static_cast<int32_t>(std::trunc(double(done) / double(std::max<int64_t>(total, 1)) * 100.0)),
                      cancel);
    };
    // Part k of the blocks, decoded by its own stream (part 0: the one opened above).
    const auto decodePart = [&](size_t k, audio::TBassStream &from) {
        const TPart p = partOf(grid.blocks, n, k);
        TPeakSink sink(info, grid.blockSize, p.count, parts[k], decoded);
        if (grid.blockSize > 0)
            from.ExtractBytes(sink, static_cast<int64_t>(p.first * grid.blockSize),
                              static_cast<int64_t>(p.count * grid.blockSize), false, false);
        sink.Finish();
    };
    TPartThreads threads(n, stopParts, [&](size_t k) {
        audio::TBassStream own(path, false);
        own.SetOnProgress([&](int32_t, bool &cancel) { cancel = stopParts.load(); });
        decodePart(k, own);
    });
    stream.SetOnProgress([&](int32_t, bool &cancel) {
        report(cancel);
        if (cancel) {
            cancelled = true;
            stopParts.store(true);
        }
        cancel = cancel || stopParts.load();
    });
    decodePart(0, stream);
    threads.Finish([&] {
        bool cancel = false;
        if (!cancelled)
            report(cancel);
        if (cancel) {
            cancelled = true;
            stopParts.store(true);
        }
    });
    if (progress_) {
        bool ignored = false;
        progress_(100, ignored);
    }
    if (!cancelled)
        result = joinParts(parts);
    Samples = std::move(result);
    lastPath_ = TSamplingPath::Decoded;
}

} // namespace vorel::segment
