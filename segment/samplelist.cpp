// Reaching the PCM of a whole file: in place for plain PCM WAV (read with large
// sequential reads), decoded into memory for short audio, and otherwise decoded
// and sampled in one pass, block by block, with nothing written anywhere. A file
// is cut into stretches at block boundaries, handed out in order to one worker
// thread per core, each with a decoder of its own; the stretches' samples are
// handed on in order as they are done, so that the start of a long file is
// usable long before its end is sampled.
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

// The first stretch is short, so that the first sentence is soon known; later
// ones grow to a few minutes, where setting up a decoder in its place costs
// nothing against the work.
constexpr size_t FirstStretchBlocks = 250;
constexpr size_t MaxStretchBlocks = 7500;

// --- In place ---------------------------------------------------------------------

class TFd {
public:
    explicit TFd(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            throw platform::EPlatformError("不能打开文件" + path + "：" + platform::SystemErrorText(errno));
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
    // partial block is taken with silence after it, and the samples end there.
    void Finish() {
        if (fill_ > 0 && out_.size() < blocks_) {
            std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(fill_), pending_.end(), bits_ == 8 ? 128 : 0);
            TWaveSampleList::SampleBlocks(bits_, channels_, pending_.data(), blockSize_, 1, out_);
            fill_ = 0;
        }
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

// --- The feed ---------------------------------------------------------------------

struct TSampleFeed::TState {
    std::string path;
    audio::TChannelInfo info;
    TSamplingPath how = TSamplingPath::None;
    std::unique_ptr<audio::TBassStream> first; // the opening stream, handed to the first decoding worker
    std::unique_ptr<TFd> fd;                   // in place: shared by all workers (pread only)
    uint64_t dataOffset = 0;
    TWaveSampleList::TBlockLayout grid;

    struct TStretch {
        size_t first = 0, count = 0;
        TStrings samples;
        bool done = false;
    };
    std::vector<TStretch> stretches;
    std::atomic<size_t> nextStretch{0};
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> decoded{0};

    std::mutex mutex;
    std::condition_variable changed;
    size_t taken = 0;       // stretches handed to the consumer
    size_t takenBlocks = 0;
    size_t running = 0;     // workers not yet ended
    std::exception_ptr error;
    // The file's audio ends before its length said (cut, damaged): the first
    // block it does not hold, and whether Take has handed out all before it.
    size_t cutBlock = SIZE_MAX;
    bool cutReached = false;
};

namespace {

// One stretch when single (or when there is nothing to sample), else stretches
// that double from FirstStretchBlocks up to MaxStretchBlocks.
std::vector<TSampleFeed::TState::TStretch> planStretches(size_t blocks, bool single) {
    if (single || blocks == 0)
        return {{0, blocks, {}, false}};
    std::vector<TSampleFeed::TState::TStretch> out;
    for (size_t at = 0, size = FirstStretchBlocks; at < blocks; size = std::min(size * 2, MaxStretchBlocks)) {
        const size_t n = std::min(size, blocks - at);
        out.push_back({at, n, {}, false});
        at += n;
    }
    return out;
}

} // namespace

TSampleFeed::TSampleFeed(const std::string &path, bool initDevice, unsigned threads) : s_(new TState) {
    TState &st = *s_;
    st.path = path;
    st.first = std::make_unique<audio::TBassStream>(path, initDevice);
    st.info = st.first->info;
    const audio::TChannelInfo &info = st.info;
    const int32_t steps = TWaveSampleList::SampleCountFor(info.duration);

    bool single = false;
    if (isWaveType(info.libInfo.ctype)) {
        // Ordinary reads, never a mapping: a file cut while we look at it (a
        // download still being written, a sync client replacing it) must give an
        // error or less data, not a bus error.
        auto fd = std::make_unique<TFd>(path);
        struct stat stbuf {};
        if (::fstat(fd->get(), &stbuf) != 0)
            throw platform::EPlatformError("不能读取文件" + path + "：" + platform::SystemErrorText(errno));
        const auto layout = FindPcmData(
            [&fd](uint64_t offset, uint8_t *buf, size_t n) {
                return ::pread(fd->get(), buf, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
            },
            static_cast<uint64_t>(stbuf.st_size));
        // The decoder's view must agree with the header, or the blocks would cut
        // frames differently from what the stream reports.
        if (layout && layout->channels == info.channels && layout->bitsPerSample == info.bitsPerSample) {
            size_t size = layout->dataBytes;
            if (info.byteLength >= 0 && static_cast<uint64_t>(info.byteLength) < size)
                size = static_cast<size_t>(info.byteLength);
            st.grid = TWaveSampleList::BlockLayout(size, steps);
            st.dataOffset = layout->dataOffset;
            st.fd = std::move(fd);
            st.how = TSamplingPath::InPlace;
        }
    }
    if (st.how == TSamplingPath::None) {
        if (info.byteLength <= MemoryDecodeLimit) {
            st.how = TSamplingPath::Memory;
            st.grid = TWaveSampleList::BlockLayout(static_cast<size_t>(std::max<int64_t>(info.byteLength, 0)), steps);
            single = true;
        } else {
            st.how = TSamplingPath::Decoded;
            st.grid = TWaveSampleList::BlockLayout(static_cast<size_t>(info.byteLength), steps);
            single = st.grid.blockSize == 0;
        }
    }
    st.stretches = planStretches(st.grid.blocks, single);

    size_t n = threads > 0 ? threads : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 16);
    n = std::clamp<size_t>(n, 1, st.stretches.size());
    st.running = n;
    try {
        for (size_t k = 0; k < n; ++k)
            workers_.emplace_back([this, k] { work(k); });
    } catch (...) {
        Cancel();
        throw;
    }
}

TSampleFeed::~TSampleFeed() { Cancel(); }

const audio::TChannelInfo &TSampleFeed::Info() const { return s_->info; }
TSamplingPath TSampleFeed::Path() const { return s_->how; }
size_t TSampleFeed::TotalSamples() const { return s_->grid.blocks; }

void TSampleFeed::work(size_t worker) {
    TState &st = *s_;
    std::unique_ptr<audio::TBassStream> own;
    try {
        for (;;) {
            const size_t k = st.nextStretch.fetch_add(1);
            if (k >= st.stretches.size() || st.cancel.load())
                break;
            TState::TStretch &part = st.stretches[k];
            TStrings out;
            sampleStretch(worker, own, part.first, part.count, out);
            if (st.cancel.load())
                break;
            std::lock_guard<std::mutex> lock(st.mutex);
            if (out.size() < part.count)
                st.cutBlock = std::min(st.cutBlock, part.first + out.size());
            part.samples = std::move(out);
            part.done = true;
            st.changed.notify_all();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.error)
            st.error = std::current_exception();
        st.cancel.store(true);
    }
    std::lock_guard<std::mutex> lock(st.mutex);
    --st.running;
    st.changed.notify_all();
}

void TSampleFeed::sampleStretch(size_t worker, std::unique_ptr<audio::TBassStream> &own, size_t first,
                                size_t count, TStrings &out) {
    TState &st = *s_;
    const audio::TChannelInfo &info = st.info;
    if (st.how == TSamplingPath::InPlace) {
        SamplePcmBlocks(st.fd->get(), static_cast<int64_t>(st.dataOffset + first * st.grid.blockSize),
                        st.grid.blockSize, count, info.bitsPerSample, info.channels, &st.cancel, out);
        return;
    }
    if (!own) {
        // The opening stream goes to the first worker; the others open their own.
        std::lock_guard<std::mutex> lock(st.mutex);
        if (worker == 0 && st.first)
            own = std::move(st.first);
    }
    if (!own)
        own = std::make_unique<audio::TBassStream>(st.path, false);
    own->SetOnProgress([&st](int32_t, bool &cancel) { cancel = cancel || st.cancel.load(); });
    if (st.how == TSamplingPath::Memory) {
        audio::TMemoryStream buffer;
        own->ExtractPcm(buffer, 0, 0, false);
        TWaveSampleList::SampleBuffer(info.bitsPerSample, info.channels, buffer.data(),
                                      static_cast<size_t>(buffer.size()), TWaveSampleList::SampleCountFor(info.duration),
                                      out);
        endAtRealLength(*own, 0, out);
        return;
    }
    TPeakSink sink(info, st.grid.blockSize, count, out, st.decoded);
    if (st.grid.blockSize > 0) {
        try {
            own->ExtractBytes(sink, static_cast<int64_t>(first * st.grid.blockSize),
                              static_cast<int64_t>(count * st.grid.blockSize), false, false);
        } catch (const audio::EAudioError &) {
            // Only the positioning throws: the stretch begins where the decoder
            // found the file already ended.
        }
    }
    sink.Finish();
    endAtRealLength(*own, first, out);
}

void TSampleFeed::endAtRealLength(const audio::TBassStream &stream, size_t first, TStrings &out) const {
    // The channel loops: past a real end that comes before the claimed length it
    // reads the file's beginning again. The decoder's length is the real end by now.
    const int64_t now = stream.ByteLengthNow();
    const auto block = static_cast<int64_t>(s_->grid.blockSize);
    if (now < 0 || block <= 0 || now >= s_->info.byteLength)
        return;
    const int64_t left = now - static_cast<int64_t>(first) * block;
    const auto real = static_cast<size_t>(left <= 0 ? 0 : (left + block - 1) / block);
    if (real < out.size())
        out.resize(real);
}

size_t TSampleFeed::Take(TStrings &out) {
    TState &st = *s_;
    std::lock_guard<std::mutex> lock(st.mutex);
    if (st.error)
        return 0; // what follows an error is never handed out
    size_t added = 0;
    while (st.taken < st.stretches.size() && st.stretches[st.taken].done && !st.cutReached) {
        TStrings &part = st.stretches[st.taken].samples;
        const size_t first = st.stretches[st.taken].first;
        if (first + part.size() >= st.cutBlock) {
            part.resize(std::min(part.size(), st.cutBlock - std::min(st.cutBlock, first)));
            st.cutReached = true;
            st.cancel.store(true);
        }
        out.insert(out.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
        added += part.size();
        TStrings().swap(part);
        st.takenBlocks += st.stretches[st.taken].count;
        ++st.taken;
    }
    return added;
}

bool TSampleFeed::Finished() const {
    std::lock_guard<std::mutex> lock(s_->mutex);
    return s_->running == 0 || s_->error != nullptr || s_->cutReached;
}

void TSampleFeed::RethrowError() const {
    std::exception_ptr e;
    size_t cut = SIZE_MAX;
    {
        std::lock_guard<std::mutex> lock(s_->mutex);
        e = s_->error;
        if (s_->cutReached)
            cut = s_->cutBlock;
    }
    if (e)
        std::rethrow_exception(e);
    if (cut != SIZE_MAX)
        throw platform::EPlatformError(CutNotice(int64_t(cut) * audio::MsPerColumn));
}

std::string TSampleFeed::CutNotice(int64_t ms) {
    return "文件在" + audio::FormatTime(ms) + "之后无法解码（文件不完整或已损坏），只保留了前面的部分";
}

bool TSampleFeed::Cut() const {
    std::lock_guard<std::mutex> lock(s_->mutex);
    return s_->cutReached;
}

int32_t TSampleFeed::Percent() const {
    const TState &st = *s_;
    if (st.how == TSamplingPath::Decoded) {
        // Decoding moves on within a stretch: the gauge follows the bytes.
        const double total = double(std::max<size_t>(st.grid.blocks * st.grid.blockSize, 1));
        return static_cast<int32_t>(std::min(100.0, std::trunc(double(st.decoded.load()) / total * 100.0)));
    }
    std::lock_guard<std::mutex> lock(s_->mutex);
    const size_t total = std::max<size_t>(st.grid.blocks, 1);
    return static_cast<int32_t>(std::min<size_t>(st.takenBlocks * 100 / total, 100));
}

void TSampleFeed::WaitForMore(int32_t timeoutMs) {
    TState &st = *s_;
    std::unique_lock<std::mutex> lock(st.mutex);
    st.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&st] {
        return st.running == 0 || st.error || st.cutReached ||
               (st.taken < st.stretches.size() && st.stretches[st.taken].done);
    });
}

void TSampleFeed::Cancel() {
    s_->cancel.store(true);
    for (auto &t : workers_)
        if (t.joinable())
            t.join();
}

// --- The whole file at once -------------------------------------------------------

void TWaveSampleList::SampleFile(const std::string &path, bool initDevice) {
    lastPath_ = TSamplingPath::None;
    TSampleFeed feed(path, initDevice, parts_);
    const bool reports = feed.Path() != TSamplingPath::InPlace;
    TStrings result;
    result.reserve(feed.TotalSamples());
    for (;;) {
        const bool finished = feed.Finished();
        feed.Take(result);
        if (finished)
            break;
        if (reports && progress_) {
            bool cancel = false;
            progress_(feed.Percent(), cancel);
            if (cancel) {
                // A cancelled sampling leaves no envelope rather than one cut short.
                feed.Cancel();
                bool ignored = false;
                progress_(100, ignored);
                Samples.clear();
                lastPath_ = feed.Path();
                return;
            }
        }
        feed.WaitForMore(50);
    }
    // A file that ends early keeps what it holds.
    if (!feed.Cut())
        feed.RethrowError();
    if (reports && progress_) {
        bool ignored = false;
        progress_(100, ignored);
    }
    Samples = std::move(result);
    lastPath_ = feed.Path();
}

} // namespace vorel::segment
