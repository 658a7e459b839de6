// Capture through SDL's disk driver, which reads what it "hears" from
// SDL_DISKAUDIOFILEIN (headerless s16le) and silence after its end. Unpaced
// (SDL_DISKAUDIODELAY=0), so the tests wait for no sound to be spoken.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "audiolib.h"
#include "testfiles.h"

using namespace vorel::test;

namespace {

void useDiskInput(const std::string &file) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    setenv("SDL_DISKAUDIOFILEIN", file.c_str(), 1);
}

// Half a second of tone with noise on it: every sample differs from its neighbours.
std::vector<int16_t> speechLike(int rate, int channels) {
    std::vector<int16_t> s = tone(220, 0.5, rate, channels, 9000);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-500, 500);
    for (auto &v : s) v = int16_t(v + noise(rng));
    return s;
}

void writeRaw(const std::string &path, const std::vector<int16_t> &s) {
    const auto *b = reinterpret_cast<const uint8_t *>(s.data());
    writeFile(path, std::vector<uint8_t>(b, b + s.size() * 2));
}

// Reads until `count` samples arrived (or 30 s passed: a hung capture).
std::vector<int16_t> readSamples(HRECORD h, size_t count) {
    std::vector<int16_t> got;
    int16_t buf[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        DWORD n = BASS_ChannelGetData(h, buf, sizeof buf);
        if (n == DWORD(-1)) break;
        got.insert(got.end(), buf, buf + n / 2);
        if (n == 0) std::this_thread::yield();
    }
    return got;
}

} // namespace

// What was captured equals the file sample by sample, then silence; mono and stereo.
TEST(Capture, DiskInputArrivesSampleBySample) {
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        TempDir dir;
        const std::vector<int16_t> said = speechLike(16000, channels);
        writeRaw(dir.file("in.raw"), said);
        useDiskInput(dir.file("in.raw"));
        ASSERT_TRUE(BASS_RecordInit(-1)) << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_RecordGetDevice(), 0u);
        HRECORD h = BASS_RecordStart(16000, DWORD(channels), 0, nullptr, 0);
        ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
        const size_t tail = 1600 * size_t(channels);
        std::vector<int16_t> got = readSamples(h, said.size() + tail);
        ASSERT_GE(got.size(), said.size() + tail);
        EXPECT_TRUE(std::equal(said.begin(), said.end(), got.begin()));
        EXPECT_TRUE(std::all_of(got.begin() + long(said.size()), got.end(), [](int16_t v) { return v == 0; }));
        EXPECT_EQ(got.size() % size_t(channels), 0u); // whole frames only
        EXPECT_TRUE(BASS_ChannelStop(h));
        EXPECT_EQ(BASS_ChannelGetData(h, got.data(), 2), DWORD(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_HANDLE));
        EXPECT_TRUE(BASS_RecordFree());
    }
}

// A reader that falls behind by more than the ring holds loses the rest, but only
// after it got everything kept before the gap; nothing is spliced across it.
TEST(Capture, ReaderTooSlowGetsWhatWasKeptThenBufferLost) {
    TempDir dir;
    const std::vector<int16_t> said = speechLike(8000, 1);
    writeRaw(dir.file("in.raw"), said);
    useDiskInput(dir.file("in.raw"));
    ASSERT_TRUE(BASS_RecordInit(-1));
    HRECORD h = BASS_RecordStart(8000, 1, 0, nullptr, 0);
    ASSERT_NE(h, 0u);
    // Unpaced, the 30 s ring fills in a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (BASS_ChannelIsActive(h) != BASS_ACTIVE_STALLED && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STALLED));
    const DWORD waiting = BASS_ChannelGetData(h, nullptr, 0);
    EXPECT_GE(waiting, 8000u * 30 * 2);
    std::vector<int16_t> got = readSamples(h, waiting / 2);
    ASSERT_EQ(got.size(), waiting / 2);
    EXPECT_TRUE(std::equal(said.begin(), said.end(), got.begin()));
    int16_t more[64];
    EXPECT_EQ(BASS_ChannelGetData(h, more, sizeof more), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_BUFLOST));
    EXPECT_TRUE(BASS_RecordFree()); // also stops the channel
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
}

// Every refusal has its own code, and none leaves the capture unusable.
TEST(Capture, RefusalsGiveTheirCodes) {
    TempDir dir;
    writeRaw(dir.file("in.raw"), speechLike(16000, 1));
    useDiskInput(dir.file("in.raw"));
    struct Case {
        const char *what;
        DWORD freq, chans, flags;
        bool withProc;
        DWORD code;
    };
    auto proc = +[](HRECORD, const void *, DWORD, DWORD) -> BOOL { return TRUE; };
    EXPECT_EQ(BASS_RecordStart(16000, 1, 0, nullptr, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_INIT));
    EXPECT_EQ(BASS_RecordGetDevice(), DWORD(-1));
    ASSERT_TRUE(BASS_RecordInit(-1));
    EXPECT_FALSE(BASS_RecordInit(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_ALREADY));
    const Case cases[] = {
        {"procedure", 16000, 1, 0, true, BASS_ERROR_NOTAVAIL},
        {"8-bit", 16000, 1, BASS_SAMPLE_8BITS, false, BASS_ERROR_FORMAT},
        {"float", 16000, 1, BASS_SAMPLE_FLOAT, false, BASS_ERROR_FORMAT},
        {"three channels", 16000, 3, 0, false, BASS_ERROR_FORMAT},
        {"no channels", 16000, 0, 0, false, BASS_ERROR_FORMAT},
        {"rate too low", 999, 1, 0, false, BASS_ERROR_FORMAT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BASS_RecordStart(c.freq, c.chans, c.flags, c.withProc ? proc : nullptr, 0), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), c.code);
    }
    HRECORD h = BASS_RecordStart(16000, 1, 0, nullptr, 0);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_RecordStart(16000, 1, 0, nullptr, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_ALREADY));
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, 4), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_ILLPARAM));
    EXPECT_TRUE(BASS_ChannelStop(h));
    HRECORD again = BASS_RecordStart(16000, 1, 0, nullptr, 0);
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, h); // a stale handle never reaches the new channel
    EXPECT_TRUE(BASS_RecordFree());
}

// No capture device: a clean code, from the init or from the start.
TEST(Capture, NoCaptureDeviceIsAnErrorCode) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(BASS_RecordInit(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_DRIVER));
    // The disk driver without its input file has nothing to capture from.
    TempDir dir;
    useDiskInput(dir.file("missing.raw"));
    ASSERT_TRUE(BASS_RecordInit(-1));
    EXPECT_EQ(BASS_RecordStart(16000, 1, 0, nullptr, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_DRIVER));
    EXPECT_TRUE(BASS_RecordFree());
}
