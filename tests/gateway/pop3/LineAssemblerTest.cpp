#include "LineAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Renders what the assembler produced: each line as received, "<too long>" for a drop.
std::string Render(const std::vector<LineAssembler::Line>& lines) {
    std::string out;
    for (const auto& line : lines) out += line.tooLong ? std::string("<too long>") : "[" + line.text + "]";
    return out;
}

std::string FeedWhole(const std::string& input) {
    LineAssembler assembler;
    std::vector<LineAssembler::Line> lines;
    assembler.Feed(input, lines);
    return Render(lines);
}

std::string FeedByteByByte(const std::string& input) {
    LineAssembler assembler;
    std::vector<LineAssembler::Line> lines;
    for (char c : input) assembler.Feed(std::string_view(&c, 1), lines);
    return Render(lines);
}

struct Case {
    std::string input;
    std::string expected;
};

TEST(LineAssembler, CutsLinesAtLineFeedWholeOrByteByByte) {
    const std::string longLine(2000, 'x');
    const Case cases[] = {
        {"STAT\r\n", "[STAT\r\n]"},
        {"STAT\n", "[STAT\n]"},
        {"USER a\r\nPASS b\r\nSTAT\r\n", "[USER a\r\n][PASS b\r\n][STAT\r\n]"},
        {"STAT", ""},
        {"STAT\r", ""},
        {"\r\n\n", "[\r\n][\n]"},
        {std::string("NO\0OP\r\n", 7), std::string("[NO\0OP\r\n]", 9)},
        {longLine + "\r\nSTAT\r\n", "[" + longLine + "\r\n][STAT\r\n]"},
        {longLine + "\nSTAT\n", "[" + longLine + "\n][STAT\n]"},
        {longLine + "x\r\nSTAT\r\n", "<too long>[STAT\r\n]"},
        {longLine + "xx\r\nSTAT\r\n", "<too long>[STAT\r\n]"},
        {std::string(100000, 'y') + "\nSTAT\n", "<too long>[STAT\n]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FeedWhole(c.input), c.expected) << c.input.substr(0, 40);
        EXPECT_EQ(FeedByteByByte(c.input), c.expected) << c.input.substr(0, 40);
    }
}

TEST(LineAssembler, OverlongLineIsReportedBeforeItsEndArrives) {
    LineAssembler assembler;
    std::vector<LineAssembler::Line> lines;
    assembler.Feed(std::string(5000, 'z'), lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].tooLong);
    assembler.Feed(std::string(5000, 'z'), lines);
    EXPECT_EQ(lines.size(), 1u);
    assembler.Feed("zz\r\nNOOP\r\n", lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text, "NOOP\r\n");
}

TEST(LineAssembler, LineOfExactlyTheLimitWithCarriageReturnSplitIsKept) {
    LineAssembler assembler;
    std::vector<LineAssembler::Line> lines;
    assembler.Feed(std::string(2000, 'a') + "\r", lines);
    EXPECT_TRUE(lines.empty());
    assembler.Feed("\n", lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FALSE(lines[0].tooLong);
}

}  // namespace
