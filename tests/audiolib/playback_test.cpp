// Plain streams and decoding channels under the manual clock: sample continuity
// across pause, resume and stop, positions, end handling, decoding byte-exactness,
// error codes, and freeing things while they play.
#include <algorithm>
#include <cstring>

#include "enginetest.h"
#include "testfiles.h"

using namespace vorel::test;
using namespace vorel::enginetest;

namespace {

constexpr int kRate = 44100;

// Every frame distinct: left counts up, right counts down, so any skipped, repeated
// or shifted frame shows.
std::vector<int16_t> ramp(int frames) {
    std::vector<int16_t> s(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[2 * i] = int16_t(i % 30000 + 1);
        s[2 * i + 1] = int16_t(-(i % 20000) - 1);
    }
    return s;
}

std::vector<int16_t> render(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_EQ(VorelAudio_Render(out.data(), frames), frames);
    return out;
}

std::vector<int16_t> slice(const std::vector<int16_t> &s, int from, int frames) {
    return std::vector<int16_t>(s.begin() + 2 * from, s.begin() + 2 * (from + frames));
}

bool silent(const std::vector<int16_t> &s) {
    for (int16_t v : s)
        if (v) return false;
    return true;
}

class PlainStream : public ::testing::Test {
protected:
    void SetUp() override {
        source = ramp(3 * kRate);
        writeWav16(path, source, kRate, 2);
    }
    TempDir dir;
    std::string path = dir.file("ramp.wav");
    std::vector<int16_t> source;
    Recorder rec;
};

TEST_F(PlainStream, PauseAndResumeContinueOnTheNextFrame) {
    ManualClock clock(&rec.target);
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(render(10000), slice(source, 0, 10000));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 40000u);
    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
    EXPECT_TRUE(silent(render(3000)));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 40000u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(render(7001), slice(source, 10000, 7001));
}

// A pause procedure at byte E: not one frame past E is mixed, and resuming plays
// E onwards.
TEST_F(PlainStream, SyncPauseIsSampleExact) {
    ManualClock clock(&rec.target);
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    const QWORD E = 4 * 12345;
    ASSERT_NE(BASS_ChannelSetSync(h, kPauseSync, E, pauseProc, h), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kMessageSync, E, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 4 * 1000));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    auto out = render(20000);
    EXPECT_EQ(slice(out, 0, 11345), slice(source, 1000, 11345));
    EXPECT_TRUE(silent(slice(out, 11345, 20000 - 11345)));
    EXPECT_EQ(BASS_ChannelGetPosition(h), E);
    ASSERT_EQ(rec.posts.size(), 1u);
    EXPECT_EQ(rec.posts[0].msg, kSegmentEnd);
    EXPECT_EQ(rec.posts[0].stateAtPost, DWORD(BASS_ACTIVE_PAUSED));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(render(500), slice(source, 12345, 500));
    EXPECT_EQ(rec.posts.size(), 1u) << "one-time sync fired twice";
}

TEST_F(PlainStream, StopKeepsThePositionAndRestartBeginsAtZero) {
    ManualClock clock;
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    render(5000);
    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 20000u);
    EXPECT_TRUE(silent(render(1000)));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(render(100), slice(source, 5000, 100));
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(render(100), slice(source, 0, 100));
}

TEST_F(PlainStream, PositionFollowsTheMixedFrames) {
    ManualClock clock;
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 4 * 44100));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    QWORD expected = 4 * 44100;
    for (int frames : {1, 255, 256, 257, 4096, 10000}) {
        render(frames);
        expected += 4 * QWORD(frames);
        EXPECT_EQ(BASS_ChannelGetPosition(h), expected) << "after " << frames;
    }
}

// The end stops the stream and posts the end message; a range sync beyond the end
// never fires.
TEST_F(PlainStream, EndStopsAndPostsOnlyTheEndMessage) {
    ManualClock clock(&rec.target);
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    const QWORD len = BASS_ChannelGetLength(h);
    ASSERT_EQ(len, source.size() * 2);
    ASSERT_NE(BASS_ChannelSetSync(h, kPauseSync, len + 4 * 4410, pauseProc, h), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kMessageSync, len + 4 * 4410, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kEndMessageSync, 0, reinterpret_cast<SYNCPROC *>(kFileEnd), 0), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, len - 4 * 1000));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    auto out = render(3000);
    EXPECT_EQ(slice(out, 0, 1000), slice(source, 3 * kRate - 1000, 1000));
    EXPECT_TRUE(silent(slice(out, 1000, 2000)));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetPosition(h), len);
    EXPECT_EQ(rec.count(kFileEnd), 1);
    EXPECT_EQ(rec.count(kSegmentEnd), 0);
}

TEST_F(PlainStream, RemovedSyncDoesNotFire) {
    ManualClock clock(&rec.target);
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    render(100); // the sync position below is already rendered ahead
    HSYNC pause = BASS_ChannelSetSync(h, kPauseSync, 4 * 2000, pauseProc, h);
    HSYNC msg = BASS_ChannelSetSync(h, kMessageSync, 4 * 2000, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h);
    HSYNC late = BASS_ChannelSetSync(h, kMessageSync, 4 * 3000, reinterpret_cast<SYNCPROC *>(kFileEnd), h);
    ASSERT_TRUE(BASS_ChannelRemoveSync(h, pause));
    ASSERT_TRUE(BASS_ChannelRemoveSync(h, msg));
    EXPECT_FALSE(BASS_ChannelRemoveSync(h, msg));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_HANDLE));
    EXPECT_EQ(slice(render(5000), 0, 5000), slice(source, 100, 5000));
    ASSERT_EQ(rec.posts.size(), 1u);
    EXPECT_EQ(rec.posts[0].msg, kFileEnd);
    EXPECT_TRUE(BASS_ChannelRemoveSync(h, late));
}

// A stream procedure: what it returns is played as is; its end flag ends the stream.
TEST(UserStream, PlaysWhatTheProcedureGivesUntilItsEnd) {
    static std::vector<int16_t> data = ramp(5000);
    static size_t offset;
    offset = 0;
    STREAMPROC *proc = [](HSTREAM, void *buf, DWORD len, DWORD user) -> DWORD {
        EXPECT_EQ(user, 77u);
        // Odd-sized pieces, so that chunks and requests never line up.
        DWORD n = std::min<DWORD>({len, 4 * 333, DWORD(data.size() * 2 - offset)});
        std::memcpy(buf, reinterpret_cast<const uint8_t *>(data.data()) + offset, n);
        offset += n;
        return n | (offset == data.size() * 2 ? BASS_STREAMPROC_END : 0);
    };
    Recorder rec;
    ManualClock clock(&rec.target);
    DWORD h = BASS_StreamCreate(kRate, 2, 0, proc, 77);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    ASSERT_NE(BASS_ChannelSetSync(h, kEndMessageSync, 0, reinterpret_cast<SYNCPROC *>(kFileEnd), 0), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    auto out = render(6000);
    EXPECT_EQ(slice(out, 0, 5000), data);
    EXPECT_TRUE(silent(slice(out, 5000, 1000)));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(rec.count(kFileEnd), 1);
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(-1)) << "length of a procedure's stream is unknown";
}

// A 22050 Hz mono source plays at the device rate: twice the frames, both sides.
TEST(Resampling, MonoHalfRateFillsBothChannelsAtTheDeviceRate) {
    TempDir dir;
    writeWav16(dir.file("m.wav"), tone(441, 1.0, 22050, 1), 22050, 1);
    ManualClock clock;
    DWORD h = BASS_StreamCreateFile(FALSE, dir.file("m.wav").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    DWORD freq = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(h, &freq, nullptr, nullptr));
    EXPECT_EQ(freq, 22050u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    auto out = renderWhilePlaying(h, 3 * kRate, 100);
    EXPECT_NEAR(double(loudFrames(out, 0)), 2 * 22050, 2);
    EXPECT_NEAR(crossingsPerSecond(out.data(), kRate, 2, 1, kRate), 882, 882 * 0.01);
    EXPECT_EQ(out[2 * 1000], out[2 * 1000 + 1]);
}

// ---- decoding channels ----

TEST(Decoding, GetDataDeliversTheFileByteExact) {
    TempDir dir;
    auto pcm = ramp(54321);
    writeWav16(dir.file("a.wav"), pcm, kRate, 2);
    std::vector<uint8_t> bytes8(30001);
    for (size_t i = 0; i < bytes8.size(); ++i) bytes8[i] = uint8_t(i * 7);
    writeWav8(dir.file("b.wav"), bytes8, 8000, 1);
    ManualClock clock;
    struct Case {
        std::string file;
        std::vector<uint8_t> expected;
        DWORD flags;
    } cases[] = {
        {"a.wav", std::vector<uint8_t>(reinterpret_cast<uint8_t *>(pcm.data()),
                                       reinterpret_cast<uint8_t *>(pcm.data() + pcm.size())), 0},
        {"b.wav", bytes8, BASS_SAMPLE_8BITS},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.file);
        DWORD h = BASS_StreamCreateFile(FALSE, dir.file(c.file).c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
        BASS_CHANNELINFO info;
        ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
        EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, c.flags);
        EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_WAV_PCM));
        EXPECT_EQ(BASS_ChannelGetLength(h), c.expected.size());
        EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), c.expected.size() + 44);
        std::vector<uint8_t> got, buf(1024000);
        while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) {
            DWORD n = BASS_ChannelGetData(h, buf.data(), 7777);
            ASSERT_NE(n, DWORD(-1));
            got.insert(got.end(), buf.begin(), buf.begin() + n);
            ASSERT_LE(got.size(), c.expected.size());
        }
        EXPECT_EQ(got, c.expected);
        // Back to an exact byte.
        ASSERT_TRUE(BASS_ChannelSetPosition(h, 2 * info.chans * 1000 / (c.flags ? 2 : 1)));
        EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
        BASS_StreamFree(h);
    }
}

TEST(Decoding, LoopWrapsToTheStart) {
    TempDir dir;
    auto pcm = ramp(1000);
    writeWav16(dir.file("a.wav"), pcm, kRate, 2);
    ManualClock clock;
    DWORD h = BASS_StreamCreateFile(FALSE, dir.file("a.wav").c_str(), 0, 0,
                                    BASS_STREAM_DECODE | BASS_STREAM_PRESCAN | BASS_SAMPLE_LOOP);
    ASSERT_NE(h, 0u);
    std::vector<int16_t> got(2 * 2500);
    ASSERT_EQ(BASS_ChannelGetData(h, got.data(), 4 * 2500), 4u * 2500);
    for (int i = 0; i < 2500; ++i) ASSERT_EQ(got[2 * i], pcm[2 * (i % 1000)]) << i;
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
}

// ---- error codes ----

TEST(Errors, CodesOfTheCommonFailures) {
    TempDir dir;
    writeWav16(dir.file("a.wav"), tone(440, 0.5, kRate, 2), kRate, 2);
    writeText(dir.file("text.wav"), "this is not audio at all, just some text\n");
    const std::string wav = dir.file("a.wav");

    EXPECT_EQ(BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_INIT));
    EXPECT_EQ(BASS_ChannelPlay(1, FALSE), FALSE);
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_INIT));
    EXPECT_EQ(BASS_Free(), FALSE);
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_INIT));

    ManualClock clock;
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_ALREADY));
    DWORD dec = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
    DWORD play = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
    ASSERT_TRUE(dec && play);
    const QWORD len = BASS_ChannelGetLength(dec);

    // Codes are per thread and overwritten by each call: check each right after it.
    auto check = [](const char *what, bool failed, DWORD code) {
        EXPECT_TRUE(failed) << what;
        EXPECT_EQ(BASS_ErrorGetCode(), code) << what;
    };
    check("missing file", BASS_StreamCreateFile(FALSE, dir.file("none.wav").c_str(), 0, 0, 0) == 0, BASS_ERROR_FILEOPEN);
    check("not audio", BASS_StreamCreateFile(FALSE, dir.file("text.wav").c_str(), 0, 0, 0) == 0, BASS_ERROR_FILEFORM);
    check("play decoding", BASS_ChannelPlay(dec, FALSE) == FALSE, BASS_ERROR_DECODE);
    check("position past end", BASS_ChannelSetPosition(play, len + 4) == FALSE, BASS_ERROR_POSITION);
    check("decoding position past end", BASS_ChannelSetPosition(dec, len + 4) == FALSE, BASS_ERROR_POSITION);
    check("getdata on a playable stream", BASS_ChannelGetData(play, nullptr, 4) == DWORD(-1), BASS_ERROR_NOTAVAIL);
    check("tempo over a playable stream", BASS_FX_TempoCreate(play, 0) == 0, BASS_FX_ERROR_NODECODE);
    check("bad handle play", BASS_ChannelPlay(12345, FALSE) == FALSE, BASS_ERROR_HANDLE);
    check("bad handle length", BASS_ChannelGetLength(12345) == QWORD(-1), BASS_ERROR_HANDLE);
    check("bad handle free", BASS_StreamFree(12345) == FALSE, BASS_ERROR_HANDLE);
    check("bad handle sync", BASS_ChannelSetSync(12345, kPauseSync, 0, pauseProc, 0) == 0, BASS_ERROR_HANDLE);
    check("bad handle tempo", BASS_FX_TempoSet(12345, 10, 0, -100) == FALSE, BASS_ERROR_HANDLE);
    check("unsupported entry", BASS_SampleLoad(FALSE, wav.c_str(), 0, 0, 1, 0) == 0, BASS_ERROR_NOTAVAIL);
}

TEST(Conversions, SecondsAndBytesInWholeFrames) {
    TempDir dir;
    writeWav16(dir.file("s.wav"), tone(440, 0.5, kRate, 2), kRate, 2);
    writeWav16(dir.file("m.wav"), tone(440, 0.5, 22050, 1), 22050, 1);
    ManualClock clock;
    DWORD st = BASS_StreamCreateFile(FALSE, dir.file("s.wav").c_str(), 0, 0, BASS_STREAM_DECODE);
    DWORD mo = BASS_StreamCreateFile(FALSE, dir.file("m.wav").c_str(), 0, 0, BASS_STREAM_DECODE);
    struct Case {
        DWORD h;
        float seconds;
        QWORD bytes;
    } cases[] = {
        {st, 1.0f, 176400}, {st, 0.1f, 17640}, {st, 0.00001f, 0}, {st, 1.23456f, 54444 * 4},
        {mo, 1.0f, 44100},  {mo, 0.5f, 22050}, {mo, 0.00005f, 2},
    };
    for (auto &c : cases) {
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(c.h, c.seconds), c.bytes) << c.seconds;
    }
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(st, 176400), 1.0f);
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(mo, 11025), 0.25f);
}

// ---- destruction ----

TEST(Destruction, FreeingWhatPlaysOrIsUsed) {
    TempDir dir;
    const std::string wav = dir.file("t.wav");
    writeWav16(wav, tone(440, 2.0, kRate, 2), kRate, 2);
    Recorder rec;
    {
        ManualClock clock(&rec.target);
        DWORD plain = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
        ASSERT_TRUE(BASS_ChannelPlay(plain, FALSE));
        render(1000);
        EXPECT_TRUE(BASS_StreamFree(plain));
        EXPECT_TRUE(silent(render(1000)));

        // A source freed under its tempo stream: the tempo stream ends, nothing breaks.
        DWORD dec = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
        DWORD tempo = BASS_FX_TempoCreate(dec, 0);
        ASSERT_NE(tempo, 0u);
        ASSERT_NE(BASS_ChannelSetSync(tempo, kEndMessageSync, 0, reinterpret_cast<SYNCPROC *>(kFileEnd), 0), 0u);
        ASSERT_TRUE(BASS_ChannelPlay(tempo, FALSE));
        render(2000);
        EXPECT_TRUE(BASS_StreamFree(dec));
        renderWhilePlaying(tempo, 10 * kRate);
        EXPECT_EQ(BASS_ChannelIsActive(tempo), DWORD(BASS_ACTIVE_STOPPED));
        EXPECT_EQ(rec.count(kFileEnd), 1);

        // Freeing a tempo stream frees its source with BASS_FX_FREESOURCE.
        DWORD dec2 = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
        DWORD tempo2 = BASS_FX_TempoCreate(dec2, BASS_FX_FREESOURCE);
        EXPECT_EQ(BASS_FX_TempoGetSource(tempo2), dec2);
        ASSERT_TRUE(BASS_ChannelPlay(tempo2, FALSE));
        render(500);
        EXPECT_TRUE(BASS_StreamFree(tempo2));
        EXPECT_EQ(BASS_ChannelGetLength(dec2), QWORD(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_HANDLE));

        // Left playing for BASS_Free.
        DWORD left = BASS_FX_TempoCreate(BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE),
                                         BASS_FX_FREESOURCE);
        ASSERT_TRUE(BASS_ChannelPlay(left, FALSE));
        render(300);
    }
    // Device 0 with its own clock and threads, freed while playing.
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 10);
    DWORD t = BASS_FX_TempoCreate(BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE), BASS_FX_FREESOURCE);
    ASSERT_TRUE(BASS_ChannelPlay(t, FALSE));
    EXPECT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelIsActive(t), DWORD(BASS_ACTIVE_STOPPED));
}

} // namespace
