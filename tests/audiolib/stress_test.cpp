// Seek-and-play cycles on the real-time outputs while other threads keep the CPU
// busy: every range, at 60, 100 and 140 %, must stop exactly at its end and come
// out exactly as long as its source divided by the tempo. Through SDL's paced disk
// driver the sound must also be gapless (an underrun would lengthen the played
// stretch); the unpaced driver outruns any renderer, so there only the sounding
// frames are counted. Device 0 has no output: its position and message are checked.
// Sound is never exactly zero in the test signal, so every frame counts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "enginetest.h"
#include "testfiles.h"

using namespace vorel::test;
using namespace vorel::enginetest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 4; // the same paths, fewer cycles
#else
constexpr int kScale = 1;
#endif

struct Waiter {
    std::mutex m;
    std::condition_variable cv;
    int posts = 0;
    VOREL_MSGTARGET target{&Waiter::post, this};
    static void post(void *ctx, DWORD, DWORD, DWORD) {
        auto *w = static_cast<Waiter *>(ctx);
        std::lock_guard<std::mutex> lock(w->m);
        ++w->posts;
        w->cv.notify_all();
    }
    bool waitFor(int n) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return posts >= n; });
    }
};

// Threads that spin until destroyed.
class CpuLoad {
public:
    explicit CpuLoad(int threads) {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] {
                volatile uint64_t x = 0;
                while (!stop_.load(std::memory_order_relaxed))
                    x = x * 6364136223846793005ull + 1;
            });
    }
    ~CpuLoad() {
        stop_.store(true);
        for (auto &t : threads_)
            t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

std::vector<uint8_t> readFrom(const std::string &path, int64_t offset) {
    std::ifstream f(path, std::ios::binary);
    f.seekg(offset);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The unpaced driver writes as fast as it is let: into a pipe, read here as it
// comes, it goes at the reader's pace without filling a disk. Counts what was
// read and how much of it sounded.
class PipeReader {
public:
    explicit PipeReader(const std::string &path) : path_(path) {
        ::unlink(path.c_str());
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        thread_ = std::thread([this] {
            const int fd = ::open(path_.c_str(), O_RDONLY); // until SDL opens it for writing
            if (fd < 0)
                return;
            std::vector<uint8_t> buf(1 << 16);
            size_t have = 0;
            for (;;) {
                const ssize_t n = ::read(fd, buf.data() + have, buf.size() - have);
                if (n <= 0)
                    break;
                have += size_t(n);
                const size_t whole = have / 4 * 4;
                int64_t loud = 0;
                for (size_t i = 0; i < whole; i += 4)
                    loud += (buf[i] | buf[i + 1] | buf[i + 2] | buf[i + 3]) != 0;
                std::copy(buf.begin() + long(whole), buf.begin() + long(have), buf.begin());
                have -= whole;
                sounding.fetch_add(loud);
                bytes.fetch_add(int64_t(whole));
            }
            ::close(fd);
        });
    }
    ~PipeReader() {
        if (thread_.joinable())
            thread_.join(); // ends when the writer (BASS_Free) closes the pipe
    }
    std::atomic<int64_t> bytes{0}, sounding{0};

private:
    std::string path_;
    std::thread thread_;
};

int64_t fileSize(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : 0;
}

enum class Output { NoSound, DiskPaced, DiskUnpaced };

struct Config {
    const char *name;
    Output output;
    int cycles;
    int perInit; // cycles between BASS_Init and BASS_Free
};

class Stress : public ::testing::TestWithParam<Config> {};

TEST_P(Stress, EveryRangeEndsExactly) {
    const Config cfg = GetParam();
    TempDir dir;
    // A tone over a constant level: no frame of it is silent, so gaps and extra
    // frames both show.
    std::vector<int16_t> pcm = tone(440, 4.0, 44100, 2, 4000);
    for (auto &v : pcm)
        v = int16_t(v + 8000);
    const std::string wav = dir.file("t.wav");
    writeWav16(wav, pcm, 44100, 2);
    const std::string raw = dir.file("played.raw");
    if (cfg.output != Output::NoSound) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
        if (cfg.output == Output::DiskUnpaced)
            setenv("SDL_DISKAUDIODELAY", "0", 1);
        else
            unsetenv("SDL_DISKAUDIODELAY");
    }
    CpuLoad load(2);

    uint32_t seed = 2024;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const int tempos[] = {-40, 0, 40};
    int done = 0;
    while (done < cfg.cycles) {
        // A fresh output every few cycles: the first play after BASS_Init is the
        // one the update thread's first period used to miss.
        Waiter waiter;
        std::unique_ptr<PipeReader> pipe;
        if (cfg.output == Output::DiskUnpaced)
            pipe = std::make_unique<PipeReader>(raw);
        ASSERT_TRUE(BASS_Init(cfg.output == Output::NoSound ? 0 : -1, 44100, 0, &waiter.target, nullptr))
            << BASS_ErrorGetCode();
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 20);
        BASS_SetConfig(BASS_CONFIG_BUFFER, 100);
        const DWORD h = BASS_FX_TempoCreate(
            BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN),
            BASS_FX_FREESOURCE);
        ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
        int64_t consumed = 0; // bytes of the disk file already looked at
        HSYNC syncs[2] = {0, 0};
        for (int k = 0; k < cfg.perInit && done < cfg.cycles; ++k, ++done) {
            const int tempo = tempos[done % 3];
            const QWORD S = QWORD(next(2 * 44100)) * 4;
            const QWORD E = S + QWORD(221 + next(1103)) * 4; // 5 to 30 ms
            SCOPED_TRACE(::testing::Message() << cfg.name << " cycle " << done << " tempo " << tempo << " S " << S
                                              << " E " << E);
            ASSERT_TRUE(BASS_FX_TempoSet(h, float(tempo), 0, -100));
            for (HSYNC s : syncs)
                if (s)
                    BASS_ChannelRemoveSync(h, s);
            syncs[0] = BASS_ChannelSetSync(h, kPauseSync, E, pauseProc, h);
            syncs[1] = BASS_ChannelSetSync(h, kMessageSync, E, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h);
            ASSERT_TRUE(BASS_ChannelSetPosition(h, S));
            ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
            ASSERT_TRUE(waiter.waitFor(k + 1));
            EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
            EXPECT_EQ(BASS_ChannelGetPosition(h), E);
            if (cfg.output == Output::NoSound)
                continue;
            if (pipe) {
                // The pipe holds 64 KiB: once that and two device periods more have
                // been read, the period that held the end has been read too.
                const int64_t atMessage = pipe->bytes.load();
                while (pipe->bytes.load() < atMessage + 65536 + 2 * 2048 * 4)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                const int64_t sounding = pipe->sounding.exchange(0);
                EXPECT_EQ(sounding, std::llround(double(E - S) / 4 / (1 + tempo / 100.0)));
                continue;
            }

            // Everything mixed before the message reaches the file within two
            // device periods; after the pause only silence follows.
            const int64_t atMessage = fileSize(raw);
            while (fileSize(raw) < atMessage + 2 * 2048 * 4)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const auto bytes = readFrom(raw, consumed);
            int64_t first = -1, last = -1, sounding = 0;
            for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
                if ((bytes[i] | bytes[i + 1] | bytes[i + 2] | bytes[i + 3]) == 0)
                    continue;
                const int64_t f = int64_t(i / 4);
                if (first < 0)
                    first = f;
                last = f;
                ++sounding;
            }
            consumed += int64_t(bytes.size() / 4 * 4);
            const int64_t expected = std::llround(double(E - S) / 4 / (1 + tempo / 100.0));
            EXPECT_EQ(sounding, expected);
            if (cfg.output == Output::DiskPaced) {
                EXPECT_EQ(last - first + 1, expected) << "a gap in the played stretch";
            }
        }
        ASSERT_TRUE(BASS_Free());
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, Stress,
                         ::testing::Values(Config{"NoSound", Output::NoSound, 300 / kScale, 10},
                                           Config{"DiskPaced", Output::DiskPaced, 150 / kScale, 10},
                                           Config{"DiskUnpaced", Output::DiskUnpaced, 1000 / kScale, 50}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
