#include "jconvert.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

struct Case {
    std::string input;
    std::string expected;
};

TEST(Jconvert, EucJpToShiftJisFollowsTheByteRules) {
    const Case cases[] = {
        {"plain ascii 123", "plain ascii 123"},
        {"", ""},
        {"\xB0\xA1", "\x88\x9F"},        // row 0x30 cell 0x21: 亜
        {"\xA4\xA2", "\x82\xA0"},        // あ (even row)
        {"\xA5\xA2", "\x83\x41"},        // ア (odd row, cell below 0x60)
        {"\xA5\xE0", "\x83\x80"},        // ム (odd row, cell from 0x60)
        {"\x8E\xB1", "\xB1"},            // half-width katakana: the shift byte is dropped
        {"a\x80" "b", "a\x80" "b"},      // 0x80 is copied
        {"\xFF", "\xFF"},
        {"\xDF\xA1", "\xE0\x40"},        // row 0x5F takes the upper lead range
        {"x\xB0", "x"},                  // a lead byte that ends the input has no partner
        {"x\x8E", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EucJpToShiftJis(c.input), c.expected) << "input of " << c.input.size() << " bytes";
    }
}

TEST(Jconvert, JisPairToShiftJisGivesTheStandardMapping) {
    EXPECT_EQ(JisPairToShiftJis(0x30, 0x21), "\x88\x9F");
    EXPECT_EQ(JisPairToShiftJis(0x21, 0x21), "\x81\x40");
    EXPECT_EQ(JisPairToShiftJis(0x7E, 0x7E), "\xEF\xFC");
    EXPECT_EQ(JisPairToShiftJis(0x5E, 0x7E), "\x9F\xFC");
    EXPECT_EQ(JisPairToShiftJis(0x5F, 0x21), "\xE0\x40");
}

TEST(Jconvert, IsSupportedEncodingAcceptsExactlyFourUpperCaseNames) {
    for (const char* name : {"UTF-8", "SHIFT_JIS", "EUC-JP", "ISO-8859-1"}) {
        EXPECT_TRUE(IsSupportedEncoding(name)) << name;
    }
    for (const char* name : {"SJIS", "UTF8", "ISO-2022-JP", "utf-8", "Shift_JIS", "", "UTF-16"}) {
        EXPECT_FALSE(IsSupportedEncoding(name)) << name;
    }
}

TEST(Jconvert, ConvertFromDocumentTurnsEveryDeclaredEncodingIntoUtf8) {
    EXPECT_EQ(ConvertFromDocument("\xC6\xFC\xCB\xDC", "EUC-JP"), "日本");
    EXPECT_EQ(ConvertFromDocument("\x93\xFA\x96\x7B", "SHIFT_JIS"), "日本");
    EXPECT_EQ(ConvertFromDocument("caf\xE9", "ISO-8859-1"), "café");
    EXPECT_EQ(ConvertFromDocument("日本", "UTF-8"), "日本");
    // An unsupported encoding is taken as it stands, but never as broken UTF-8.
    EXPECT_EQ(ConvertFromDocument("\x1B$BF|\x1B(B", "ISO-2022-JP"), "\x1B$BF|\x1B(B");
    EXPECT_EQ(ConvertFromDocument("a\xFF" "b", "WINDOWS-1252"), "a\xEF\xBF\xBD" "b");
}

TEST(Jconvert, ShiftJisRoundTripsThroughUtf8WithCodePage932Characters) {
    // ① and ～ exist only in code page 932, not in plain Shift_JIS.
    const std::string utf8 = "①～日本語ｱ";
    EXPECT_EQ(ShiftJisToUtf8(Utf8ToShiftJis(utf8)), utf8);
    EXPECT_EQ(ShiftJisToUtf8("ok\x81"), "ok\xEF\xBF\xBD");  // truncated pair never hangs
}

TEST(Jconvert, EscapeXmlTextFoldsOnlyAmpEntityFirst) {
    const Case cases[] = {
        {"&amp;", "&amp;"},
        {"&", "&amp;"},
        {"A & B", "A &amp; B"},
        {"&lt;", "&amp;lt;"},
        {"<b>\"q\" 'a'</b>", "&lt;b&gt;&quot;q&quot; &#39;a&#39;&lt;/b&gt;"},
        {"&amp;amp;", "&amp;amp;"},
        {"日本語", "日本語"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeXmlText(c.input), c.expected) << c.input;
}

TEST(Jconvert, UrlEncodeQueryKeepsOnlyLettersAndSpaces) {
    const Case cases[] = {
        {" ", "+"},
        {"", ""},
        {"abcXYZ", "abcXYZ"},
        {"1", "%31"},
        {"http://a.jp/", "http%3A%2F%2Fa%2Ejp%2F"},
        {"日", "%E6%97%A5"},
        {"a b~", "a+b%7E"},
    };
    for (const Case& c : cases) EXPECT_EQ(UrlEncodeQuery(c.input), c.expected) << c.input;
}

std::time_t Utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm);
}

TEST(Jconvert, FormatUtcWritesEnglishNamesAndAOneDigitDay) {
    EXPECT_EQ(FormatUtc(kOpmlDatePattern, Utc(2026, 3, 1, 9, 5, 3)), "Sun, 1 Mar 2026 09:05:03 GMT");
    EXPECT_EQ(FormatUtc(kOpmlDatePattern, Utc(2026, 12, 7, 3, 5, 9)), "Mon, 7 Dec 2026 03:05:09 GMT");
    EXPECT_EQ(FormatUtc(kOpmlDatePattern, Utc(1999, 12, 31, 23, 59, 59)), "Fri, 31 Dec 1999 23:59:59 GMT");
    EXPECT_EQ(FormatUtc("yyyy/mm/dd", Utc(2026, 1, 2, 0, 0, 0)), "2026/01/02");
}

TEST(Jconvert, FormatUtcNowIgnoresTheProcessLocale) {
    std::setlocale(LC_ALL, "C.UTF-8");
    const std::string now = FormatUtcNow(kOpmlDatePattern);
    ASSERT_GE(now.size(), 24u);
    EXPECT_EQ(now.substr(now.size() - 4), " GMT");
    EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(now.substr(0, 3)), std::string::npos);
}

}  // namespace
