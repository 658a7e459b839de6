// Round trip through a compiled-in resource table: every entry is one bzip2 stream
// of block size 9 that decompresses to exactly the file the build embedded.
#include "datamodule.h"
#include "resourcetable.h"
#include "testfiles.h"

#include <gtest/gtest.h>

using vorel::resources::FindResource;

TEST(ResourceTable, EveryEntryDecompressesToTheBuiltFile) {
    const struct {
        int id;
        const char *file;
    } entries[] = {{9001, BUILT_CORE}, {1001, BUILT_FX}, {2001, BUILT_HELP}};
    for (const auto &e : entries) {
        SCOPED_TRACE(e.id);
        const auto res = FindResource(e.id);
        ASSERT_TRUE(res.has_value());
        ASSERT_GE(res->size, 4u);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(res->data), 4), "BZh9");
        const std::vector<uint8_t> built = vorel::test::readFile(e.file);
        ASSERT_FALSE(built.empty());
        EXPECT_EQ(vorel::audio::Tdm::Decompress(res->data, res->size), built);
    }
    EXPECT_FALSE(FindResource(0).has_value());
    EXPECT_FALSE(FindResource(1002).has_value());
    EXPECT_STREQ(vorel::resources::ProgramVersion(), PROJECT_VERSION_TEXT);
}

TEST(ResourceTable, HelpPageIsStoredAsGb2312) {
    const std::vector<uint8_t> page = vorel::test::readFile(BUILT_HELP);
    const std::string text(page.begin(), page.end());
    EXPECT_NE(text.find("charset=gb2312"), std::string::npos);
    // "帮助" (help) in GB2312 is B0 EF D6 FA; in UTF-8 it would be E5 B8 AE E5 8A A9.
    EXPECT_NE(text.find("\xB0\xEF\xD6\xFA"), std::string::npos);
    EXPECT_EQ(text.find("\xE5\xB8\xAE"), std::string::npos);
}
