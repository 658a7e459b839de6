// The help window: the page as stored, its file's life around a showing, and
// what a failing showing looks like.
#include "bzip2.h"
#include "helpwindow.h"
#include "qtapp.h"
#include "resourcetable.h"
#include "testfiles.h"

#include <QApplication>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace vorel::help;
using vorel::test::TempDir;
namespace fs = std::filesystem;

namespace {

// The private temp folder goes below a test folder for the fixture's lifetime.
class HelpWindow : public ::testing::Test {
protected:
    void SetUp() override { vorel::test::qtApp(); }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        // The files of the instance folders; their locks do not count.
        if (fs::exists(folder_))
            for (const auto &e : fs::recursive_directory_iterator(folder_))
                if (!e.is_directory() && e.path().filename() != ".lock")
                    names.push_back(e.path().filename().string());
        return names;
    }

    TempDir tmp_;
    vorel::test::TmpdirScope tmpdir_{tmp_.path()};
    std::string folder_ = tmp_.path() + "/tmpvp-" + std::to_string(geteuid());
    std::vector<QString> messages_;
    MessageHook record_ = [this](const QString &caption, const QString &text) {
        messages_.push_back(caption + ": " + text);
    };
};

QString decodeGbk(const std::vector<uint8_t> &bytes) {
    QStringDecoder gbk("GBK");
    EXPECT_TRUE(gbk.isValid());
    return gbk.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

} // namespace

TEST(HelpPage, RoundTripsThroughTheResourceAndReadsAsGbk) {
    vorel::test::qtApp();
    const auto res = vorel::resources::FindResource(vorel::resources::HelpPageResource);
    ASSERT_TRUE(res.has_value());
    const std::vector<uint8_t> page = vorel::platform::Bunzip2(res->data, res->size);
    EXPECT_EQ(page, vorel::test::readFile(BUILT_HELP));
    const QString text = decodeGbk(page);
    for (const char *needle :
         {"charset=gb2312", "content=\"zh-cn\"", "<title>Vorel语言复读机</title>", "Vorel语言复读机（免费体验版）帮助",
          "标记式", "一键式", "左右键", "Hotpad", "Ctrl", ".lrc", "60%到140%", "Alt+Esc"}) {
        SCOPED_TRACE(needle);
        EXPECT_TRUE(text.contains(QString::fromUtf8(needle)));
    }
    // A GB2312 page: every byte outside ASCII is part of a two-byte character from
    // the GB2312 rows (A1..F7, A1..FE), so the strict decoder reads it too.
    for (size_t i = 0; i < page.size(); ++i) {
        if (page[i] < 0x80)
            continue;
        ASSERT_LT(i + 1, page.size());
        EXPECT_TRUE(page[i] >= 0xA1 && page[i] <= 0xF7 && page[i + 1] >= 0xA1 && page[i + 1] <= 0xFE) << "at " << i;
        ++i;
    }
}

TEST_F(HelpWindow, EachShowingWritesAFreshFileThatClosingDeletes) {
    std::vector<std::string> seen;
    for (int showing = 0; showing < 2; ++showing) {
        SCOPED_TRACE(showing);
        TfHelp help(vorel::resources::FindResource, record_);
        EXPECT_EQ(help.windowTitle(), TfHelp::Caption);
        help.show();
        const std::string page = help.pageFile();
        ASSERT_FALSE(page.empty());
        EXPECT_EQ(fs::path(page).parent_path().parent_path(), fs::path(folder_));
        EXPECT_EQ(fs::path(page).extension(), ".html");
        EXPECT_TRUE(fs::exists(page));
        EXPECT_EQ(fs::status(page).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("左右键")));
        EXPECT_EQ(help.browser()->documentTitle(), QStringLiteral("Vorel语言复读机"));
        seen.push_back(page);

        help.close();
        EXPECT_FALSE(fs::exists(page));
        EXPECT_TRUE(filesInFolder().empty());
        QApplication::processEvents();
    }
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(HelpWindow, DestroyingAnOpenWindowDeletesItsFile) {
    std::string page;
    {
        TfHelp help(vorel::resources::FindResource, record_);
        help.show();
        page = help.pageFile();
        ASSERT_TRUE(fs::exists(page));
    }
    EXPECT_FALSE(fs::exists(page));
}

TEST_F(HelpWindow, FailingShowingReportsOnceAndStaysOpenEmpty) {
    static const uint8_t notBzip2[] = {'B', 'Z', 'h', '9', 1, 2, 3, 4, 5, 6, 7, 8};
    const auto real = vorel::resources::FindResource(vorel::resources::HelpPageResource);
    ASSERT_TRUE(real.has_value());
    const struct {
        const char *what;
        vorel::platform::ResourceLookup lookup;
        bool plantLink; // the private folder is a symbolic link: refused
    } cases[] = {
        {"no resource", [](int) { return std::optional<vorel::platform::ResourceBytes>(); }, false},
        {"damaged stream", [](int) { return std::optional(vorel::platform::ResourceBytes{notBzip2, sizeof notBzip2}); },
         false},
        {"cut short",
         [&](int) { return std::optional(vorel::platform::ResourceBytes{real->data, real->size / 2}); }, false},
        {"temp folder refused", vorel::resources::FindResource, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        messages_.clear();
        TempDir elsewhere;
        if (c.plantLink)
            fs::create_directory_symlink(elsewhere.path(), folder_);
        TfHelp help(c.lookup, record_);
        help.show();
        EXPECT_TRUE(messages_.empty()); // reported once the window is up
        QApplication::processEvents();
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0], QStringLiteral("Vorelplay: 错误：找不到help文件！"));
        EXPECT_TRUE(help.isVisible());
        EXPECT_TRUE(help.browser()->document()->isEmpty());
        help.close();
        EXPECT_TRUE(fs::is_empty(elsewhere.path()));
        if (c.plantLink)
            fs::remove(folder_);
        else
            EXPECT_TRUE(filesInFolder().empty());
    }
}

// A file system that takes no more (full, or over the size limit): the message
// says the page could not be written, with the system's reason.
TEST_F(HelpWindow, APageThatCannotBeWrittenSaysWhy) {
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 100; // bytes: the page is larger
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    {
        TfHelp help(vorel::resources::FindResource, record_);
        help.show();
        QApplication::processEvents();
        setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0], QStringLiteral("Vorelplay: 错误：帮助页无法写入临时文件夹：") +
                                    QString::fromLocal8Bit(std::strerror(EFBIG)));
        help.close();
    }
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(filesInFolder().empty()); // the partial page went on closing
}
