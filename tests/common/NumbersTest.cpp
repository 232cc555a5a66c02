#include "Numbers.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(Numbers, StrictDecimalTakesDigitsOnlyWithinRange) {
    EXPECT_EQ(ParseDecimal("0"), 0);
    EXPECT_EQ(ParseDecimal("007"), 7);
    EXPECT_EQ(ParseDecimal("9223372036854775807"), LLONG_MAX);
    EXPECT_EQ(ParseDecimal("9223372036854775808"), std::nullopt);
    EXPECT_EQ(ParseDecimal("99999999999999999999"), std::nullopt);
    for (const char* text : {"", " 1", "1 ", "+1", "-1", "1a", "0x10", "1.0", "\xEF\xBC\x91"}) {
        EXPECT_EQ(ParseDecimal(text), std::nullopt) << text;
    }
    EXPECT_EQ(ParseDecimalInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseDecimalInt("2147483648"), std::nullopt);
    EXPECT_EQ(ParseSignedDecimalInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseSignedDecimalInt("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseSignedDecimalInt("-0"), 0);
    EXPECT_EQ(ParseSignedDecimalInt("-"), std::nullopt);
    EXPECT_EQ(ParseSignedDecimalInt("+5"), std::nullopt);
    EXPECT_EQ(ParseSignedDecimalInt("--5"), std::nullopt);
}

TEST(Numbers, LenientIntReadsAsOlderSettingsFilesWereRead) {
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"1110", 1110},        {"  \t\n\v\f\r42", 42}, {"+7", 7},     {"-7", -7},
        {"80abc", 80},         {"12 34", 12},          {"", 0},       {"abc", 0},
        {"-", 0},              {"+-1", 0},             {" - 1", 0},   {"0x1F", 0},
        {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"99999999999999999999999", INT_MAX},
        {"-99999999999999999999999", -INT_MAX},
        {std::string("5\0" "9", 3), 5},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseLenientInt(c.text), c.expected) << c.text;
}
