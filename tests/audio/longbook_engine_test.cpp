// A two-hour audiobook (M4B, AAC): it opens with its length, is sampled and split
// whole, and its last sentence plays to the end of the file.
#include <gtest/gtest.h>

#include "playerfixture.h"
#include "segment/breakpointfile.h"
#include "segment/samplelist.h"

using namespace vorel::audio;
using vorel::audio::test::PlayerTest;
namespace vt = vorel::test;

namespace {

class LongBook : public PlayerTest {};

TEST_F(LongBook, TwoHourM4bPlaysItsLastSentence) {
    // A minute of sentences (2 s of tone, 0.6 s of pause), encoded once and copied
    // 120 times into one book by stream copy: seconds to make, not minutes.
    std::vector<int16_t> minute;
    for (int k = 0; k < 23; ++k) {
        vt::append(minute, vt::tone(400 + 20 * k, 2.0, 22050, 1, 9000));
        vt::append(minute, vt::silence(0.6, 22050, 1));
    }
    vt::writeWav16(dir.file("minute.wav"), minute, 22050, 1);
    const std::string book = dir.file("book.m4b");
    ASSERT_TRUE(vt::mustRun("ffmpeg -nostdin -v error -y -i " + vt::shellQuote(dir.file("minute.wav")) +
                            " -c:a aac -b:a 24k " + vt::shellQuote(dir.file("minute.m4a"))));
    ASSERT_TRUE(vt::mustRun("ffmpeg -nostdin -v error -y -stream_loop 119 -i " +
                            vt::shellQuote(dir.file("minute.m4a")) + " -c copy -f ipod " + vt::shellQuote(book)));

    player->Open(book);
    const int32_t duration = player->info.duration;
    // 120 copies of 59.8 s; each copy may bring its encoder delay (46 ms).
    EXPECT_NEAR(duration, 120 * 59800, 120 * 50);
    EXPECT_EQ(FormatTime(duration).substr(0, 3), "01:");

    vorel::segment::TWaveSampleList sampler;
    sampler.SampleFile(book, false);
    ASSERT_EQ(sampler.Samples.size(), size_t(vorel::segment::TWaveSampleList::SampleCountFor(duration) - 2));
    vorel::segment::TSegmentList list;
    vorel::segment::LoadBreakpoints(list, book, sampler.Samples, duration);
    // One breakpoint per pause, give or take the joins of the copies.
    EXPECT_NEAR(list.Count(), 120 * 23, 130);
    ASSERT_GT(list.Count(), 2);
    const int32_t start = list.Items(list.Count() - 2).TimeMs, end = list.Items(list.Count() - 1).TimeMs;
    ASSERT_GT(end + 100, duration);

    // The last sentence: its end + 100 ms lies past the end of the file, so the
    // file's end stops it.
    out.clear();
    log.clear();
    vorel::audio::test::PlayMs(*player, start, end + 100);
    renderUntil([&] { return state() == BASS_ACTIVE_STOPPED; }, 10 * kOutRate, 1024);
    renderFrames(kOutRate / 10);
    EXPECT_EQ(state(), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(log.snapshot(), std::vector<DWORD>{WM_FILE_END});
    EXPECT_NEAR(soundEnd(), 2.0 * kOutRate, 0.7 * kOutRate) << "the last sentence's tone";
}

} // namespace
