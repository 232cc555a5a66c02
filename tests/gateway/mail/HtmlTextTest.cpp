#include "HtmlText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct HtmlCase {
    const char* html;
    const char* text;
};

void ExpectRendered(const HtmlCase* begin, const HtmlCase* end) {
    for (const HtmlCase* c = begin; c != end; ++c) EXPECT_EQ(HtmlToText(c->html), c->text) << c->html;
}

template <std::size_t N>
void ExpectRendered(const HtmlCase (&cases)[N]) {
    ExpectRendered(cases, cases + N);
}

TEST(HtmlText, BlocksAreParagraphsWithOneEmptyLineBetween) {
    const HtmlCase cases[] = {
        {"<p>Hello<br>World</p>", "Hello\nWorld"},
        {"<p>one</p><p>two</p>", "one\n\ntwo"},
        {"<div><div><p>deep</p></div></div><p></p><div></div>after", "deep\n\nafter"},
        {"before<h2>Heading</h2>after", "before\n\nHeading\n\nafter"},
        {"<blockquote>quoted</blockquote><hr>rest", "quoted\n\nrest"},
        {"a<br><br>b<br>", "a\n\nb"},
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a b\nc"},
        {"", ""},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, ListItemsAreBulletsOrNumbers) {
    const HtmlCase cases[] = {
        {"<ul><li>one</li><li>two</li></ul>after", "* one\n* two\n\nafter"},
        {"<ol><li>first<li>second</ol>", "1. first\n2. second"},
        {"<ol start=\"7\"><li>seven</li></ol>", "7. seven"},
        {"<ul><li>outer<ol><li>a</li><li>b</li></ol></li><li>next</li></ul>",
         "* outer\n  1. a\n  2. b\n* next"},
        {"<li>stray</li>", "* stray"},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, LinksAreNumberedAndListedAtTheEnd) {
    const HtmlCase cases[] = {
        {"<p>See <a href=\"http://a/\">this</a> and <a href=\"http://b/\">that</a>, "
         "<a href=\"http://a/\">again</a>.</p>",
         "See this[1] and that[2], again[1].\n\n[1] http://a/\n[2] http://b/"},
        {"<a href=\"#top\">top</a> <a href=\"javascript:go()\">go</a> <a name=x>anchor</a>",
         "top go anchor"},
        {"<a href=\" http://spaced/ \"></a>", "[1]\n\n[1] http://spaced/"},
    };
    ExpectRendered(cases);
    // Pieces of one message share one numbering.
    HtmlLinks links;
    EXPECT_EQ(RenderHtmlText("<a href=\"http://x/\">x</a>", links), "x[1]");
    EXPECT_EQ(RenderHtmlText("<a href=\"http://y/\">y</a><a href=\"http://x/\">x</a>", links), "y[2]x[1]");
    EXPECT_EQ(links.ListText(), "\n\n[1] http://x/\n[2] http://y/");
}

TEST(HtmlText, ARepeatedUrlKeepsItsNumberAmongThousands) {
    std::string html;
    for (int i = 0; i < 50000; ++i) html += "<a href=\"http://x/" + std::to_string(i % 25000) + "\">x</a>";
    HtmlLinks links;
    const std::string text = RenderHtmlText(html, links);
    EXPECT_EQ(links.Urls().size(), 25000u);
    EXPECT_TRUE(text.ends_with("x[25000]")) << text.substr(text.size() - 40);
}

TEST(HtmlText, EntitiesAreDecoded) {
    const HtmlCase cases[] = {
        {"Caf&eacute; cr&#232;me &amp; &lt;tag&gt; &quot;q&quot; &#x65E5;", "Café crème & <tag> \"q\" 日"},
        {"Read full article&nbsp;&nbsp;&gt;&gt;", "Read full article  >>"},
        {"AT&T &unknown; 5 < 6", "AT&T &unknown; 5 < 6"},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, WhiteSpaceFolds) {
    const HtmlCase cases[] = {
        {"  text   with \t  spaces\n and\r\n lines  ", "text with spaces and lines"},
        {"<p>   </p>\n\n   <p>  x  </p>   \n", "x"},
        {"<b>bold</b><i>italic</i> <b> spaced </b>end", "bolditalic spaced end"},
        {"plain text\nover two lines", "plain text over two lines"},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, PreIsKeptAsItStands) {
    const HtmlCase cases[] = {
        {"<pre>\n  code  here\n\n   x</pre>after", "  code  here\n\n   x\n\nafter"},
        {"<pre>a\r\nb\rc</pre>", "a\nb\nc"},
        {"<pre><b>  bold  </b> x</pre>", "  bold   x"},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, ImagesShowTheirAltText) {
    const HtmlCase cases[] = {
        {"<img src=\"c.png\" alt=\"A cat\"><img src=\"d.png\">", "[image: A cat] [image]"},
        {"text<img alt=\" in\nline \">more", "text [image: in line] more"},
        {"<a href=\"http://a/\"><img alt=\"logo\"></a>", "[image: logo][1]\n\n[1] http://a/"},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, ScriptStyleAndCommentsAreDropped) {
    const HtmlCase cases[] = {
        {"<script>bad()</script><style>p{color:red}</style><!-- note -->shown", "shown"},
        {"<head><title>T</title></head><body>body</body>", "body"},
        {"a<script>document.write('<p>x</p>')</script>b", "ab"},
    };
    ExpectRendered(cases);
}

TEST(HtmlText, BrokenHtmlStillReads) {
    const HtmlCase cases[] = {
        {"<p>unclosed <b>bold <i>it<p>next", "unclosed bold it\n\nnext"},
        {"tail <unclosed", "tail"},
        {"</p></div>stray closers</b>", "stray closers"},
        {"a > b <br/> c", "a > b\nc"},
        {"<p <p>>x", ">x"},
        // Invalid UTF-8 and NUL read as U+FFFD instead of stopping the parser.
        {"ok \xff\xfe still", "ok \xef\xbf\xbd\xef\xbf\xbd still"},
    };
    for (const HtmlCase& c : cases) EXPECT_EQ(HtmlToText(c.html), c.text) << c.html;
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(HtmlToText(withNul), "a\xef\xbf\xbd" "b");
}

std::string Nested(int levels) {
    std::string html = "top";
    for (int i = 0; i < levels; ++i) html += "<div><ul><li>";
    return html + "bottom";
}

TEST(HtmlText, DeepNestingNeitherCrashesNorGrowsLines) {
    // Nested lists indent up to a limit, so no line grows with the depth.
    const std::string text = HtmlToText(Nested(40));
    EXPECT_NE(text.find("bottom"), std::string::npos);
    std::size_t longest = 0;
    for (std::size_t at = 0, end; at <= text.size(); at = end + 1) {
        end = std::min(text.find('\n', at), text.size());
        longest = std::max(longest, end - at);
    }
    EXPECT_LE(longest, 30u);
    // Far deeper than the parser follows: what it read is kept, nothing overflows.
    const std::string hostile = Nested(300000);
    EXPECT_TRUE(HtmlToText(hostile).starts_with("top"));
}

TEST(HtmlText, NoLineIsLongerThan998Octets) {
    std::string words;
    while (words.size() < 3000) words += "word ";
    std::string kanji;
    for (int i = 0; i < 800; ++i) kanji += "漢";
    for (const std::string& text : {HtmlToText("<p>" + words + "</p>"), HtmlToText(kanji)}) {
        for (std::size_t at = 0, end; at <= text.size(); at = end + 1) {
            end = std::min(text.find('\n', at), text.size());
            EXPECT_LE(end - at, 998u);
        }
    }
    // A line without blanks is cut between characters, never inside one.
    const std::string cut = HtmlToText(kanji);
    EXPECT_EQ(cut.substr(0, cut.find('\n')).size(), 996u);
    EXPECT_EQ(BreakLongLines("aaaa bb cc\nshort", 6), "aaaa\nbb cc\nshort");
}

}  // namespace
