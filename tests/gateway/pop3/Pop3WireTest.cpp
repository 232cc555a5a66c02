#include "Pop3Wire.h"

#include "TextMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Pop3Wire, LinesThatBeginWithADotAreStuffedAndTheReplyTerminated) {
    const std::pair<std::string, std::string> cases[] = {
        {"foo\r\n", "foo\r\n.\r\n"},
        {"foo\r\n.\r\n", "foo\r\n..\r\n.\r\n"},
        {".first\r\nmid.dle\r\n..two\r\n", "..first\r\nmid.dle\r\n...two\r\n.\r\n"},
        {"a\r\n.", "a\r\n..\r\n.\r\n"},
        {"no line end", "no line end\r\n.\r\n"},
        {"", ".\r\n"},
    };
    for (const auto& [text, wire] : cases) {
        std::string out;
        AppendDotStuffed(text, out);
        EXPECT_EQ(out, wire) << text;
    }
}

TEST(Pop3Wire, OctetsAreTheStuffedSizeKnownWithoutTheText) {
    for (const std::string text : {"A: b\r\n\r\n.x\r\n..\r\n.\r\n", "A: b\r\n\r\nplain\r\n", ".\r\n"}) {
        std::string out;
        AppendDotStuffed(text, out);
        EXPECT_EQ(Pop3Octets(*MakeTextMessage("u", text)), out.size() - 3) << text;
    }
}

TEST(Pop3Wire, TopKeepsTheHeaderTheBlankLineAndTheAskedBodyLines) {
    const std::string text = "A: b\r\nC: d\r\n\r\none\r\ntwo\r\nthree\r\n";
    EXPECT_EQ(TopOfMessage(text, 0), "A: b\r\nC: d\r\n\r\n");
    EXPECT_EQ(TopOfMessage(text, 2), "A: b\r\nC: d\r\n\r\none\r\ntwo\r\n");
    EXPECT_EQ(TopOfMessage(text, 99), text);
    EXPECT_EQ(TopOfMessage("A: b\r\n", 3), "A: b\r\n");
}

}  // namespace
