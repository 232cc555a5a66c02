#include "Utf8.h"

#include <gtest/gtest.h>

#include <string>

TEST(Utf8, SequenceLengthRefusesOverlongSurrogateAndTooLargeForms) {
    EXPECT_EQ(Utf8SequenceLength("a", 0), 1u);
    EXPECT_EQ(Utf8SequenceLength("\xC3\xA9", 0), 2u);
    EXPECT_EQ(Utf8SequenceLength("\xE6\x97\xA5", 0), 3u);
    EXPECT_EQ(Utf8SequenceLength("\xF0\x9F\x98\x80", 0), 4u);
    for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "\xE6\x97", "\xFF"}) {
        EXPECT_EQ(Utf8SequenceLength(bad, 0), 0u) << bad;
    }
    EXPECT_EQ(FirstInvalidUtf8("ok\xE6\x97\xA5\xE6\x97"), 5u);
    EXPECT_EQ(ValidUtf8("a\xFF\xE6\x97\xA5\xE6\x97"), "a\xEF\xBF\xBD\xE6\x97\xA5\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8, AppendWritesEachLengthAndReplacesWhatIsNoScalarValue) {
    std::string out;
    for (char32_t cp : {U'\0', U'\x7F', U'\x80', U'\x7FF', U'\x800', U'\xFFFF', U'\x10000', U'\x10FFFF'})
        AppendUtf8(out, cp);
    EXPECT_EQ(out, std::string("\0\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 20));
    out.clear();
    AppendUtf8(out, 0xD800);
    AppendUtf8(out, 0x110000);
    EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8, Utf16RefusesUnpairedSurrogatesAndAnOddByte) {
    std::string out;
    EXPECT_TRUE(Utf16ToUtf8(std::string("a\0\xE5\x65\x3D\xD8\x00\xDE\xFF\xFE", 10), false, out));
    EXPECT_EQ(out, "a\xE6\x97\xA5\xF0\x9F\x98\x80\xEF\xBB\xBF");
    out.clear();
    EXPECT_TRUE(Utf16ToUtf8(std::string("\0a\x65\xE5", 4), true, out));
    EXPECT_EQ(out, "a\xE6\x97\xA5");
    for (const std::string& bad : {std::string("\x00\xDC", 2), std::string("\x3D\xD8", 2),
                                  std::string("\x3D\xD8" "a\0", 4), std::string("a\0b", 3)}) {
        out.clear();
        EXPECT_FALSE(Utf16ToUtf8(bad, false, out));
    }
}
