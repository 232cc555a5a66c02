#include "KanjiConverter.h"

#include "Jis0208.h"
#include "Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* options;
    std::string input;
    std::string expected;
};

const std::vector<Case>& ToUtf8Cases() {
    static const std::vector<Case> cases = {
        // CP932 with half-width katakana, NEC row 13, an NEC-selected IBM kanji and the wave dash.
        {"-Sw", "\x93\x8c\x8b\x9e\xc3\xbd\xc4\x87\x40\xed\x40\x81\x60",
         "東京ﾃｽﾄ①纊～"},
        {"-Sw",
         "\x8c\xe1\x94\x79\x82\xcd\x94\x4c\x82\xc5\x82\xa0\x82\xe9\x81\x42\x96\xbc\x91\x4f"
         "\x82\xcd\x82\xdc\x82\xbe\x96\xb3\x82\xa2\x81\x42\x87\x40\x87\x56\x87\x8a\x81\x60\x81\x7c",
         "吾輩は猫である。名前はまだ無い。①Ⅲ㈱～－"},
        // IBM extension rows and the user-defined area of Windows.
        {"-Sw", "\xfa\x5c\xf0\x40", "纊\xee\x80\x80"},
        {"-Sw", "line1\r\nline2\n", "line1\r\nline2\n"},
        {"-Ew", "\xc5\xec\xb5\xfe\xa1\xa2\xc0\xb2\xa4\xec \x8e\xb6\x8e\xc5", "東京、晴れ ｶﾅ"},
        {"-Ew", "\xad\xa1\x8f\xb0\xa1", "①丂"},
        {"-Jw", "\x1b\x24\x42\x45\x6c\x35\x7e\x21\x22\x40\x32\x24\x6c\x1b\x28\x42\r\n",
         "東京、晴れ\r\n"},
        {"-Jw", "\x1b$B-!\x1b(J\\~\x1b(I6\x1b(Bx", "①¥‾ｶx"},
        {"-Jw", "\x1b$@F|\x1b(B", "日"},
        {"-Ww", "日本", "日本"},
        {"-Sw", "", ""},
        // Invalid sequences: one U+FFFD each, and the text around them converts.
        {"-Sw", "\x81 \x93\x8c", "\xef\xbf\xbd 東"},
        // An empty cell; its ASCII trail byte is text of its own.
        {"-Sw", "\x85\x40x", "\xef\xbf\xbd@x"},
        {"-Sw", "\xfd\xff", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"-Sw", "\x93", "\xef\xbf\xbd"},
        {"-Ew", "\xa1" "b\xc5\xec", "\xef\xbf\xbd" "b東"},
        {"-Ew", "\x8e\x21", "\xef\xbf\xbd!"},
        {"-Jw", "\x1b$B\x21\x1b(Bz", "\xef\xbf\xbdz"},
        {"-Jw", "\x1b$ZA", "\xef\xbf\xbd$ZA"},
        {"-Jw", "\x1b$B\x29\x21\x1b(B", "\xef\xbf\xbd"},
        {"-Jw", "a\xe6z", "a\xef\xbf\xbdz"},
        {"-Ww", "a\xe6\x97z\xff", "a\xef\xbf\xbdz\xef\xbf\xbd"},
    };
    return cases;
}

const std::vector<Case>& ToIso2022JpCases() {
    static const std::vector<Case> cases = {
        {"-Wj", "plain ASCII\r\n", "plain ASCII\r\n"},
        {"-Wj", "日本語", "\x1b$BF|K\\8l\x1b(B"},
        {"-Wj", "東京\n晴れ", "\x1b$BEl5~\x1b(B\n\x1b$B@2$l\x1b(B"},
        // Half-width katakana become full-width, joined with their sound marks.
        {"-Wj", "ｶﾞｷﾊﾟｳﾞｰ", "\x1b$B%,%-%Q%t!<\x1b(B"},
        {"-Wj", "ｶ", "\x1b$B%+\x1b(B"},
        {"-Wj", "ﾜﾞ", "\x1b$B%o!+\x1b(B"},
        // NEC row 13 and the NEC-selected IBM extensions in their JIS rows.
        {"-Wj", "①Ⅲ№", "\x1b$B-!-7-b\x1b(B"},
        {"-Wj", "纊髙", "\x1b$By!|b\x1b(B"},
        // Windows and JIS forms of the wave dash and the minus land on one cell.
        {"-Wj", "～〜−－", "\x1b$B!A!A!]!]\x1b(B"},
        {"-Wj", "¥100", "\x1b(J\\\x1b(B100"},
        {"-Wj", "Café 東", "Caf&#233; \x1b$BEl\x1b(B"},
        {"-Wj", "😀", "&#128512;"},
        {"-Wj", "a\x1b$Bb", "a&#27;$Bb"},
        {"-Wj", "\xff", "&#65533;"},
        {"-Wj", "", ""},
        {"-Sj", "\x93\x8c\xc3", "\x1b$BEl%F\x1b(B"},
    };
    return cases;
}

TEST(KanjiConverter, ConvertsEachJapaneseSetToUtf8) {
    for (const Case& c : ToUtf8Cases()) {
        EXPECT_EQ(ConvertTextWith(c.options, c.input), c.expected)
            << c.options << " " << c.expected;
    }
}

TEST(KanjiConverter, WritesIso2022JpThatEndsInAsciiAndDropsNothing) {
    for (const Case& c : ToIso2022JpCases()) {
        EXPECT_EQ(ConvertTextWith(c.options, c.input), c.expected) << c.input;
    }
}

TEST(KanjiConverter, Iso2022JpOutputReadsBackAsTheOriginalText) {
    const std::vector<std::string> texts = {
        "吾輩は猫である。名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。",
        "①から⑳まで、ⅠⅡⅢ、㈱、纊褜鍈、髙﨑、¥と‾も",
        "全角ＡＢＣ１２３、記号「」『』【】〒※→",
        "mixed 日本 text, with ASCII [brackets] and \\ backslash ~ tilde",
    };
    for (const std::string& text : texts) {
        const std::string jis = ConvertTextWith("-Wj", text);
        for (char c : jis) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
        EXPECT_EQ(ConvertTextWith("-Jw", jis), text);
    }
}

// Text read from each Japanese set goes out as ISO-2022-JP and reads back the same
// (half-width katakana aside, which mail carries full-width).
TEST(KanjiConverter, DecodedTextOfEverySetSurvivesIso2022Jp) {
    int checked = 0;
    for (const Case& c : ToUtf8Cases()) {
        const std::string text = ConvertTextWith(c.options, c.input);
        const std::u32string_view halfWidth = U"ｶﾅﾃｽﾄ";
        bool hasHalfWidth = false;
        for (char32_t k : halfWidth) {
            std::string utf8;
            utf8 += static_cast<char>(0xEF);
            utf8 += static_cast<char>(k >= 0xFF80 ? 0xBE : 0xBD);
            utf8 += static_cast<char>(0x80 | (k & 0x3F));
            if (text.find(utf8) != std::string::npos) hasHalfWidth = true;
        }
        // Characters outside JIS X 0208 travel as references instead.
        const std::string jis = ConvertTextWith("-Wj", text);
        if (hasHalfWidth || jis.find("&#") != std::string::npos) continue;
        EXPECT_EQ(ConvertTextWith("-Jw", jis), text) << c.options << " " << text;
        ++checked;
    }
    EXPECT_GE(checked, 6);
}

TEST(KanjiConverter, AutoSendsIso2022JpOnlyForJapaneseEveryReaderDecodesAlike) {
    // Two texts of one message (say its subject and its body) and the verdict.
    struct FitCase {
        std::string_view first;
        std::string_view second;
        bool iso;
    };
    const FitCase cases[] = {
        {"東京", "晴れ", true},
        {"ASCII only", "東京", true},
        {"全角ＡＢＣ、「記号」〜 ― ∵ ￥ ＼", "", true},
        {"々と〆", "", true},
        {"ASCII only", "", false},
        {"", "", false},
        {"Новости — обзор", "", false},
        {"Новости ― обзор", "", false},  // Cyrillic and JIS punctuation, but no kana or kanji
        {"東京", "①", false},
        {"髙橋", "", false},
        {"﨑", "", false},
        {"㈱", "かな", false},
        {"ｶﾀｶﾅ", "", false},
        {"かな～", "", false},  // U+FF5E: Windows' form of the wave dash
        {"かな—", "", false},   // U+2014: JIS has only the horizontal bar
        {"かな¥", "", false},
        {"かな", "é", false},
        {"かな😀", "", false},
        {"かな\x1b$B", "", false},
    };
    for (const FitCase& c : cases) {
        EXPECT_EQ(SuitsIso2022Jp({c.first, c.second}), c.iso) << c.first << "|" << c.second;
    }
}

// What auto sends as ISO-2022-JP is written in the cell glibc and Python read it from.
TEST(KanjiConverter, EveryCharacterOfJisX0208ItselfIsWrittenInItsOwnCell) {
    int cells = 0;
    for (int pointer = 0; pointer < kJisPlaneRows * kJisCells; ++pointer) {
        const char32_t cp = Jis0208JisFormCodePoint(pointer);
        if (cp == 0) continue;
        std::string utf8;
        AppendUtf8(utf8, cp);
        ASSERT_TRUE(SuitsIso2022Jp({"か", utf8})) << pointer;
        const std::string expected = std::string("\x1b$B") + static_cast<char>(0x21 + pointer / kJisCells) +
                                     static_cast<char>(0x21 + pointer % kJisCells) + "\x1b(B";
        ASSERT_EQ(ConvertTextWith("-Wj", utf8), expected) << pointer;
        ++cells;
    }
    EXPECT_EQ(cells, 6879);
    // NEC row 13 and the NEC-selected IBM rows are Windows' own.
    for (int pointer : {12 * kJisCells, 12 * kJisCells + 1, 88 * kJisCells, 91 * kJisCells + 3}) {
        std::string utf8;
        AppendUtf8(utf8, Jis0208CodePoint(pointer));
        EXPECT_FALSE(SuitsIso2022Jp({"か", utf8})) << pointer;
    }
}

TEST(KanjiStream, CountsTheByteSequencesItReplaced) {
    struct CountCase {
        const char* options;
        std::string input;
        std::size_t replacements;
    };
    const CountCase cases[] = {
        {"-Ew", "\xC6\xFC\xA9\xA1\xCB\xDC", 1},
        {"-Sw", "\x82\xA0\x85\x40\x93", 2},
        {"-Jw", "\x1b$B\x29\x21\x1b(B\x1b$Z", 2},
        {"-Ww", "a\xff b\xe3\x81", 2},
        // A U+FFFD the text holds is a character, not a repair.
        {"-Ww", "\xef\xbf\xbd", 0},
        {"-Ew", "\xC6\xFC", 0},
    };
    for (const CountCase& c : cases) {
        KanjiStream stream(c.options);
        stream.Convert(c.input);
        stream.Finish();
        EXPECT_EQ(stream.Replacements(), c.replacements) << c.options << " " << c.input;
    }
}

TEST(KanjiConverter, EachCallIsIndependentOfTheOneBefore) {
    EXPECT_EQ(ConvertTextWith("-Sw", "\x93"), "\xef\xbf\xbd");
    EXPECT_EQ(ConvertTextWith("-Sw", "\x8c"), "\xef\xbf\xbd");
    EXPECT_EQ(ConvertTextWith("-Jw", "\x1b$BEl"), "東");
    EXPECT_EQ(ConvertTextWith("-Jw", "El"), "El");
}

// Every case split into two pieces at every position, and byte by byte.
TEST(KanjiStream, GivesTheSameTextWhereverThePiecesAreCut) {
    std::vector<Case> cases = ToUtf8Cases();
    const auto& jis = ToIso2022JpCases();
    cases.insert(cases.end(), jis.begin(), jis.end());
    for (const Case& c : cases) {
        const std::string whole = ConvertTextWith(c.options, c.input);
        for (std::size_t cut = 0; cut <= c.input.size(); ++cut) {
            KanjiStream stream(c.options);
            std::string out = stream.Convert(std::string_view(c.input).substr(0, cut));
            out += stream.Convert(std::string_view(c.input).substr(cut));
            out += stream.Finish();
            EXPECT_EQ(out, whole) << c.options << " cut at " << cut << " of " << c.expected;
        }
        KanjiStream stream(c.options);
        std::string out;
        for (char b : c.input) out += stream.Convert(std::string_view(&b, 1));
        out += stream.Finish();
        EXPECT_EQ(out, whole) << c.options << " byte by byte " << c.expected;
    }
}

TEST(KanjiStream, FinishTurnsAnUnfinishedCharacterIntoAReplacement) {
    KanjiStream stream("-Sw");
    EXPECT_EQ(stream.Convert("\x93\x8c\x8b"), "東");
    EXPECT_EQ(stream.Finish(), "\xef\xbf\xbd");
    // After Finish the stream starts afresh.
    EXPECT_EQ(stream.Convert("\x8b\x9e"), "京");
    EXPECT_EQ(stream.Finish(), "");
}

TEST(KanjiStream, KeepsTheIso2022JpShiftStateAcrossPieces) {
    KanjiStream stream("-Jw");
    std::string out = stream.Convert("\x1b$BEl5~\n");
    out += stream.Convert("@2$l\x1b(B\n");
    out += stream.Finish();
    EXPECT_EQ(out, "東京\n晴れ\n");
}

TEST(KanjiStream, WritesIso2022JpThatEndsInAsciiOnFinish) {
    KanjiStream stream("-Wj");
    std::string out = stream.Convert("日");
    out += stream.Convert("本ｶ");
    out += stream.Convert("ﾞ");
    out += stream.Finish();
    EXPECT_EQ(out, "\x1b$BF|K\\%,\x1b(B");
}

}  // namespace

namespace {

// Arbitrary bytes in every input set: valid output, and the same text in any pieces.
TEST(KanjiConverter, ArbitraryBytesConvertToValidTextInAnyPieces) {
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0xFF;
    };
    const char* alphabet = "\x1b$B()J@I\x0e\x0f\x21\x7e\x80\x81\x8e\x8f\xa1\xc0\xe0\xed\xef\xf0\xfc\xfe\xff\n";
    for (const char* options : {"-Sw", "-Ew", "-Jw", "-Ww", "-Wj", "-Sj", "-Ej", "-Jj", "-WM"}) {
        for (int round = 0; round < 200; ++round) {
            std::string input;
            const int length = static_cast<int>(next() % 40);
            for (int i = 0; i < length; ++i) {
                input += (next() & 1) ? alphabet[next() % 25] : static_cast<char>(next());
            }
            const std::string whole = ConvertTextWith(options, input);
            if (options[2] == 'w') {
                EXPECT_EQ(ConvertTextWith("-Ww", whole), whole);
            } else {
                for (char c : whole) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << options;
            }
            if (options[2] == 'M') continue;
            const std::size_t cut = next() % (input.size() + 1);
            KanjiStream stream(options);
            std::string pieces = stream.Convert(std::string_view(input).substr(0, cut));
            pieces += stream.Convert(std::string_view(input).substr(cut));
            pieces += stream.Finish();
            EXPECT_EQ(pieces, whole) << options;
        }
    }
}

}  // namespace
