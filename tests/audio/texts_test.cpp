// Time format, error texts and the error message shape.
#include <gtest/gtest.h>

#include "channelinfo.h"
#include "slots.h"

using namespace vorel::audio;

TEST(FormatTime, PatternsBySize) {
    const struct {
        int64_t ms;
        const char *text;
    } cases[] = {
        {3723456, "01:02:03"}, {83456, "01:23"},  {60000, "01:00"},    {5678, "5.67"},
        {1000, "1.00"},        {345, "34"},       {0, "00"},           {-5, "00"},
        {59999, "59.99"},      {3599999, "59:59"}, {3600000, "01:00:00"}, {999, "99"},
        {9, "00"},             {10, "01"},        {86399999, "23:59:59"},
        // Hours count on past a day: a 99-hour claim must not read as 3 hours.
        {86400000 + 61000, "24:01:01"}, {99LL * 3600000 + 39000, "99:00:39"},
        {INT64_MAX, "2562047788015:12:55"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatTime(c.ms), c.text) << c.ms;
}

TEST(ErrorText, EveryCodeHasItsText) {
    const struct {
        uint32_t code;
        const char *text;
    } cases[] = {
        {1, "内存错误"},
        {2, "不能打开文件"},
        {3, "找不到空闲的声卡"},
        {4, "the sample buffer was lost - please report this!"},
        {5, "无效句柄"},
        {6, "不支持该格式"},
        {7, "回放位置不正确"},
        {8, "BASS_Init has not been successfully called"},
        {9, "BASS_Start has not been successfully called"},
        {14, "already initialized/paused/whatever"},
        {16, "not paused"},
        {17, "文件中没有音轨"},
        {18, "can't get a free channel"},
        {19, "an illegal type was specified"},
        {20, "an illegal parameter was specified"},
        {21, "no 3D support"},
        {22, "no EAX support"},
        {23, "illegal device number"},
        {24, "not playing"},
        {25, "illegal sample rate"},
        {27, "the stream is not a file stream"},
        {29, "no hardware voices available"},
        {31, "the MOD music has no sequence data"},
        {32, "no internet connection could be opened"},
        {33, "不能创建该文件"},
        {34, "effects are not enabled"},
        {35, "the channel is playing"},
        {37, "requested data is not available"},
        {38, "the channel is a \"decoding channel\" "},
        {39, "a sufficient DirectX version is not installed"},
        {40, "connection timedout"},
        {41, "不支持该文件格式"},
        {42, "unavailable speaker"},
        {43, "invalid BASS version (used by add-ons)"},
        {44, "codec is not available/supported"},
        {100, "The chan is not a decoding channel. Make sure the chan was created using "
              "BASS_STREAM_DECODE / BASS_MUSIC_DECODE flag"},
        {0xFFFFFFFFu, "some other mystery error"},
        {0, "不明确错误！"},
        {10, "不明确错误！"},
        {45, "不明确错误！"},
        {101, "不明确错误！"},
        {0xFFFFFFFEu, "不明确错误！"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
}

namespace {
DWORD fakeCode;
DWORD fakeErrorGetCode() { return fakeCode; }
} // namespace

TEST(RaiseAudioError, MessageShape) {
    core.BASS_ErrorGetCode = &fakeErrorGetCode;
    const struct {
        DWORD code;
        const char *message;
    } cases[] = {
        {2, "不能打开文件/m/a.wav! \r\n原因[2]：不能打开文件"},
        {8, "不能播放/m/a.wav! \r\n原因[8]：BASS_Init has not been successfully called"},
        {45, "不能播放/m/a.wav! \r\n原因[45]：不明确错误！"},
        {0xFFFFFFFFu, "不能播放/m/a.wav! \r\n原因[-1]：some other mystery error"},
    };
    for (const auto &c : cases) {
        fakeCode = c.code;
        try {
            RaiseAudioError(c.code == 2 ? "不能打开文件" : "不能播放", "/m/a.wav");
            ADD_FAILURE() << "no exception";
        } catch (const EAudioError &e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    clearCore();
}

TEST(ParseChapters, MarksFromTheLibrarysText) {
    using namespace std::string_literals;
    const struct {
        std::string tags;
        std::vector<TChapter> chapters;
    } cases[] = {
        {"0\tOne\0"s "61000\t第二章\0\0"s, {{0, "One"}, {61000, "第二章"}}},
        {"5\t\0\0"s, {{5, ""}}},
        // Strings without a time before their tab are passed over.
        {"x\tbad\0" "12\0" "-4\tneg\0" "7\tok\0\0"s, {{7, "ok"}}},
        // Past 2^31 - 1 ms (a 25-day file) the time is held at its limit.
        {"99999999999\tfar\0\0"s, {{2147483647, "far"}}},
        {"\0"s, {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseChapters(c.tags.c_str()), c.chapters) << c.tags;
    EXPECT_TRUE(ParseChapters(nullptr).empty());
}
