// ParseFeed on bytes in memory, grouped by what real feeds and hostile documents do.
#include "FeedParser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const FeedSource kSource{"http://example.org/blog/feed.xml", ""};

FeedParseResult Parse(const std::string& bytes) { return ParseFeed(bytes, kSource); }

std::string Rss2(const std::string& items, const std::string& namespaces = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"" + namespaces +
           "><channel><title>Chan</title>" + items + "</channel></rss>\n";
}

std::string BodyText(const FeedItem& item) {
    std::string text;
    for (const auto& piece : item.body) text += (piece.isHtml ? "[html]" : "[text]") + piece.text;
    return text;
}

// --- Formats, matched by namespace URI and local name ---

TEST(FeedParse, AnyPrefixNamesTheSameElements) {
    auto atom = Parse(
        "<atom:feed xmlns:atom=\"http://www.w3.org/2005/Atom\"><atom:title>Prefixed</atom:title>"
        "<atom:entry><atom:title>E</atom:title><atom:link href=\"http://x/e\"/>"
        "<atom:updated>2005-07-31T12:29:29Z</atom:updated></atom:entry></atom:feed>");
    ASSERT_TRUE(atom.ok) << atom.error;
    EXPECT_EQ(atom.feed.format, FeedFormat::Atom);
    ASSERT_EQ(atom.feed.items.size(), 1u);
    EXPECT_EQ(atom.feed.items[0].channelTitle, "Prefixed");
    EXPECT_EQ(atom.feed.items[0].link, "http://x/e");
    ASSERT_EQ(atom.feed.items[0].dates.size(), 1u);
    EXPECT_TRUE(atom.feed.items[0].dates[0].w3c);

    // RSS 1.0 whose default namespace is XHTML, the RSS elements under a prefix.
    auto rdf = Parse(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://www.w3.org/1999/xhtml\" "
        "xmlns:rss=\"http://purl.org/rss/1.0/\" xmlns:d=\"http://purl.org/dc/elements/1.1/\">"
        "<rss:channel><rss:title>RDF</rss:title></rss:channel>"
        "<rss:item><rss:title>A</rss:title><rss:link>http://x/a</rss:link><d:date>2005-01-02T03:04:05+09:00</d:date></rss:item>"
        "<item><title>not RSS</title></item></rdf:RDF>");
    ASSERT_TRUE(rdf.ok) << rdf.error;
    ASSERT_EQ(rdf.feed.items.size(), 1u);
    EXPECT_EQ(rdf.feed.items[0].channelTitle, "RDF");
    EXPECT_EQ(rdf.feed.items[0].dates.at(0).text, "2005-01-02T03:04:05+09:00");
}

TEST(FeedParse, RssChannelTitleAndItemsKeepTheirOldRules) {
    // An RSS 2.0 title after the items still names them; RSS 1.0 items take the title of
    // the last channel met before them.
    auto rss = Parse("<rss version=\"2.0\"><channel><item><title>I</title></item><title>Late</title></channel></rss>");
    ASSERT_EQ(rss.feed.items.size(), 1u);
    EXPECT_EQ(rss.feed.items[0].channelTitle, "Late");
    auto rdf = Parse(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\">"
        "<item><title>before</title></item><channel><title>C</title></channel><item><title>after</title></item></rdf:RDF>");
    ASSERT_EQ(rdf.feed.items.size(), 2u);
    EXPECT_EQ(rdf.feed.items[0].channelTitle, "");
    EXPECT_EQ(rdf.feed.items[1].channelTitle, "C");
    // A title is all its text, a comment between its pieces left out; a link is only
    // its first child node.
    auto split = Parse(Rss2("<item><title>first<!--x-->second</title><link><b>el</b></link></item>"));
    EXPECT_EQ(split.feed.items.at(0).title, "firstsecond");
    EXPECT_EQ(split.feed.items.at(0).link, "");
    // An undeclared dc prefix is still Dublin Core, as it always was.
    auto sloppy = Parse(Rss2("<item><dc:date>2005-01-02T03:04:05Z</dc:date></item>"));
    ASSERT_EQ(sloppy.feed.items.size(), 1u);
    EXPECT_EQ(sloppy.feed.items[0].dates.at(0).text, "2005-01-02T03:04:05Z");
}

TEST(FeedParse, DocumentsThatAreNoFeedAreFailuresWithAReason) {
    EXPECT_FALSE(Parse("").ok);
    EXPECT_FALSE(Parse("<opml version=\"1.0\"><body/></opml>").ok);
    EXPECT_FALSE(Parse("<html><body>not a feed</body></html>").ok);
    auto noChannel = Parse("<rss version=\"2.0\"></rss>");
    EXPECT_FALSE(noChannel.ok);
    EXPECT_EQ(noChannel.feed.format, FeedFormat::Rss2);
    // Items straight under rss, and rss without a version, are read all the same.
    auto bare = Parse("<rss><item><title>T</title></item></rss>");
    ASSERT_TRUE(bare.ok);
    EXPECT_EQ(bare.feed.items.size(), 1u);
}

// --- Recovery from the faults of real servers ---

TEST(FeedParse, JunkBeforeTheDeclarationIsSkippedAndNoted) {
    auto result = Parse("\n  \n" + Rss2("<item><title>T</title></item>"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.feed.items.size(), 1u);
    EXPECT_EQ(result.notes.size(), 1u);
    // A well-formed document needs no note.
    EXPECT_TRUE(Parse(Rss2("<item><title>T</title></item>")).notes.empty());
}

TEST(FeedParse, HtmlEntitiesAndBareAmpersandsAreRead) {
    auto result = Parse(Rss2(
        "<item><title>Caf&eacute;&nbsp;cr&egrave;me &#X41;</title><link>http://x/?a=1&b=2</link></item>"
        "<item><title>second</title></item>"));
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.feed.items.size(), 2u);
    EXPECT_EQ(result.feed.items[0].title, "Café\xC2\xA0" "crème A");
    EXPECT_EQ(result.feed.items[0].link, "http://x/?a=1&b=2");
    // With a DOCTYPE libxml2 only warns of an unknown entity; it is read all the same.
    auto doctype = Parse(
        "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
        "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">" +
        Rss2("<item><title>a&nbsp;b</title></item>").substr(39));
    ASSERT_EQ(doctype.feed.items.size(), 1u);
    EXPECT_EQ(doctype.feed.items[0].title, "a\xC2\xA0" "b");
}

TEST(FeedParse, ItemsAfterAnElementLeftOpenStillBelongToTheChannel) {
    auto result = Parse("<rss version=\"2.0\"><channel><title>C</title><category text=\"a\">"
                        "<item><title>one</title><item/></item><item><title>two</title></item></channel></rss>");
    ASSERT_EQ(result.feed.items.size(), 2u);
    EXPECT_EQ(result.feed.items[1].title, "two");
    EXPECT_EQ(result.feed.items[1].channelTitle, "C");
}

TEST(FeedParse, ACutOffDocumentGivesTheItemsCompletedBeforeTheBreak) {
    const std::string whole = Rss2("<item><title>one</title></item><item><title>two</title></item>"
                                   "<item><title>three</title><description>cut here");
    const std::string cut = whole.substr(0, whole.find("cut here") + 4);
    auto result = Parse(cut);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.feed.items.size(), 2u);
    EXPECT_EQ(result.feed.items[1].title, "two");
    EXPECT_EQ(result.feed.items[0].channelTitle, "Chan");
    EXPECT_FALSE(result.notes.empty());
}

TEST(FeedParse, BytesNotInTheDeclaredEncodingAreReadInOneThatFitsAndTheNoteSaysWhich) {
    // windows-1252 declared as UTF-8, and EUC-JP without any declaration.
    auto latin = Parse(Rss2("<item><title>Not\xED" "cias</title></item>"));
    ASSERT_TRUE(latin.ok) << latin.error;
    EXPECT_EQ(latin.feed.items.at(0).title, "Notícias");
    ASSERT_FALSE(latin.notes.empty());
    EXPECT_NE(latin.notes.back().find("windows-1252"), std::string::npos);
    auto euc = Parse("<rss version=\"2.0\"><channel><title>\xC6\xFC\xCB\xDC\xA4\xCE</title>"
                     "<item><title>\xA5\xC6\xA5\xB9\xA5\xC8</title></item></channel></rss>");
    ASSERT_TRUE(euc.ok) << euc.error;
    EXPECT_EQ(euc.feed.title, "日本の");
    EXPECT_EQ(euc.feed.items.at(0).title, "テスト");
    EXPECT_NE(euc.notes.back().find("EUC-JP"), std::string::npos);
}

TEST(FeedParse, TextsAsTheEarlierParserReadThemAreKeptForDeliveredRecords) {
    // Under a DOCTYPE an unknown entity was dropped; the title now has it decoded.
    auto result = Parse("<!DOCTYPE rss SYSTEM \"http://example.org/rss.dtd\">"
                        "<rss version=\"0.91\"><channel><item><title>Und tsch&uuml;ss.</title></item>"
                        "<item><title>plain</title></item></channel></rss>");
    ASSERT_EQ(result.feed.items.size(), 2u);
    EXPECT_EQ(result.feed.items[0].title, "Und tschüss.");
    EXPECT_EQ(result.feed.items[0].legacyTitle, "Und tschss.");
    EXPECT_EQ(result.feed.items[1].legacyTitle, "");
    // Shift_JIS is read with the CP932 table: 0x8160 is U+FF5E, not U+301C.
    auto sjis = Parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><rss version=\"2.0\"><channel>"
                      "<item><title>\x82\xA0\x81\x60</title></item></channel></rss>");
    ASSERT_EQ(sjis.feed.items.size(), 1u);
    EXPECT_EQ(sjis.feed.items[0].title, "あ\xEF\xBD\x9E");
    EXPECT_TRUE(sjis.notes.empty());
}

TEST(FeedParse, ReplacementCharactersMadeWhileDecodingAreNoted) {
    // Shift_JIS with a pair of an empty row: one U+FFFD, and a note that says so.
    auto sjis = Parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><rss version=\"2.0\"><channel>"
                      "<item><title>\x82\xA0\x85\x40\x82\xA2</title></item></channel></rss>");
    ASSERT_EQ(sjis.feed.items.size(), 1u);
    EXPECT_EQ(sjis.feed.items[0].title, "あ\uFFFD@い");
    EXPECT_EQ(sjis.notes, std::vector<std::string>{"Shift_JISとして読めないバイト列1箇所をU+FFFD(\uFFFD)に置き換えました。"});
    // windows-1252 has no letter for 0x81 and 0x9D.
    auto latin = Parse(Rss2("<item><title>Caf\xE9 \x81\x9D</title></item>"));
    ASSERT_EQ(latin.feed.items.size(), 1u);
    EXPECT_EQ(latin.feed.items[0].title, "Café \uFFFD\uFFFD");
    ASSERT_FALSE(latin.notes.empty());
    EXPECT_NE(latin.notes.back().find("windows-1252として読めないバイト列2箇所"), std::string::npos) << latin.notes.back();
    // A U+FFFD the document holds as a character is no repair.
    EXPECT_TRUE(Parse(Rss2("<item><title>\uFFFD &#xFFFD;</title></item>")).notes.empty());
}

// --- Titles ---

TEST(FeedParse, ATitleIsAllItsTextAndCdataTrimmed) {
    struct Case {
        const char* title;
        const char* text;
        std::optional<std::string> raw;  // as the version before read it, when it differs
    };
    const Case cases[] = {
        {"\n      <![CDATA[Pretty-printed <CDATA> title]]>\n    ", "Pretty-printed <CDATA> title", "\n      "},
        {"Tom &amp; <![CDATA[Jerry]]> show", "Tom & Jerry show", "Tom & "},
        {"  blanks around  ", "blanks around", "  blanks around  "},
        // Adjacent sections were one node to that version as well.
        {"<![CDATA[one]]><![CDATA[two]]>", "onetwo", std::nullopt},
        {"\n\t \n", "", "\n\t \n"},
        {"plain", "plain", std::nullopt},
        {"<![CDATA[ kept inside ]]>", "kept inside", " kept inside "},
        {"line one&#13;&#10;line two", "line one\r\nline two", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        for (const std::string& document :
             {Rss2(std::string("<item><title>") + c.title + "</title></item>"),
              std::string("<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>") + c.title +
                  "</title></entry></feed>"}) {
            auto result = Parse(document);
            ASSERT_EQ(result.feed.items.size(), 1u);
            EXPECT_EQ(result.feed.items[0].title, c.text);
            EXPECT_EQ(result.feed.items[0].rawTitle, c.raw);
        }
    }
    // The feed's own title too: it names the sender.
    EXPECT_EQ(Parse("<rss version=\"2.0\"><channel><title>\n <![CDATA[Chan & co]]>\n</title></channel></rss>").feed.title,
              "Chan & co");
}

TEST(FeedParse, AtomAndRss1TitlesFollowTheirType) {
    const std::string atom = "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title type=\"html\">Caf&amp;eacute; &amp;amp; co</title>";
    auto result = Parse(
        atom +
        "<entry><title type=\"html\">Caf&amp;eacute; &amp;amp; tea &amp;lt;notes&amp;gt;</title></entry>"
        "<entry><title type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">Bold <b>move</b> &amp; "
        "more<br/>next</div></title></entry>"
        "<entry><title type=\"html\"><![CDATA[<em>CDATA</em>  &copy; 2026 <script>x()</script>]]></title></entry>"
        "<entry><title type=\"text\">&lt;b&gt;kept&lt;/b&gt; &amp;amp;</title></entry>"
        "<entry><title type=\"text/html\" mode=\"escaped\">Atom 0.3 &amp;eacute;</title></entry></feed>");
    ASSERT_EQ(result.feed.items.size(), 5u);
    EXPECT_EQ(result.feed.title, "Café & co");
    EXPECT_EQ(result.feed.items[0].title, "Café & tea <notes>");
    EXPECT_EQ(result.feed.items[0].rawTitle, "Caf&eacute; &amp; tea &lt;notes&gt;");
    EXPECT_EQ(result.feed.items[1].title, "Bold move & more next");
    EXPECT_EQ(result.feed.items[1].rawTitle, "");
    EXPECT_EQ(result.feed.items[2].title, "CDATA © 2026");
    EXPECT_EQ(result.feed.items[3].title, "<b>kept</b> &amp;");
    EXPECT_EQ(result.feed.items[4].title, "Atom 0.3 é");

    auto rdf = Parse(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\">"
        "<item><title type=\"html\">&lt;em&gt;Typed&lt;/em&gt; &amp;amp; escaped</title></item></rdf:RDF>");
    ASSERT_EQ(rdf.feed.items.size(), 1u);
    EXPECT_EQ(rdf.feed.items[0].title, "Typed & escaped");
    // RSS 2.0 titles are text, whatever attribute they carry.
    auto rss = Parse(Rss2("<item><title type=\"html\">&lt;em&gt;x&lt;/em&gt;</title></item>"));
    ASSERT_EQ(rss.feed.items.size(), 1u);
    EXPECT_EQ(rss.feed.items[0].title, "<em>x</em>");
}

TEST(FeedParse, EntityEscapedHtmlInADescriptionIsHtml) {
    const std::string ns = " xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"";
    auto result = Parse(Rss2(
        "<item><description>&lt;p&gt;Hello &amp;amp; &lt;a href=\"/x\"&gt;bye&lt;/a&gt;&lt;/p&gt;</description></item>"
        "<item><description>Caf&amp;eacute; only an entity</description></item>"
        "<item><description>Line one\nline two, a &lt; b &amp;&amp; c &gt; d, AT&amp;T</description></item>"
        "<item><description><![CDATA[<b>cdata</b>]]></description></item>"
        "<item><content:encoded>&lt;p&gt;escaped full text&lt;/p&gt;</content:encoded></item>",
        ns));
    ASSERT_EQ(result.feed.items.size(), 5u);
    EXPECT_EQ(BodyText(result.feed.items[0]),
              "[html]<p>Hello &amp; <a href=\"http://example.org/x\">bye</a></p>");
    EXPECT_EQ(BodyText(result.feed.items[1]), "[html]Caf&eacute; only an entity");
    EXPECT_EQ(BodyText(result.feed.items[2]), "[text]Line one\nline two, a < b && c > d, AT&T");
    EXPECT_EQ(BodyText(result.feed.items[3]), "[html]<b>cdata</b>");
    EXPECT_EQ(BodyText(result.feed.items[4]), "[html]<p>escaped full text</p>");
    auto rdf = Parse(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\">"
        "<item><description>&lt;p&gt;RSS 1.0&lt;/p&gt;</description></item></rdf:RDF>");
    ASSERT_EQ(rdf.feed.items.size(), 1u);
    EXPECT_EQ(BodyText(rdf.feed.items[0]), "[html]<p>RSS 1.0</p>");
}

// --- Content, links and enclosures ---

TEST(FeedParse, TheBodyIsTheFullestTextOfTheItem) {
    const std::string ns = " xmlns:content=\"http://purl.org/rss/1.0/modules/content/\" xmlns:x=\"http://www.w3.org/1999/xhtml\"";
    auto result = Parse(Rss2(
        "<item><description>short</description><content:encoded><![CDATA[<p>full</p>]]></content:encoded></item>"
        "<item><description>short</description><x:body><x:p class=\"a\">x<x:br/></x:p></x:body></item>"
        "<item><description>plain<![CDATA[<b>html</b>]]></description><content:encoded> </content:encoded></item>",
        ns));
    ASSERT_EQ(result.feed.items.size(), 3u);
    EXPECT_EQ(BodyText(result.feed.items[0]), "[html]<p>full</p>");
    EXPECT_EQ(BodyText(result.feed.items[1]), "[html]<x:p class=\"a\">x<x:br/></x:p>");
    EXPECT_EQ(BodyText(result.feed.items[2]), "[text]plain[html]<b>html</b>");
}

TEST(FeedParse, AtomContentGivesItsPiecesByType) {
    auto result = Parse(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>A</title>"
        "<entry><content type=\"html\">&lt;p&gt;hi&lt;/p&gt;</content></entry>"
        "<entry><content type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\"><p>x<em>y</em></p><p></p></div></content></entry>"
        "<entry><content><![CDATA[<b>c</b>]]></content></entry>"
        "<entry><content/><summary>fallback</summary></entry></feed>");
    ASSERT_EQ(result.feed.items.size(), 4u);
    EXPECT_EQ(BodyText(result.feed.items[0]), "[html]<p>hi</p>");
    EXPECT_EQ(BodyText(result.feed.items[1]), "[html]<p>x<em>y</em></p><p/>");
    EXPECT_EQ(BodyText(result.feed.items[2]), "[text]<b>c</b>");
    EXPECT_EQ(BodyText(result.feed.items[3]), "[text]fallback");
}

TEST(FeedParse, RelativeLinksAreResolvedAgainstXmlBaseAndTheDocument) {
    auto rss = Parse(Rss2(
        "<item><link>/post/1</link><description><![CDATA[<a href=\"img/a.png\">a</a> <a href='http://o/'>o</a>]]></description></item>"
        "<item><link>http://abs/2</link></item>"));
    ASSERT_EQ(rss.feed.items.size(), 2u);
    EXPECT_EQ(rss.feed.items[0].link, "http://example.org/post/1");
    EXPECT_EQ(rss.feed.items[0].rawLink, "/post/1");
    EXPECT_EQ(BodyText(rss.feed.items[0]), "[html]<a href=\"http://example.org/blog/img/a.png\">a</a> <a href='http://o/'>o</a>");
    EXPECT_EQ(rss.feed.items[1].link, "http://abs/2");
    EXPECT_EQ(rss.feed.items[1].rawLink, "");

    auto atom = Parse(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:base=\"http://127.0.0.1/base/\">"
        "<entry xml:base=\"entries/\"><link href=\"e1.html\"/></entry>"
        "<entry><link rel=\"replies\" href=\"c\"/><link href=\"/abs\"/></entry></feed>");
    ASSERT_EQ(atom.feed.items.size(), 2u);
    EXPECT_EQ(atom.feed.items[0].link, "http://127.0.0.1/base/entries/e1.html");
    EXPECT_EQ(atom.feed.items[1].link, "http://127.0.0.1/abs");
}

TEST(FeedParse, EnclosuresAreKeptWithTypeAndSize) {
    auto rss = Parse(Rss2("<item><enclosure url=\"ep1.mp3\" type=\"audio/mpeg\" length=\"1234\"/>"
                          "<enclosure url=\"http://x/v.mp4\"/></item>"));
    ASSERT_EQ(rss.feed.items.at(0).enclosures.size(), 2u);
    EXPECT_EQ(rss.feed.items[0].enclosures[0].url, "http://example.org/blog/ep1.mp3");
    EXPECT_EQ(rss.feed.items[0].enclosures[0].type, "audio/mpeg");
    EXPECT_EQ(rss.feed.items[0].enclosures[0].length, 1234);
    EXPECT_EQ(rss.feed.items[0].enclosures[1].length, -1);
    auto atom = Parse("<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><link href=\"http://x/p\"/>"
                      "<link rel=\"enclosure\" href=\"http://x/a.ogg\" type=\"audio/ogg\" length=\"9\"/></entry></feed>");
    ASSERT_EQ(atom.feed.items.at(0).enclosures.size(), 1u);
    EXPECT_EQ(atom.feed.items[0].link, "http://x/p");
    EXPECT_EQ(atom.feed.items[0].enclosures[0].length, 9);
}

// --- Hostile documents ---

std::string Nested(const std::string& open, const std::string& close, size_t depth) {
    std::string out;
    out.reserve(depth * (open.size() + close.size()));
    for (size_t i = 0; i < depth; ++i) out += open;
    for (size_t i = 0; i < depth; ++i) out += close;
    return out;
}

TEST(FeedParse, AMillionNestedElementsNeitherCrashNorLoseTheItemsBefore) {
    const std::string deep = Nested("<b>", "</b>", 1000000);
    auto atom = Parse("<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>A</title><entry><title>ok</title></entry>"
                      "<entry><content type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">" + deep +
                      "</div></content></entry></feed>");
    // Past the depth that is still read the document is read no further: memory
    // must not grow with a nesting that is all there is to the document.
    ASSERT_EQ(atom.feed.items.size(), 1u);
    EXPECT_EQ(atom.feed.items[0].title, "ok");
    auto rss = Parse(Rss2("<item><title>ok</title></item><item><description>" + deep + "</description></item>"));
    ASSERT_EQ(rss.feed.items.size(), 1u);
    EXPECT_EQ(rss.feed.items[0].title, "ok");
}

TEST(FeedParse, NestingDeeperThanAnyPageIsReadAsItsText) {
    auto atom = Parse("<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><content type=\"xhtml\">"
                      "<div xmlns=\"http://www.w3.org/1999/xhtml\">" + Nested("<b>", "</b>", 1000).insert(3000, "deep") +
                      "</div></content></entry><entry><title>next</title></entry></feed>");
    ASSERT_EQ(atom.feed.items.size(), 2u);
    EXPECT_NE(BodyText(atom.feed.items[0]).find("deep"), std::string::npos);
    EXPECT_EQ(atom.feed.items[1].title, "next");
}

TEST(FeedParse, EntitiesADocumentDeclaresAreNeverExpandedNorLoaded) {
    std::string laughs = "<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c)
        laughs += std::string("<!ENTITY ") + c + " \"&" + char(c - 1) + ";&" + char(c - 1) + ";&" + char(c - 1) + ";\">";
    laughs += "<!ENTITY file SYSTEM \"file:///etc/passwd\">]>";
    auto result = Parse(laughs + "<rss version=\"2.0\"><channel><item><title>x&k;y</title>"
                                 "<description>&file;</description></item></channel></rss>");
    ASSERT_EQ(result.feed.items.size(), 1u);
    EXPECT_LT(result.feed.items[0].title.size(), 100u);
    EXPECT_EQ(BodyText(result.feed.items[0]).find("root:"), std::string::npos);
}

}  // namespace
