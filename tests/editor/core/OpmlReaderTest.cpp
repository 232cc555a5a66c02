#include "OpmlReader.h"

#include "TreeDump.h"


#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Reader {
    OutlineNode tree;
    OpmlReader reader{tree};
    std::vector<std::string> messages;

    Reader() {
        reader.SetMessageSink([this](const std::string& m) { messages.push_back(m); });
    }
    XmlScanResult Read(std::string_view text) { return reader.ScanBuffer(text); }
};

std::string Opml(const std::string& body, const std::string& head = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"1.0\"><head>" + head +
           "</head><body>" + body + "</body></opml>";
}

struct Case {
    const char* name;
    std::string body;
    std::string tree;
};

TEST(OpmlReader, BuildsFoldersAndFeedItemsByTheOutlineRules) {
    const Case cases[] = {
        {"empty rss outline is a feed item",
         R"(<outline text="A" type="rss" xmlUrl="http://127.0.0.1/a" description="d" htmlUrl="http://127.0.0.1/"/>)",
         "item A | http://127.0.0.1/a | d | http://127.0.0.1/\n"},
        {"the same outline with a closing tag is a folder",
         R"(<outline text="A" type="rss" xmlUrl="http://127.0.0.1/a"></outline>)", "folder A\n"},
        {"non-empty title wins over text", R"(<outline title="T" text="X" type="rss"/>)",
         "item T |  |  | \n"},
        {"empty title falls back to text", R"(<outline title="" text="X" type="RSS"/>)",
         "item X |  |  | \n"},
        {"attribute names are case-sensitive", R"(<outline text="A" type="rss" xmlurl="http://127.0.0.1/"/>)",
         "item A |  |  | \n"},
        {"empty outline of another type is ignored",
         R"(<outline text="L" type="link" url="http://127.0.0.1/"/><outline text="N"/>)", ""},
        {"empty outline with a feed URL and no type is a feed item",
         R"(<outline text="L" xmlUrl="http://127.0.0.1/l"/>)", "item L | http://127.0.0.1/l |  | \n"},
        {"nesting",
         R"(<outline text="F"><outline text="G"><outline text="I" type="rss" xmlUrl="u"/></outline>)"
         R"(<outline text="J" type="rss"/></outline><outline text="K" type="rss"/>)",
         "folder F\n folder G\n  item I | u |  | \n item J |  |  | \nitem K |  |  | \n"},
        {"entities in attributes", R"(<outline text="A &amp; B &lt;3 &#x65E5;" type="rss"/>)",
         "item A & B <3 日 |  |  | \n"},
        {"element names are compared without case", R"(<OUTLINE TEXT="x" text="F"></OUTLINE>)",
         "folder F\n"},
    };
    for (const Case& c : cases) {
        Reader r;
        EXPECT_TRUE(r.Read(Opml(c.body)).ok) << c.name;
        EXPECT_EQ(DumpTree(r.tree), c.tree) << c.name;
    }
}

TEST(OpmlReader, OutcomeTellsOpmlWithFeedsFromEmptyOpmlFromNoOpml) {
    Reader r;
    r.Read(Opml(""));
    EXPECT_EQ(r.reader.Outcome(), OpmlScanOutcome::NoFeeds);
    EXPECT_EQ(OutcomeMessage(r.reader.Outcome()), "RSSが見つかりませんでした。");
    r.Read(Opml(R"(<outline text="A" type="rss"/>)"));
    EXPECT_EQ(r.reader.Outcome(), OpmlScanOutcome::Success);
    // An add to a non-empty tree always passes.
    r.Read(Opml(""));
    EXPECT_EQ(r.reader.Outcome(), OpmlScanOutcome::Success);

    Reader feed;
    feed.Read(Opml(R"(<outline text="A" type="rss"/>)"));
    feed.tree.Clear();
    feed.Read("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title></channel></rss>");
    EXPECT_EQ(feed.reader.Outcome(), OpmlScanOutcome::NotOpml);
    EXPECT_EQ(OutcomeMessage(feed.reader.Outcome()), "OPMLファイルではないようです。");
}

TEST(OpmlReader, NewOutlinesAreAppendedAtTheEndOfTheTopLevel) {
    Reader r;
    r.Read(Opml(R"(<outline text="F"><outline text="A" type="rss"/></outline>)"));
    r.Read(Opml(R"(<outline text="B" type="rss"/>)"));
    EXPECT_EQ(DumpTree(r.tree), "folder F\n item A |  |  | \nitem B |  |  | \n");
}

TEST(OpmlReader, HeadFieldsFillTheScratchHeadAndPersistBetweenScans) {
    Reader r;
    r.Read("<?xml version=\"1.0\"?>\n<?xml-stylesheet href=\"one.xsl\"?>"
           "<?xml-stylesheet type='text/xsl' href=\"two.xsl\"?><opml><head>"
           "<title>My &amp; feeds</title><dateCreated>Mon, 7 Dec 2026 03:05:09 GMT</dateCreated>"
           "<dateModified>Tue, 8 Dec 2026 00:00:00 GMT</dateModified>"
           "<ownerName>Hanako</ownerName><ownerEmail>h@example.jp</ownerEmail></head><body/></opml>");
    OpmlHead expected{"My & feeds", "Hanako", "h@example.jp", "Mon, 7 Dec 2026 03:05:09 GMT",
                      "Tue, 8 Dec 2026 00:00:00 GMT", "two.xsl"};
    EXPECT_EQ(r.reader.ScratchHead(), expected);
    r.Read(Opml("", "<title>Second</title>"));
    expected.title = "Second";
    EXPECT_EQ(r.reader.ScratchHead(), expected);
}

TEST(OpmlReader, VersionAndEncodingProblemsAreReportedAndReadingGoesOn) {
    Reader r;
    r.Read("<?xml version=\"1.1\"?><opml><body><outline text=\"A\" type=\"rss\"/></body></opml>");
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "XML 1.1はサポートしていません。");
    EXPECT_EQ(r.tree.ChildCount(), 1);

    Reader jis;
    jis.Read("<?xml version=\"1.0\" encoding=\"iso-2022-jp\"?><opml><body>"
             "<outline text=\"\x1B$BF|K\\\x1B(B\" type=\"rss\"/></body></opml>");
    ASSERT_EQ(jis.messages.size(), 1u);
    EXPECT_EQ(jis.messages[0], "ISO-2022-JPはサポートしていません。");
    EXPECT_EQ(jis.reader.DocumentEncoding(), "ISO-2022-JP");
    EXPECT_EQ(jis.tree.Child(0)->text, "\x1B$BF|K\\\x1B(B");
}

TEST(OpmlReader, JapaneseEncodedDocumentsBecomeUtf8Text) {
    Reader euc;
    euc.Read("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><opml><head><title>\xC6\xFC\xCB\xDC</title></head>"
             "<body><outline text=\"\xA5\xC6\xA5\xB9\xA5\xC8\" description=\"\xC0\xE2\xCC\xC0\" type=\"rss\"/>"
             "</body></opml>");
    EXPECT_TRUE(euc.messages.empty());
    EXPECT_EQ(DumpTree(euc.tree), "item テスト |  | 説明 | \n");
    EXPECT_EQ(euc.reader.ScratchHead().title, "日本");

    Reader sjis;
    sjis.Read("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><opml><body>"
              "<outline text=\"\x83\x65\x83\x58\x83\x67\" type=\"rss\"/></body></opml>");
    EXPECT_TRUE(sjis.messages.empty());
    EXPECT_EQ(DumpTree(sjis.tree), "item テスト |  |  | \n");
}

TEST(OpmlReader, CharacterReferencesSurviveEveryDocumentEncoding) {
    for (const char* encoding : {"UTF-8", "ISO-8859-1", "Shift_JIS", "EUC-JP"}) {
        SCOPED_TRACE(encoding);
        Reader r;
        r.Read(std::string("<?xml version=\"1.0\" encoding=\"") + encoding +
               "\"?><opml><body><outline text=\"caf&#233; &#x65E5;\" type=\"rss\"/></body></opml>");
        const std::string expected = std::string(encoding) == "ISO-8859-1" ? "café ?" : "caf? 日";
        EXPECT_EQ(r.tree.Child(0)->text, std::string(encoding) == "UTF-8" ? "café 日" : expected);
    }
}

TEST(OpmlReader, ADocumentWithoutDeclarationIsUtf8AfterAnotherEncoding) {
    Reader r;
    r.Read("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><opml><body><outline text=\"\x83\x65\" type=\"rss\"/></body></opml>");
    r.Read("<opml><body><outline text=\"日本\" type=\"rss\"/></body></opml>");
    EXPECT_EQ(r.tree.Child(1)->text, "日本");
}

TEST(OpmlReader, RssChannelFillsChannelInfoButItemsDoNot) {
    Reader r;
    r.Read("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Chan</title>"
           "<link>http://127.0.0.1/</link><description>About</description>"
           "<item><title>Item</title><link>http://127.0.0.1/1</link><description>x</description></item>"
           "<textInput><title>Search</title></textInput></channel></rss>");
    EXPECT_EQ(r.reader.Channel(), (ChannelInfo{"Chan", "http://127.0.0.1/", "About"}));
    EXPECT_EQ(r.tree.ChildCount(), 0);

    Reader rdf;
    rdf.Read("<?xml version=\"1.0\"?><rdf:RDF xmlns:rdf=\"x\"><channel><title>One</title>"
             "<link>http://127.0.0.1/one</link><description>D</description></channel>"
             "<item><title>no</title></item></rdf:RDF>");
    EXPECT_EQ(rdf.reader.Channel(), (ChannelInfo{"One", "http://127.0.0.1/one", "D"}));
}

TEST(OpmlReader, ChannelFieldsAFeedLacksKeepTheSelectedNodeValues) {
    Reader r;
    r.Read(Opml(R"(<outline text="Old" type="rss" xmlUrl="u" description="old d" htmlUrl="http://127.0.0.1/old"/>)"));
    const OutlineNode& selected = *r.tree.Child(0);
    r.reader.SetNodeBoxesProvider([&selected] {
        return ChannelInfo{selected.text, selected.data->htmlUrl, selected.data->description};
    });
    r.Read("<?xml version=\"1.0\"?><rss><channel><title>New</title></channel></rss>");
    EXPECT_EQ(r.reader.Channel(), (ChannelInfo{"New", "http://127.0.0.1/old", "old d"}));

    r.reader.SetNodeBoxesProvider([] { return ChannelInfo{"box t", "box l", "box d"}; });
    r.Read("<?xml version=\"1.0\"?><rss><channel><link>L</link></channel></rss>");
    EXPECT_EQ(r.reader.Channel(), (ChannelInfo{"box t", "L", "box d"}));
}

TEST(OpmlReader, MalformedDocumentKeepsTheNodesReadBeforeTheError) {
    Reader r;
    const XmlScanResult result =
        r.Read(Opml(R"(<outline text="A" type="rss"/><outline text="F"><outline text="B" type="rss"/>)"
                    R"(<outline text="C" type="rss" xmlUrl="a&b"/></outline>)"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(DumpTree(r.tree), "item A |  |  | \nfolder F\n item B |  |  | \n");
    // The next scan starts at the top level again.
    r.Read(Opml(R"(<outline text="D" type="rss"/>)"));
    EXPECT_EQ(r.tree.Child(2)->text, "D");
}

}  // namespace
