#include "TextUtil.h"

#include <gtest/gtest.h>

TEST(TextUtil, CaseChangesOnlyAsciiLetters) {
    EXPECT_EQ(ToUpperCopy("encoding=\"euc-jp\" \xe6\x97\xa5"), "ENCODING=\"EUC-JP\" \xe6\x97\xa5");
    EXPECT_EQ(ToLowerCopy("<BR/> \x82\xA0Z"), "<br/> \x82\xA0z");
}

TEST(TextUtil, ReplaceAllReplacesEveryOccurrence) {
    EXPECT_EQ(ReplaceAll("a/b/c?d", "/", "-"), "a-b-c?d");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    // Every round searches the current text again, so a replacement can complete
    // an occurrence with the text before it.
    EXPECT_EQ(ReplaceAll("aaab", "ab", "b"), "b");
    EXPECT_EQ(ReplaceAll("x--y", "--", "-"), "x-y");
    EXPECT_EQ(ReplaceAll("none", "x", "y"), "none");
    EXPECT_EQ(ReplaceAll("", "x", "y"), "");
}
