// The byte repairs and encoding choices the parser falls back on.
#include "FeedRepair.h"

#include <gtest/gtest.h>

namespace {

TEST(FeedRepair, ReferencesXmlDoesNotKnowAreMadeReadable) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : {
             Case{"<a>x &nbsp; y</a>", "<a>x &#160; y</a>"},
             Case{"<a>caf&eacute;</a>", "<a>caf&#233;</a>"},
             Case{"<a href=\"?a=1&b=2\">", "<a href=\"?a=1&amp;b=2\">"},
             Case{"<a>A &#X41; &#x41; &#65;</a>", "<a>A &#x41; &#x41; &#65;</a>"},
             Case{"<a>&amp;&lt;&gt;&quot;&apos;</a>", std::string()},
             Case{"<a>&unknownname; & &#; &#xZZ;</a>", "<a>&amp;unknownname; &amp; &amp;#; &amp;#xZZ;</a>"},
             Case{"<a>bell\x07 here</a>", "<a>bell here</a>"},
             // CDATA and comments hold no references and are left alone.
             Case{"<a><![CDATA[&nbsp; & ]]><!-- & --></a>", std::string()},
         }) {
        SCOPED_TRACE(c.in);
        auto repaired = RepairReferences(c.in);
        if (c.out.empty()) {
            EXPECT_FALSE(repaired);
        } else {
            ASSERT_TRUE(repaired);
            EXPECT_EQ(*repaired, c.out);
        }
    }
}

TEST(FeedRepair, JunkBeforeTheDeclarationIsSkippedButNotInWideEncodings) {
    EXPECT_EQ(SkipJunkBeforeMarkup("\n\n  <?xml version=\"1.0\"?><a/>"), "<?xml version=\"1.0\"?><a/>");
    EXPECT_EQ(SkipJunkBeforeMarkup("garbage<rss/>"), "<rss/>");
    EXPECT_FALSE(SkipJunkBeforeMarkup("<rss/>"));
    EXPECT_EQ(SkipJunkBeforeMarkup("<!-- note -->\n<?xml version=\"1.0\"?><rss/>"), "<?xml version=\"1.0\"?><rss/>");
    EXPECT_FALSE(SkipJunkBeforeMarkup("<rss><?xml version=\"1.0\"?></rss>"));
    EXPECT_FALSE(SkipJunkBeforeMarkup(std::string("\xFF\xFE<\0r\0", 6)));
}

TEST(FeedRepair, DeclaredEncodingComesFromTheBomOrTheDeclaration) {
    EXPECT_EQ(DeclaredEncoding("<?xml version=\"1.0\" encoding=\"euc-jp\"?>"), "EUC-JP");
    EXPECT_EQ(DeclaredEncoding("<?xml version='1.0' encoding='Shift_JIS'?>"), "SHIFT_JIS");
    EXPECT_EQ(DeclaredEncoding("\xEF\xBB\xBF<rss/>"), "UTF-8");
    EXPECT_EQ(DeclaredEncoding("<?xml version=\"1.0\"?><rss/>"), "");
}

TEST(FeedRepair, Utf8ValidityRejectsOverlongsSurrogatesAndCutSequences) {
    EXPECT_TRUE(IsValidUtf8("plain \xE6\x97\xA5 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(IsValidUtf8("cut \xE6\x97"));
    EXPECT_FALSE(IsValidUtf8("caf\xE9"));
}

TEST(FeedRepair, BytesThatDoNotFitAreReadInAnEncodingThatFits) {
    struct Case {
        std::string in;
        std::string encoding;
        std::string text;  // expected in the UTF-8 result
    };
    // 日本語のテキスト in each Japanese encoding, and a Latin text in windows-1252.
    for (const Case& c : {
             Case{"<rss><t>\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xC6\xA5\xAD\xA5\xB9\xA5\xC8</t></rss>", "EUC-JP",
                  "日本語のテキスト"},
             Case{"<rss><t>\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67</t></rss>", "Shift_JIS",
                  "日本語のテキスト"},
             Case{"<rss><t>\x1B$BF|K\\8l$N%F%-%9%H\x1B(B</t></rss>", "ISO-2022-JP", "日本語のテキスト"},
             Case{"<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><t>Not\xED" "cias \x93" "a\x94 \x80</t></rss>",
                  "windows-1252", "Notícias “a” €"},
         }) {
        SCOPED_TRACE(c.encoding);
        auto redecoded = RedecodeToFit(c.in);
        ASSERT_TRUE(redecoded);
        EXPECT_EQ(redecoded->encoding, c.encoding);
        EXPECT_NE(redecoded->utf8.find(c.text), std::string::npos) << redecoded->utf8;
        EXPECT_TRUE(IsValidUtf8(redecoded->utf8));
    }
    // The declaration is made to say what the bytes now are.
    auto latin = RedecodeToFit("<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xE9</a>");
    ASSERT_TRUE(latin);
    EXPECT_EQ(latin->utf8, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>");
    // Valid UTF-8, and encodings libxml2 reads itself, are left to it.
    EXPECT_FALSE(RedecodeToFit("<a>\xE6\x97\xA5</a>"));
    EXPECT_FALSE(RedecodeToFit("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>"));
}

}  // namespace
