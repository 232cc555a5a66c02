// Documents arriving as a feed's reply, made into messages and filed as offered or delivered.
#include "CorpusFolder.h"
#include "FeedTestSupport.h"
#include "RssHandler.h"

#include "EncodingNormaliser.h"
#include "FeedFolder.h"
#include "ItemUid.h"
#include "MailHeaders.h"

#include <gtest/gtest.h>

#include <iostream>
#include <set>

namespace {

using namespace feedtest;

const std::string kUrl = "http://127.0.0.1:9/feed.xml";

class FeedParser : public AppDirTest {
protected:
    std::shared_ptr<RssHandler> ParseDocument(const std::string& document, bool enableHtml = false,
                                              const std::string& url = kUrl,
                                              MailCharset charset = MailCharset::Auto) {
        auto handler = std::make_shared<RssHandler>(Context(), url, true, enableHtml, charset);
        Receive(*handler, document);
        return handler;
    }
    // Delivers every pending message of the handler, as DELE of all and QUIT do.
    void DeliverAll(RssHandler& handler) { EXPECT_TRUE(Record(handler, RecordsOf(handler, Pending(handler)))); }
};

TEST_F(FeedParser, Rss2ItemsGiveTitleLinkDateAndBodyPieces) {
    auto handler = ParseDocument(
        "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Chan &amp; co</title>"
        "<item><title>T&#x65E5;</title><link>http://x/1</link><pubDate>Sat, 01 Jan 2005 00:00:00 GMT</pubDate>"
        "<description>plain<![CDATA[<b>html</b>]]></description></item>"
        "<item><title/><link>http://x/2</link></item></channel></rss>");
    ASSERT_EQ(Pending(*handler).size(), 2u);
    const auto& first = Pending(*handler)[0];
    EXPECT_EQ(handler->GetFeed()->title, "Chan & co");
    EXPECT_EQ(first->GetSender(), "Chan & co");
    EXPECT_EQ(first->GetSubject(), "T\xE6\x97\xA5");
    EXPECT_EQ(first->GetLink(), "http://x/1");
    EXPECT_EQ(first->GetDate(), "Sat, 01 Jan 2005 00:00:00 +0000");
    EXPECT_FALSE(first->HasTime());
    const std::string text = first->GetText();
    EXPECT_NE(text.find("plain"), std::string::npos);
    EXPECT_NE(text.find("html"), std::string::npos);
    EXPECT_EQ(text.find("<b>"), std::string::npos);  // html mail is off: reduced to text
    EXPECT_EQ(Pending(*handler)[1]->GetSubject(), "");
}

TEST_F(FeedParser, Rss1ItemsAreChildrenOfTheRootAndDcDateSetsHasTime) {
    auto handler = ParseDocument(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>RDF</title></channel>"
        "<item><title>A</title><link>http://x/a</link><dc:date>2005-01-02T03:04:05+09:00</dc:date></item>"
        "<item><title>B</title><link>http://x/b</link></item></rdf:RDF>");
    ASSERT_EQ(Pending(*handler).size(), 2u);
    EXPECT_EQ(Pending(*handler)[0]->GetSender(), "RDF");
    EXPECT_TRUE(Pending(*handler)[0]->HasTime());
    EXPECT_FALSE(Pending(*handler)[1]->HasTime());
}

TEST_F(FeedParser, Atom10EntriesTakeUpdatedTheAlternateLinkAndTheirContent) {
    auto handler = ParseDocument(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Atom</title>"
        "<entry><title>E1</title><link rel=\"replies\" href=\"http://x/c\"/><link href=\"http://x/e1\"/>"
        "<link rel=\"edit\" href=\"http://x/edit\"/><updated>2005-07-31T12:29:29Z</updated>"
        "<content type=\"html\">&lt;p&gt;hello&lt;/p&gt;</content></entry>"
        "<entry><title>E2</title><link rel=\"edit\" href=\"http://x/a\"/><link rel=\"self\" href=\"http://x/b\"/>"
        "<published>2005-07-30T00:00:00Z</published><summary>short</summary></entry>"
        "<entry><title>E3</title><content type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">"
        "<p>x &amp; <i>y</i></p></div></content></entry></feed>",
        true);
    ASSERT_EQ(Pending(*handler).size(), 3u);
    const auto& e1 = Pending(*handler)[0];
    EXPECT_EQ(e1->GetLink(), "http://x/e1");
    EXPECT_TRUE(e1->HasTime());
    EXPECT_NE(e1->GetText().find("<p>hello</p>"), std::string::npos);
    EXPECT_NE(e1->GetText().find("text/html"), std::string::npos);
    const auto& e2 = Pending(*handler)[1];
    EXPECT_EQ(e2->GetLink(), "http://x/b");
    EXPECT_TRUE(e2->HasTime());
    EXPECT_NE(e2->GetText().find("short"), std::string::npos);
    EXPECT_NE(Pending(*handler)[2]->GetText().find("<p>x &amp; <i>y</i></p>"), std::string::npos);
}

TEST_F(FeedParser, Atom03ModifiedWinsAndOnlyCdataContentIsTakenWhenThereIsSome) {
    auto handler = ParseDocument(
        "<feed version=\"0.3\"><title>Old</title><entry><title>E</title><link href=\"http://x/1\"/>"
        "<link href=\"http://x/2\"/><modified>2004-01-01T00:00:00Z</modified>"
        "<updated>2009-01-01T00:00:00Z</updated>"
        "<content>ignored<![CDATA[kept]]></content></entry></feed>");
    ASSERT_EQ(Pending(*handler).size(), 1u);
    const auto& e = Pending(*handler)[0];
    EXPECT_EQ(e->GetLink(), "http://x/1");
    EXPECT_NE(e->GetDate().find("2004"), std::string::npos);
    EXPECT_NE(e->GetText().find("kept"), std::string::npos);
    EXPECT_EQ(e->GetText().find("ignored"), std::string::npos);
}

TEST_F(FeedParser, EveryMessageOfAFeedComesFromItsTitleAndTheFeedsOwnAddress) {
    const std::string rss = "<rss version=\"2.0\"><channel><title>Tech notes (Atom demo)</title>"
                            "<item><title>A</title><link>http://x/a</link></item>"
                            "<item><title>B</title><link>http://x/b</link></item></channel></rss>";
    auto first = ParseDocument(rss, false, "http://127.0.0.1:9/one.xml");
    auto second = ParseDocument(rss, false, "http://127.0.0.1:9/two.xml");
    ASSERT_EQ(Pending(*first).size(), 2u);
    ASSERT_EQ(Pending(*second).size(), 2u);
    auto fromLine = [](const MailDataPointer& message) {
        const std::string& text = message->GetText();
        return text.substr(0, text.find("\r\n"));
    };
    const std::string address = FeedSenderAddress(GetFeedFolderName("http://127.0.0.1:9/one.xml"));
    EXPECT_EQ(fromLine(Pending(*first)[0]), "From: \"Tech notes (Atom demo)\" <" + address + ">");
    EXPECT_EQ(fromLine(Pending(*first)[1]), fromLine(Pending(*first)[0]));
    EXPECT_NE(fromLine(Pending(*second)[0]), fromLine(Pending(*first)[0]));
    // A feed without a title is named after its host (quoted: a dot is special in a name).
    auto untitled = ParseDocument("<rss version=\"2.0\"><channel><item><title>A</title></item></channel></rss>",
                                  false, "https://user@news.example.org:8443/feed?x=1");
    ASSERT_EQ(Pending(*untitled).size(), 1u);
    EXPECT_EQ(fromLine(Pending(*untitled)[0]),
              "From: \"news.example.org\" <" +
                  FeedSenderAddress(GetFeedFolderName("https://user@news.example.org:8443/feed?x=1")) + ">");
}

TEST_F(FeedParser, TheCharsetSettingReachesEveryMessage) {
    const std::string rss = "<rss version=\"2.0\"><channel><title>T</title><item><title>A</title>"
                            "<description>Caf&#233;</description></item></channel></rss>";
    EXPECT_NE(Pending(*ParseDocument(rss))[0]->GetText().find("charset=utf-8"), std::string::npos);
    const std::string iso = Pending(*ParseDocument(rss, false, kUrl, MailCharset::Iso2022Jp))[0]->GetText();
    EXPECT_NE(iso.find("charset=iso-2022-jp"), std::string::npos);
    EXPECT_NE(iso.find("Caf&#233;"), std::string::npos);
}

TEST_F(FeedParser, DeeplyNestedXhtmlContentIsFlattenedNotAStackOverflow) {
    std::string nested;
    for (int i = 0; i < 4000; ++i) nested += "<b>";
    nested += "deep";
    for (int i = 0; i < 4000; ++i) nested += "</b>";
    auto handler = ParseDocument("<feed><entry><title>N</title><content type=\"xhtml\"><div>" + nested +
                                 "</div></content></entry></feed>", true);
    ASSERT_EQ(Pending(*handler).size(), 1u);
    EXPECT_NE(Pending(*handler)[0]->GetText().find("deep"), std::string::npos);
}

TEST_F(FeedParser, UnknownRootsAndUnreadableDocumentsAreLoggedWithTheFlag) {
    for (std::string doc : {"<html><body/></html>", "", "not xml at all", "<RDF:RDF/>", "<<<>>>"}) {
        SCOPED_TRACE(doc);
        fs::remove(dir_ / "log.txt");
        RestartContext();
        auto handler = ParseDocument(doc);
        EXPECT_TRUE(Pending(*handler).empty());
        EXPECT_TRUE(Context().HadFeedError());
        EXPECT_EQ(LogEntries(), std::vector<std::string>{"RSSの解析に失敗しました。\n予期しない書式です。\nURL: " +
                                                         kUrl + "\n\n"});
    }
}

TEST_F(FeedParser, AnRssWithoutChannelOrItemsYieldsNothingQuietly) {
    auto handler = ParseDocument("<rss version=\"2.0\"></rss>");
    EXPECT_TRUE(Pending(*handler).empty());
    EXPECT_FALSE(Context().HadFeedError());
    EXPECT_TRUE(LogEntries().empty());
    // Items straight under rss, or an rss without a version, are read as a feed.
    EXPECT_EQ(Pending(*ParseDocument("<rss version=\"2.0\"><item><title>x</title></item></rss>")).size(), 1u);
    EXPECT_EQ(Pending(*ParseDocument("<rss><channel><item><title>x</title></item></channel></rss>")).size(), 1u);
}

TEST_F(FeedParser, ARepairedDocumentIsReadAndTheLogSaysWhatWasRepaired) {
    auto handler = ParseDocument("\n<rss version=\"2.0\"><channel><title>T</title><item><title>a&nbsp;b</title></item>"
                                 "<item><title>cut");
    ASSERT_EQ(Pending(*handler).size(), 1u);
    EXPECT_FALSE(Context().HadFeedError());
    const auto entries = LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("フィードを修復して読み込みました。\n", 0), 0u) << entries[0];
    EXPECT_NE(entries[0].find("URL: " + kUrl + "\n\n"), std::string::npos);
}

TEST_F(FeedParser, RecordsOfRelativeLinksMadeBeforeLinksWereResolvedStillMatch) {
    WriteFile(
        fs::path(RssHandler(Context(), kUrl, true, false).FeedFolder()) / "sentitems.xml",
        "<sent-items><item><subject>A</subject><link>/a</link><date>d</date></item></sent-items>");
    auto handler = ParseDocument("<rss version=\"2.0\"><channel><item><title>A</title><link>/a</link></item>"
                                 "<item><title>B</title><link>/b</link></item></channel></rss>");
    ASSERT_EQ(Pending(*handler).size(), 1u);
    EXPECT_EQ(Pending(*handler)[0]->GetLink(), "http://127.0.0.1:9/b");
    ASSERT_EQ(Delivered(*handler).size(), 1u);
    EXPECT_EQ(Delivered(*handler)[0]->GetLink(), "http://127.0.0.1:9/a");
}

TEST_F(FeedParser, MarkupInATitleGivesItsTextAndMarkupInADescriptionIsLeftOut) {
    auto handler = ParseDocument(
        "<rss version=\"2.0\"><channel><item><title><b>bold</b> tail</title><link>http://x/</link>"
        "<description><p>para</p>text</description></item></channel></rss>");
    ASSERT_EQ(Pending(*handler).size(), 1u);
    EXPECT_EQ(Pending(*handler)[0]->GetSubject(), "bold tail");
    EXPECT_NE(Pending(*handler)[0]->GetText().find("text"), std::string::npos);
}

TEST_F(FeedParser, DeliveredItemsAreNotOfferedAgainAndNewOnesAre) {
    const std::string one =
        "<rss version=\"2.0\"><channel><title>c</title>"
        "<item><title>A</title><link>http://x/a</link><pubDate>Mon</pubDate></item>"
        "<item><title>B</title><link>http://x/b</link></item></channel></rss>";
    DeliverAll(*ParseDocument(one));
    // Without a guid, a dated item is known by its link and date, an undated one by its
    // link and title, its blanks trimmed: A of another day and B2 are new items.
    const std::string two =
        "<rss version=\"2.0\"><channel><title>c</title>"
        "<item><title>A</title><link>http://x/a</link><pubDate>Mon</pubDate></item>"
        "<item><title>A</title><link>http://x/a</link><pubDate>Tue</pubDate></item>"
        "<item><title>B2</title><link>http://x/b</link></item>"
        "<item><title> B\n</title><link>http://x/b</link></item></channel></rss>";
    auto handler = ParseDocument(two);
    ASSERT_EQ(Pending(*handler).size(), 2u);
    EXPECT_EQ(Pending(*handler)[0]->GetLink(), "http://x/a");
    EXPECT_EQ(Pending(*handler)[1]->GetSubject(), "B2");
    EXPECT_EQ(Delivered(*handler).size(), 2u);
}

TEST_F(FeedParser, Atom10EntriesAreRecognisedAsDeliveredOnTheNextConnection) {
    const std::string feed =
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>A</title>"
        "<entry><title>E</title><link href=\"http://x/e\"/><updated>2024-05-01T10:00:00+02:00</updated></entry>"
        "<entry><title>F</title><link href=\"http://x/f\"/><published>2024-05-02T10:00:00Z</published></entry>"
        "</feed>";
    auto first = ParseDocument(feed);
    ASSERT_EQ(Pending(*first).size(), 2u);
    DeliverAll(*first);
    auto second = ParseDocument(feed);
    EXPECT_TRUE(Pending(*second).empty());
    EXPECT_EQ(Delivered(*second).size(), 2u);
    // An entry whose update time changes is new again.
    std::string changed = feed;
    changed.replace(changed.find("10:00:00+02:00"), 14, "11:00:00+02:00");
    EXPECT_EQ(Pending(*ParseDocument(changed)).size(), 1u);
}

TEST_F(FeedParser, UniqueIdsAreStableAcrossRefreshesAndDifferBetweenItems) {
    const std::string feed =
        "<rss version=\"2.0\"><channel><item><title>A</title><link>http://x/a</link></item>"
        "<item><title>B</title><link>http://x/b</link></item></channel></rss>";
    auto first = ParseDocument(feed);
    auto second = ParseDocument(feed);
    ASSERT_EQ(Pending(*first).size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const std::string uid = Pending(*first)[i]->GetUid();
        EXPECT_EQ(uid, Pending(*second)[i]->GetUid());
        EXPECT_GE(uid.size(), 30u);
        EXPECT_LE(uid.size(), 70u);
        EXPECT_EQ(uid.find_first_not_of("0123456789"), std::string::npos);
    }
    EXPECT_NE(Pending(*first)[0]->GetUid(), Pending(*first)[1]->GetUid());

    MailData a(false), b(false);
    a.SetSubject("ab");
    a.SetLink("c");
    b.SetSubject("a");
    b.SetLink("bc");
    EXPECT_NE(MakeItemUid(kUrl, a), MakeItemUid(kUrl, b));
    EXPECT_NE(MakeItemUid(kUrl, a), MakeItemUid(kUrl + "x", a));
    // Only a date with a time part is part of the id.
    MailData dated(false);
    dated.SetSubject("ab");
    dated.SetLink("c");
    dated.SetDate("some other day");
    EXPECT_EQ(MakeItemUid(kUrl, a), MakeItemUid(kUrl, dated));
    dated.ParseW3cDate("2005-01-02T03:04:05Z");
    EXPECT_NE(MakeItemUid(kUrl, a), MakeItemUid(kUrl, dated));
}

TEST_F(FeedParser, JapaneseFeedsInEachEncodingGiveTheSameTexts) {
    const std::string utf8Title = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    struct Case {
        const char* declared;
        std::string title;
    };
    for (const Case& c : {Case{"EUC-JP", "\xC6\xFC\xCB\xDC\xB8\xEC"}, Case{"SHIFT-JIS", "\x93\xFA\x96\x7B\x8C\xEA"},
                          Case{"ISO-2022-JP", "\x1B$BF|K\\8l\x1B(B"}, Case{"UTF-8", utf8Title}}) {
        SCOPED_TRACE(c.declared);
        auto handler = ParseDocument(std::string("<?xml version=\"1.0\" encoding=\"") + c.declared +
                                     "\"?>\n<rss version=\"2.0\"><channel><title>" + c.title +
                                     "</title>\n<item><title>" + c.title + "</title></item></channel></rss>\n");
        ASSERT_EQ(Pending(*handler).size(), 1u);
        EXPECT_EQ(handler->GetFeed()->title, utf8Title);
        EXPECT_EQ(Pending(*handler)[0]->GetSubject(), utf8Title);
    }
}

TEST_F(FeedParser, EveryCorpusDocumentParsesOrFailsCleanly) {
    QUILLO_SKIP_WITHOUT_CORPUS();
    int files = 0, withItems = 0, failed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(QUILLO_CORPUS)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        fs::remove(dir_ / "log.txt");
        RestartContext();
        auto handler = ParseDocument(ReadFile(entry.path()));
        if (!Pending(*handler).empty()) ++withItems;
        if (Context().HadFeedError()) {
            ++failed;
            EXPECT_EQ(LogEntries().size(), 1u) << entry.path();
        }
        for (const auto& message : Pending(*handler)) {
            const std::string& text = message->GetText();
            EXPECT_EQ(text.find_first_of(std::string("\0", 1)), std::string::npos) << entry.path();
            for (unsigned char ch : text) {
                if (ch >= 0x80) {
                    ADD_FAILURE() << "8-bit mail text from " << entry.path();
                    break;
                }
            }
        }
    }
    EXPECT_GT(files, 300);
    EXPECT_GT(withItems, 150);
    std::cout << files << " corpus files, " << withItems << " with items, " << failed << " failed\n";
}

}  // namespace
