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

TEST(TextUtil, TrimTakesOnlyTheGivenBytesFromEachEnd) {
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\fx\f"), "\fx\f");  // form feed is not among the default blanks
    EXPECT_EQ(Trim("\fx\f", " \f"), "x");
    EXPECT_EQ(TrimStart("  x  "), "x  ");
    EXPECT_EQ(TrimEnd("  x  "), "  x");
    EXPECT_EQ(TrimEnd(TrimStart("\r\tkey \r", " \t"), " \t\r"), "\r\tkey");
}

TEST(TextUtil, EqualsIgnoringCaseFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoringCase("Application/JSON", "application/json"));
    EXPECT_FALSE(EqualsIgnoringCase("json", "jsonx"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC9", "\xE9"));  // Latin-1 É and é stay apart
    EXPECT_FALSE(EqualsIgnoringCase("[", "{"));
}
