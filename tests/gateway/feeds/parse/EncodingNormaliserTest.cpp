#include "EncodingNormaliser.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 日本語 in each encoding.
const std::string kUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
const std::string kEuc = "\xC6\xFC\xCB\xDC\xB8\xEC";
const std::string kSjis = "\x93\xFA\x96\x7B\x8C\xEA";
const std::string kJis = "\x1B$BF|K\\8l\x1B(B";

// The document as it is stored after normalisation: converted, or as it came.
std::string Convert(const std::string& bytes, const char* name, const char* options,
                    bool* converted = nullptr) {
    auto result = NormaliseEncoding(bytes, name, options);
    if (converted) *converted = result.has_value();
    return result ? *result : bytes;
}

TEST(Normaliser, EachDeclaredJapaneseEncodingBecomesUtf8WithALowerCaseFirstLine) {
    struct Case {
        const char* name;
        const char* options;
        std::string declared;
        std::string text;
    };
    for (const Case& c : {Case{"EUC-JP", "-Ew", "EUC-JP", kEuc}, Case{"EUC-JP", "-Ew", "euc-jp", kEuc},
                          Case{"SHIFT-JIS", "-Sw", "Shift-JIS", kSjis},
                          Case{"ISO-2022-JP", "-Jw", "iso-2022-jp", kJis}}) {
        SCOPED_TRACE(c.declared);
        const std::string in = "<?xml version=\"1.0\" encoding=\"" + c.declared + "\"?>\n<rss><t>" +
                               c.text + "</t>\n<u>" + c.text + c.text + "</u></rss>\n";
        bool converted = false;
        EXPECT_EQ(Convert(in, c.name, c.options, &converted),
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss><t>" + kUtf8 + "</t>\n<u>" + kUtf8 +
                      kUtf8 + "</u></rss>\n");
        EXPECT_TRUE(converted);
    }
}

TEST(Normaliser, DeclarationsTheTestDoesNotRecogniseLeaveTheFileAlone) {
    const std::vector<std::string> documents = {
        "<?xml version='1.0' encoding='EUC-JP'?>\n<a>" + kEuc + "</a>",
        "<?xml version=\"1.0\" encoding = \"EUC-JP\"?>\n<a>" + kEuc + "</a>",
        "\n<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<a>" + kEuc + "</a>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>" + kUtf8 + "</a>",
        "",
    };
    for (const std::string& doc : documents) {
        SCOPED_TRACE(doc);
        bool converted = true;
        EXPECT_EQ(Convert(doc, "EUC-JP", "-Ew", &converted), doc);
        EXPECT_FALSE(converted);
    }
    const std::string sjis = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<a>" + kSjis + "</a>";
    EXPECT_EQ(Convert(sjis, "SHIFT-JIS", "-Sw"), sjis);
}

TEST(Normaliser, ADocumentOnOneLineIsOnlyLowerCased) {
    const std::string in = "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><RSS><T>" + kEuc + "</T></RSS>";
    EXPECT_EQ(Convert(in, "EUC-JP", "-Ew"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><t>" + kEuc + "</t></rss>");
}

TEST(Normaliser, CharactersAndShiftStatesAcrossAnyReadBoundaryComeOutWhole) {
    struct Case {
        const char* name;
        const char* options;
        std::string text;
    };
    for (const Case& c : {Case{"EUC-JP", "-Ew", kEuc}, Case{"SHIFT-JIS", "-Sw", kSjis}}) {
        // One long line, with and without a one-byte offset, so that two-byte characters
        // straddle the 1998-byte pieces of the line and the blocks read from the file.
        for (std::string offset : {"", "x"}) {
            std::string line = offset;
            std::string expected = offset;
            while (line.size() < 200000) {
                line += c.text;
                expected += kUtf8;
            }
            const std::string head = std::string("<?xml version=\"1.0\" encoding=\"") + c.name + "\"?>\n";
            EXPECT_EQ(Convert(head + "<a>" + line + "</a>\n", c.name, c.options),
                      std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n") + "<a>" + expected +
                          "</a>\n")
                << c.name << " offset " << offset.size();
        }
    }
    // An ISO-2022-JP shift that opens in one piece and closes thousands of bytes later.
    std::string jis = "\x1B$B";
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        jis += "F|";
        expected += "\xE6\x97\xA5";
    }
    jis += "\x1B(B";
    const std::string head = "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n";
    EXPECT_EQ(Convert(head + "<a>" + jis + "</a>", "ISO-2022-JP", "-Jw"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>" + expected + "</a>");
}

TEST(Normaliser, AFirstLineLongerThanAPieceIsCutThere) {
    const std::string first = "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>" + std::string(3000, 'A');
    EXPECT_EQ(ReadFirstLinePiece(first + "\nrest").size(), 1998u);
    EXPECT_EQ(ReadFirstLinePiece("ab\ncd"), "ab\n");
    EXPECT_EQ(ReadFirstLinePiece(""), "");
    // The part after the first piece is converted like the rest of the document.
    EXPECT_EQ(Convert(first + kEuc, "EUC-JP", "-Ew"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + std::string(1998 - 39, 'a') +
                  std::string(3000 - (1998 - 39), 'A') + kUtf8);
}

TEST(Normaliser, OnlyTheFirstMatchingConversionOfTheThreeApplies) {
    const std::string euc = "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<a>" + kEuc + "</a>";
    EXPECT_EQ(NormaliseJapaneseEncoding(euc), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>" + kUtf8 + "</a>");
    const std::string jis = "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n<a>" + kJis + "</a>";
    EXPECT_EQ(NormaliseJapaneseEncoding(jis), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>" + kUtf8 + "</a>");
    EXPECT_FALSE(NormaliseJapaneseEncoding("<?xml version=\"1.0\"?>\n<a>" + kUtf8 + "</a>"));
    EXPECT_FALSE(NormaliseJapaneseEncoding(""));
}

}  // namespace

namespace {

TEST(Normaliser, BytesTheEncodingCannotReadBecomeUFffdAndTheNoteCountsThem) {
    struct Case {
        std::string document;
        std::string note;
    };
    const std::string head = "<?xml version=\"1.0\" encoding=\"";
    const Case cases[] = {
        {head + "EUC-JP\"?>\n<t>" + kEuc + "\xA9\xA1</t>", "EUC-JPとして読めないバイト列1箇所をU+FFFD(\uFFFD)に置き換えました。"},
        {head + "SHIFT-JIS\"?>\n<t>\x85\x40" + kSjis + "\x93</t>", "SHIFT-JISとして読めないバイト列2箇所をU+FFFD(\uFFFD)に置き換えました。"},
        {head + "ISO-2022-JP\"?>\n<t>" + kJis + "</t>", ""},
        {head + "EUC-JP\"?>\n<t>" + kEuc + "</t>", ""},
    };
    for (const Case& c : cases) {
        std::string note = "left over";
        ASSERT_TRUE(NormaliseJapaneseEncoding(c.document, &note));
        EXPECT_EQ(note, c.note) << c.document;
    }
}

}  // namespace
