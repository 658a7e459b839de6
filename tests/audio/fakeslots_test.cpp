// Channel information and PCM extraction against a fake decoding channel bound
// into the core slots: the arithmetic and the byte-stream rules, without an engine.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "bassstream.h"
#include "slots.h"
#include "testfiles.h"

using namespace vorel::audio;

namespace {

constexpr DWORD kHandle = 7;

// One decoding channel whose PCM byte i is (i & 0xFF).
struct FakeChannel {
    DWORD fileSize = 0;
    QWORD length = 0;
    float secondsOverride = -1; // when >= 0, every bytes-to-seconds conversion gives this
    BASS_CHANNELINFO ci{44100, 2, 0, BASS_CTYPE_STREAM_WAV_PCM, 16, 0};
    DWORD error = 0;
    QWORD pos = 0;
    int readErrorAtCall = -1; // 0-based GetData call that fails
    int getDataCalls = 0;
    int stops = 0, setPositions = 0, inits = 0, frees = 0, streamFrees = 0;

    DWORD frameBytes() const { return (ci.flags & BASS_SAMPLE_8BITS ? 1 : 2) * ci.chans; }
} fake;

DWORD ErrorGetCode() { return fake.error; }
BOOL Init(int, DWORD, DWORD, HWND, const void *) { return ++fake.inits, TRUE; }
BOOL Free() { return ++fake.frees, TRUE; }
HSTREAM StreamCreateFile(BOOL, const void *file, QWORD, QWORD, DWORD) {
    if (std::strcmp(static_cast<const char *>(file), "missing.wav") == 0)
        return fake.error = BASS_ERROR_FILEOPEN, 0;
    return kHandle;
}
BOOL StreamFree(HSTREAM) { return ++fake.streamFrees, TRUE; }
DWORD StreamGetFilePosition(HSTREAM, DWORD) { return fake.fileSize; }
QWORD GetLength(DWORD) { return fake.length; }
float Bytes2Seconds(DWORD, QWORD bytes) {
    if (fake.secondsOverride >= 0)
        return fake.secondsOverride;
    return float(double(bytes) / (fake.ci.freq * fake.frameBytes()));
}
QWORD Seconds2Bytes(DWORD, float seconds) {
    return QWORD(double(seconds) * fake.ci.freq) * fake.frameBytes();
}
BOOL GetInfo(DWORD, BASS_CHANNELINFO *info) { return *info = fake.ci, TRUE; }
BOOL GetAttributes(DWORD, DWORD *freq, DWORD *volume, int *pan) {
    *freq = fake.ci.freq;
    *volume = 100;
    *pan = 0;
    return TRUE;
}
BOOL SetPosition(DWORD, QWORD pos) {
    ++fake.setPositions;
    if (pos > fake.length)
        return fake.error = BASS_ERROR_POSITION, FALSE;
    fake.pos = pos;
    return TRUE;
}
DWORD IsActive(DWORD) { return fake.pos < fake.length ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED; }
DWORD GetData(DWORD, void *buffer, DWORD length) {
    if (fake.getDataCalls++ == fake.readErrorAtCall)
        return fake.error = BASS_ERROR_FILEFORM, DWORD(-1);
    const QWORD n = std::min<QWORD>(length, fake.length - fake.pos);
    auto *out = static_cast<uint8_t *>(buffer);
    for (QWORD i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(fake.pos + i);
    fake.pos += n;
    return static_cast<DWORD>(n);
}
BOOL Stop(DWORD) { return ++fake.stops, TRUE; }

class FakeSlots : public ::testing::Test {
protected:
    void SetUp() override {
        fake = FakeChannel{};
        core.BASS_ErrorGetCode = ErrorGetCode;
        core.BASS_Init = Init;
        core.BASS_Free = Free;
        core.BASS_StreamCreateFile = StreamCreateFile;
        core.BASS_StreamFree = StreamFree;
        core.BASS_StreamGetFilePosition = StreamGetFilePosition;
        core.BASS_ChannelGetLength = GetLength;
        core.BASS_ChannelBytes2Seconds = Bytes2Seconds;
        core.BASS_ChannelSeconds2Bytes = Seconds2Bytes;
        core.BASS_ChannelGetInfo = GetInfo;
        core.BASS_ChannelGetAttributes = GetAttributes;
        core.BASS_ChannelSetPosition = SetPosition;
        core.BASS_ChannelIsActive = IsActive;
        core.BASS_ChannelGetData = GetData;
        core.BASS_ChannelStop = Stop;
    }
    void TearDown() override { clearCore(); }

    // A channel of `seconds` of 16-bit PCM at 44.1 kHz.
    void setChannel(DWORD chans, double seconds, DWORD fileSize) {
        fake.ci.chans = chans;
        fake.length = QWORD(seconds * 44100) * fake.frameBytes();
        fake.fileSize = fileSize;
    }
};

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

} // namespace

TEST_F(FakeSlots, FillChannelInfo) {
    const struct {
        DWORD fileSize;
        QWORD length;
        float secondsOverride;
        DWORD chans, flags, freq;
        int32_t duration, pointCount;
        uint8_t bits;
        uint16_t blockAlign;
        uint32_t avgBytesPerSec;
        int32_t bitRate;
    } cases[] = {
        // 1411.2 kbit/s rounds to the odd 1411, made even downwards.
        {1764044, 1764000, -1, 2, 0, 44100, 10000, 250, 16, 4, 176400, 1410},
        {66194, 66150, -1, 1, BASS_SAMPLE_8BITS, 22050, 3000, 75, 8, 1, 22050, 176},
        {80000, 882000, -1, 2, 0, 44100, 5000, 125, 16, 4, 176400, 128},
        // No audio: no bit rate rather than a division by zero.
        {44, 0, -1, 2, 0, 44100, 0, 0, 16, 4, 176400, 0},
        // Halves of a millisecond round to even: 62.5 -> 62, 187.5 -> 188.
        {1000, 11025, 0.0625f, 1, 0, 44100, 62, 1, 16, 2, 88200, 128},
        {1000, 33075, 0.1875f, 1, 0, 44100, 188, 4, 16, 2, 88200, 42},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        fake.fileSize = c.fileSize;
        fake.length = c.length;
        fake.secondsOverride = c.secondsOverride;
        fake.ci = BASS_CHANNELINFO{c.freq, c.chans, c.flags, BASS_CTYPE_STREAM_WAV_PCM, 16, 0};
        TChannelInfo info;
        FillChannelInfo(kHandle, info);
        EXPECT_EQ(info.fileSize, c.fileSize);
        EXPECT_EQ(info.byteLength, int64_t(c.length));
        EXPECT_EQ(info.duration, c.duration);
        EXPECT_EQ(info.pointCount, c.pointCount);
        EXPECT_EQ(info.channels, c.chans);
        EXPECT_EQ(info.bitsPerSample, c.bits);
        EXPECT_EQ(info.blockAlign, c.blockAlign);
        EXPECT_EQ(info.sampleRate, c.freq);
        EXPECT_EQ(info.avgBytesPerSec, c.avgBytesPerSec);
        EXPECT_EQ(info.bitRate, c.bitRate);
        EXPECT_EQ(info.libInfo.ctype, DWORD(BASS_CTYPE_STREAM_WAV_PCM));
    }
}

TEST_F(FakeSlots, OpenFailureShapeAndDeviceOwnership) {
    try {
        TBassStream s("missing.wav", true);
        ADD_FAILURE() << "opened a missing file";
    } catch (const EAudioError &e) {
        EXPECT_STREQ(e.what(), "不能打开文件missing.wav! \r\n原因[2]：不能打开文件");
    }
    // The stream that initialised the library releases it, also when it fails.
    EXPECT_EQ(fake.inits, 1);
    EXPECT_EQ(fake.frees, 1);

    setChannel(2, 1, 1000);
    { TBassStream s("a.wav", false); }
    EXPECT_EQ(fake.inits, 1);
    EXPECT_EQ(fake.frees, 1);
    EXPECT_EQ(fake.streamFrees, 1);
}

TEST_F(FakeSlots, HeaderSizesAndChannelField) {
    const struct {
        DWORD chans;
        bool withHeader;
        uint32_t startMs;
    } cases[] = {{1, true, 0}, {2, true, 250}, {6, true, 0}, {2, false, 250}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.chans << " " << c.withHeader << " " << c.startMs);
        setChannel(c.chans, 1.5, 1000);
        TBassStream s("a.wav", false);
        TMemoryStream target;
        const int32_t total = s.ExtractPcm(target, c.startMs, 0, c.withHeader);
        const uint32_t startByte = uint32_t(c.startMs / 1000.0 * 44100) * s.info.blockAlign;
        ASSERT_EQ(total, int32_t(fake.length - startByte));
        const uint32_t header = c.withHeader ? 44 : 0;
        ASSERT_EQ(target.size(), total + header);
        const uint8_t *d = target.data();
        if (c.withHeader) {
            EXPECT_EQ(le32(d + 4), 36u + total);
            EXPECT_EQ(le16(d + 22), c.chans == 1 ? 1 : 2);
            // The real channel count stays in the frame size and the byte rate.
            EXPECT_EQ(le32(d + 28), 44100u * 2 * c.chans);
            EXPECT_EQ(le16(d + 32), 2 * c.chans);
            EXPECT_EQ(le32(d + 40), uint32_t(total));
        }
        for (int32_t i = 0; i < total; i += 997)
            ASSERT_EQ(d[header + i], uint8_t(startByte + i)) << i;
        EXPECT_EQ(fake.stops, 1);
        fake.stops = 0;
    }
}

TEST_F(FakeSlots, EmptyRangeLeavesTargetAlone) {
    setChannel(2, 2, 1000);
    TBassStream s("a.wav", false);
    for (auto [startMs, endMs] : {std::pair{1000u, 1000u}, {1500u, 800u}, {2000u, 0u}, {3000u, 0u}}) {
        TMemoryStream target;
        target.write("abc", 3);
        EXPECT_EQ(s.ExtractPcm(target, startMs, endMs, true), 0);
        ASSERT_EQ(target.size(), 3);
        EXPECT_EQ(std::memcmp(target.data(), "abc", 3), 0);
    }
    EXPECT_EQ(fake.setPositions, 0);
}

TEST_F(FakeSlots, ProgressAndCancel) {
    constexpr int64_t block = TBassStream::ReadBlockSize;
    setChannel(2, 0, 1000);
    fake.length = QWORD(block * 5 / 2);
    TBassStream s("a.wav", false);

    std::vector<int> seen;
    s.SetOnProgress([&](int32_t percent, bool &) { seen.push_back(percent); });
    TMemoryStream target;
    EXPECT_EQ(s.ExtractPcm(target, 0, 0, false), int64_t(fake.length));
    EXPECT_EQ(seen, (std::vector<int>{40, 80, 100, 100}));

    // Cancelled in the first call: one block, then the closing 100 all the same.
    seen.clear();
    s.SetOnProgress([&](int32_t percent, bool &cancel) {
        seen.push_back(percent);
        cancel = true;
    });
    EXPECT_EQ(s.ExtractPcm(target, 0, 0, true), block);
    EXPECT_EQ(seen, (std::vector<int>{40, 100}));
    EXPECT_EQ(fake.stops, 2);
}

TEST_F(FakeSlots, ReadErrorEndsExtraction) {
    constexpr int64_t block = TBassStream::ReadBlockSize;
    setChannel(2, 0, 1000);
    fake.length = QWORD(block * 3);
    fake.readErrorAtCall = 1;
    TBassStream s("a.wav", false);
    TMemoryStream target;
    EXPECT_EQ(s.ExtractPcm(target, 0, 0, false), block);
    EXPECT_EQ(fake.getDataCalls, 2);
    EXPECT_EQ(fake.stops, 1);
}

TEST_F(FakeSlots, FailedPositioningRaisesTheErrorTextAlone) {
    setChannel(2, 1, 1000);
    TBassStream s("a.wav", false);
    TMemoryStream target;
    try {
        s.ExtractPcm(target, 2000, 3000, false);
        ADD_FAILURE() << "no exception";
    } catch (const EAudioError &e) {
        EXPECT_STREQ(e.what(), "回放位置不正确");
    }
}

TEST_F(FakeSlots, FileTargetGetsACompleteWav) {
    vorel::test::TempDir dir;
    const std::string path = dir.file("out.wav");
    setChannel(1, 1, 1000);
    TBassStream s("a.wav", false);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    TFdStream target(fd);
    const int32_t total = s.ExtractPcm(target, 100, 600, true);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0);
    ::close(fd);
    EXPECT_EQ(total, 44100);
    const auto bytes = vorel::test::readFile(path);
    ASSERT_EQ(bytes.size(), 44u + total);
    EXPECT_EQ(le32(&bytes[4]), 36u + total);
    EXPECT_EQ(le32(&bytes[40]), uint32_t(total));
    EXPECT_EQ(bytes[44], uint8_t(8820)); // the first byte at 100 ms
}

TEST(Binding, AllOrNothing) {
    // The test program itself exports none of the names: nothing may stay bound,
    // not even what was bound before.
    void *self = dlopen(nullptr, RTLD_NOW);
    ASSERT_NE(self, nullptr);
    core.BASS_ErrorGetCode = ErrorGetCode;
    EXPECT_FALSE(bindCore(self));
    EXPECT_EQ(core.BASS_ErrorGetCode, nullptr);
    EXPECT_FALSE(bindFx(self));
    EXPECT_FALSE(bindCore(nullptr));
    dlclose(self);
}
