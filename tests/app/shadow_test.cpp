// Shadowing in the window: the switch with and without a microphone, and the
// small rules of the panel (take keys, what a lane plays).
#include <QCheckBox>

#include "shadowpanel.h"
#include "shadowtakes.h"
#include "takestore.h"
#include "windowfixture.h"

namespace vorel::app::test {
namespace {

TEST(ShadowRules, TakeKeysAreStoreKeysOfTheLessonAndSentence) {
    const std::string hash(64, 'f');
    const struct {
        std::string hash;
        int32_t start;
        std::string want;
    } cases[] = {
        {"3f2a", 1200, "3f2a-1200"},
        {hash, 0, std::string(40, 'f') + "-0"}, // long hashes are cut: the key stays a short file name
        {"1:52:x/../y", 7, "152xy-7"},          // nothing but letters and digits reaches a file name
        {"", 7, "lesson-7"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(TakeKey(c.hash, c.start), c.want);
        EXPECT_TRUE(audio::TTakeStore::ValidKey(TakeKey(c.hash, c.start))) << c.want;
    }
    EXPECT_TRUE(audio::TTakeStore::ValidKey(TakeKey(hash, INT32_MAX)));
}

TEST(ShadowRules, EachLanePlaysItsFilesInTurn) {
    using V = view::TCompareView;
    const struct {
        int lane;
        std::string sentence, take;
        std::vector<std::string> want;
    } cases[] = {
        {V::SentenceLane, "s", "t", {"s"}},
        {V::TakeLane, "s", "t", {"t"}},
        {V::AlignedLane, "s", "t", {"s", "t"}},
        {V::AlignedLane, "", "t", {"t"}}, // a sentence that could not be written: the take alone
        {-1, "s", "t", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LaneFiles(c.lane, c.sentence, c.take), c.want) << c.lane;
}

// Without a microphone the switch says so once and stays off; with one, the
// repeater shadows and the comparison shows.
TEST_F(WindowTest, TheShadowingSwitchNeedsAMicrophone) {
    const QByteArray driverBefore = qgetenv("SDL_AUDIODRIVER");
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILEIN", QByteArray::fromStdString(dir.file("missing.raw")));
    QCheckBox *box = w->shadowPanel->shadowBox;
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(w->Repeater().Shadowing());
    EXPECT_EQ(w->NoticeText(), audio::NoCaptureNotice);

    vorel::test::writeFile(dir.file("mic.raw"), std::vector<uint8_t>(3200, 0));
    qputenv("SDL_DISKAUDIOFILEIN", QByteArray::fromStdString(dir.file("mic.raw")));
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(w->Repeater().Shadowing());
    EXPECT_FALSE(w->shadowPanel->compare->isHidden());
    box->click();
    EXPECT_FALSE(w->Repeater().Shadowing());
    EXPECT_TRUE(w->shadowPanel->compare->isHidden());
    qputenv("SDL_AUDIODRIVER", driverBefore);
}

} // namespace
} // namespace vorel::app::test
