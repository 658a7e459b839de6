#include <gtest/gtest.h>

#include "align/sentencesplitter.h"

using vorel::align::SplitSentences;

namespace {

struct TCase {
    const char *name;
    const char *lang;
    const char *text;
    std::vector<std::string> sentences;
};

const TCase cases[] = {
    {"english plain", "en", "I went home. Then I slept! Did you?", {"I went home.", "Then I slept!", "Did you?"}},
    {"english titles", "en", "Mr. Smith met Dr. Jones at St. Paul's. They talked.",
     {"Mr. Smith met Dr. Jones at St. Paul's.", "They talked."}},
    {"english e.g. and lower case", "en", "Use a tool, e.g. a hammer. Done.", {"Use a tool, e.g. a hammer.", "Done."}},
    {"english etc. ends a sentence", "en", "Apples, pears, etc. Then we left.",
     {"Apples, pears, etc.", "Then we left."}},
    {"numbers", "en", "It costs 3.50 dollars. Version 2.0.1 is out. See No. 5 for more.",
     {"It costs 3.50 dollars.", "Version 2.0.1 is out.", "See No. 5 for more."}},
    {"initials", "en", "J. K. Rowling wrote it. It sold well.", {"J. K. Rowling wrote it.", "It sold well."}},
    {"quotes stay", "en", "He said, \"Stop!\" She left. (It was late.) Fine.",
     {"He said, \"Stop!\"", "She left.", "(It was late.)", "Fine."}},
    {"quote then lower case", "en", "\"Stop!\" he said. Ok.", {"\"Stop!\" he said.", "Ok."}},
    {"ellipses", "en", "Wait... what? Well… Maybe. Hmm...", {"Wait... what?", "Well…", "Maybe.", "Hmm..."}},
    {"repeated marks", "en", "Really?! Yes!!! No.", {"Really?!", "Yes!!!", "No."}},
    {"url and decimals", "en", "Visit www.example.com today. Pi is 3.14.", {"Visit www.example.com today.", "Pi is 3.14."}},
    {"french spacing", "fr", "« Bonjour ! » dit-il. Vraiment ? Oui. M. Dupont arrive.",
     {"« Bonjour ! » dit-il.", "Vraiment ?", "Oui.", "M. Dupont arrive."}},
    {"french quote ends", "fr", "Elle a crié « Au secours ! » Personne n'est venu.",
     {"Elle a crié « Au secours ! »", "Personne n'est venu."}},
    {"spanish", "es", "¿Dónde está el Sr. García? ¡No lo sé! Vive en la calle 5.",
     {"¿Dónde está el Sr. García?", "¡No lo sé!", "Vive en la calle 5."}},
    {"capitals of Latin Extended-A that sit on odd codes", "cs", "Co jsi říkala? Že někdo byl tu. Łódź leży. Źle!",
     {"Co jsi říkala?", "Že někdo byl tu.", "Łódź leży.", "Źle!"}},
    {"small letters with diacritics go on", "vi", "Wait... ž? Nǐ... ǎi. Tôi... được.",
     {"Wait... ž?", "Nǐ... ǎi.", "Tôi... được."}},
    {"german", "de", "Er kam am 3. Oktober. Das war z. B. gut, d.h. sehr gut. Wir gehen, bzw. fahren.",
     {"Er kam am 3. Oktober.", "Das war z. B. gut, d.h. sehr gut.", "Wir gehen, bzw. fahren."}},
    {"german ordinal only in german", "en", "We met in 1990. Then 3. Things.", {"We met in 1990.", "Then 3.", "Things."}},
    {"chinese", "", "你好。你叫什么名字？我叫李明！", {"你好。", "你叫什么名字？", "我叫李明！"}},
    {"chinese quotes", "", "他说：“我来了。”然后走了。", {"他说：“我来了。”", "然后走了。"}},
    {"chinese ellipsis", "", "我想……算了。好吧", {"我想……", "算了。", "好吧"}},
    {"chinese wrapped lines join without space",
     "",
     "这是一个很长的句子，它在这里被换行了，因为文本是按固定宽度排版的，所以每一行都很长很长很长很长很长很长很长很长\n"
     "而且下一行继续同一句话，直到这里才结束。这一行也很长，很长很长很长很长很长很长很长很长很长很长很长很长很长很长\n"
     "第三行也很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长。",
     {"这是一个很长的句子，它在这里被换行了，因为文本是按固定宽度排版的，所以每一行都很长很长很长很长很长很长很长很长而且下一行继续同一句话，直到这里才结束。",
      "这一行也很长，很长很长很长很长很长很长很长很长很长很长很长很长很长很长第三行也很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长很长。"}},
    {"paragraph break without a stop", "en", "First line without stop\n\nSecond one.",
     {"First line without stop", "Second one."}},
    {"short lines are their own sentences", "en", "Hello there\nHow are you\r\nFine", {"Hello there", "How are you", "Fine"}},
    {"hard-wrapped text joins lines",
     "en",
     "It was the best of times, it was the worst of times, it was the age of\n"
     "wisdom, it was the age of foolishness. It was the epoch of belief, it was\n"
     "the epoch of incredulity, it was the season of Light, it was the season.\n",
     {"It was the best of times, it was the worst of times, it was the age of wisdom, it was the age of foolishness.",
      "It was the epoch of belief, it was the epoch of incredulity, it was the season of Light, it was the season."}},
    {"blank lines and symbols are not sentences", "en", "\n\n  \n***\n\nOne.\n\n\n", {"One."}},
    {"spaces collapse, BOM dropped", "en", "\xEF\xBB\xBFOne   two.\tThree.", {"One two.", "Three."}},
};

} // namespace

TEST(SentenceSplitter, Table) {
    for (const TCase &c : cases) {
        std::vector<std::string> got;
        for (const auto &s : SplitSentences(c.text, c.lang))
            got.push_back(s.Text);
        EXPECT_EQ(got, c.sentences) << c.name;
    }
}

TEST(SentenceSplitter, ParagraphsAndHeadings) {
    const auto s = SplitSentences("Chapter One\n\nIt was dark. It rained.\n\nThe End.", "en");
    ASSERT_EQ(s.size(), 4u);
    EXPECT_TRUE(s[0].Heading);
    EXPECT_EQ(s[0].Paragraph, 0);
    EXPECT_FALSE(s[1].Heading);
    EXPECT_EQ(s[1].Paragraph, 1);
    EXPECT_EQ(s[2].Paragraph, 1);
    EXPECT_FALSE(s[3].Heading); // closes with a full stop: a sentence
    EXPECT_EQ(s[3].Paragraph, 2);
}
