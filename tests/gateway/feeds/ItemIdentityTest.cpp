// How items are known from one document to the next: the identity of each kind of
// item, and what it means for what is offered and recorded.
#include "FeedTestSupport.h"
#include "ItemIdentity.h"
#include "ItemUid.h"
#include "RssHandler.h"

#include "FeedParser.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using namespace feedtest;

const std::string kUrl = "http://127.0.0.1:9/identity.xml";
const fs::path kLegacy = fs::path(QUILLO_TEST_DATA) / "legacy";

std::vector<ItemIdentity> Identities(const std::string& document, const std::string& contentType = "") {
    const FeedParseResult result = ParseFeed(document, FeedSource{kUrl, contentType});
    EXPECT_TRUE(result.ok) << result.error;
    std::vector<ItemIdentity> identities;
    for (const FeedItem& item : result.feed.items) identities.push_back(IdentifyItem(item));
    return identities;
}

std::string Rss(const std::string& items) { return "<rss version=\"2.0\"><channel><title>c</title>" + items + "</channel></rss>"; }

TEST(ItemIdentity, EachFormatsIdNamesTheItemWhateverItsTextsBecome) {
    using Basis = ItemIdentity::Basis;
    struct Case {
        const char* what;
        std::string before, after, contentType;
    };
    const Case cases[] = {
        {"RSS guid", Rss("<item><guid>g1</guid><title>Typo</title><link>http://x/1</link></item>"),
         Rss("<item><guid> g1 </guid><title>Fixed</title><link>http://x/one</link><pubDate>Tue</pubDate></item>"), ""},
        {"Atom id",
         "<feed xmlns='http://www.w3.org/2005/Atom'><entry><id>urn:e1</id><title>a</title>"
         "<updated>2005-01-01T00:00:00Z</updated></entry></feed>",
         "<feed xmlns='http://www.w3.org/2005/Atom'><entry><id>urn:e1</id><title>b</title>"
         "<updated>2006-01-01T00:00:00Z</updated><link href='http://x/e'/></entry></feed>",
         ""},
        {"JSON Feed id, a number too",
         R"({"version":"https://jsonfeed.org/version/1.1","items":[{"id":7,"title":"a"}]})",
         R"({"version":"https://jsonfeed.org/version/1.1","items":[{"id":7,"title":"b","url":"http://x/7"}]})",
         "application/feed+json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = Identities(c.before, c.contentType);
        const auto after = Identities(c.after, c.contentType);
        ASSERT_EQ(before.size(), 1u);
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(before[0].basis, Basis::Guid);
        EXPECT_EQ(before[0], after[0]);
        EXPECT_EQ(before[0].key.size(), 32u);
        EXPECT_EQ(before[0].key.find_first_not_of("0123456789abcdef"), std::string::npos);
    }
}

TEST(ItemIdentity, WithoutAnIdItemsAreKnownByLinkAndDateThenLinkAndTitleThenContent) {
    using Basis = ItemIdentity::Basis;
    const auto ids = Identities(Rss(
        "<item><title>Today's comic</title><link>http://x/c</link><pubDate>Mon</pubDate></item>"
        "<item><title>Today's comic</title><link>http://x/c</link><pubDate>Tue</pubDate></item>"
        "<item><title>Renamed</title><link>http://x/c</link><pubDate>Tue</pubDate></item>"
        "<item><title>T</title><link>http://x/t</link></item>"
        "<item><title>T2</title><link>http://x/t</link></item>"
        "<item><title>Same</title><description>one</description></item>"
        "<item><title>Same</title><description>two</description></item>"
        // A GUID that reads like a link is still not that link.
        "<item><guid>http://x/t</guid></item>"));
    ASSERT_EQ(ids.size(), 8u);
    EXPECT_EQ(ids[0].basis, Basis::LinkAndDate);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(ids[1], ids[2]);
    EXPECT_EQ(ids[3].basis, Basis::LinkAndTitle);
    EXPECT_NE(ids[3], ids[4]);
    EXPECT_EQ(ids[5].basis, Basis::Content);
    EXPECT_NE(ids[5], ids[6]);
    EXPECT_EQ(ids[7].basis, Basis::Guid);
    std::set<std::string> keys;
    for (const auto& id : ids) keys.insert(id.key);
    EXPECT_EQ(keys.size(), 7u);
}

class ItemFiling : public AppDirTest {
protected:
    // One refresh of the document, with the records the last one saved.
    std::shared_ptr<RssHandler> Refresh(const std::string& document) {
        auto handler = std::make_shared<RssHandler>(Context(), kUrl, true, false);
        Receive(*handler, document);
        return handler;
    }
    // DELE of every message and QUIT; returns the subjects (or bodies' links) offered.
    std::vector<std::string> TakeAll(const std::string& document) {
        auto handler = Refresh(document);
        std::vector<std::string> offered;
        for (const auto& message : Pending(*handler)) offered.push_back(message->GetSubject() + "|" + message->GetDate());
        EXPECT_TRUE(Record(*handler, RecordsOf(*handler, Pending(*handler))));
        return offered;
    }
    std::string Guided(int n) {
        return "<item><guid>tag:x," + std::to_string(n) + "</guid><description>status " + std::to_string(n) +
               "</description></item>";
    }
};

TEST_F(ItemFiling, ItemsWithOnlyAGuidAreEachDeliveredOnce) {
    EXPECT_EQ(TakeAll(Rss(Guided(1))).size(), 1u);
    EXPECT_EQ(TakeAll(Rss(Guided(2) + Guided(1))).size(), 1u);
    EXPECT_EQ(TakeAll(Rss(Guided(3) + Guided(2) + Guided(1))).size(), 1u);
    EXPECT_TRUE(TakeAll(Rss(Guided(3) + Guided(2) + Guided(1))).empty());
}

TEST_F(ItemFiling, ADailyItemWithTheSameTitleAndLinkIsDeliveredEveryDay) {
    auto comic = [](const char* day) {
        return "<item><title>Today's comic</title><link>http://x/comic</link><pubDate>" + std::string(day) +
               "</pubDate></item>";
    };
    const char* mon = "Mon, 07 Dec 2026 08:00:00 GMT";
    const char* tue = "Tue, 08 Dec 2026 08:00:00 GMT";
    EXPECT_EQ(TakeAll(Rss(comic(mon))), (std::vector<std::string>{"Today's comic|Mon, 07 Dec 2026 08:00:00 +0000"}));
    EXPECT_EQ(TakeAll(Rss(comic(tue) + comic(mon))),
              (std::vector<std::string>{"Today's comic|Tue, 08 Dec 2026 08:00:00 +0000"}));
    EXPECT_TRUE(TakeAll(Rss(comic(tue) + comic(mon))).empty());
}

TEST_F(ItemFiling, ACorrectedTitleOrLinkUnderTheSameGuidIsNotOfferedAgain) {
    EXPECT_EQ(TakeAll(Rss("<item><guid>g</guid><title>Tpyo</title><link>http://x/a</link></item>")).size(), 1u);
    EXPECT_TRUE(TakeAll(Rss("<item><guid>g</guid><title>Typo</title><link>http://x/b</link></item>")).empty());
}

TEST_F(ItemFiling, AnItemKeepsItsUidWhenItGainsAnIdentity) {
    // The same id as before identities: clients that leave mail on the server rely on it.
    auto handler = Refresh(Rss("<item><guid>g</guid><title>T</title><link>http://x/a</link></item>"));
    ASSERT_EQ(Pending(*handler).size(), 1u);
    MailData reference(false);
    reference.SetSubject("T");
    reference.SetLink("http://x/a");
    EXPECT_EQ(Pending(*handler)[0]->GetUid(), MakeItemUid(kUrl, reference));
}

TEST_F(ItemFiling, RecordsOfThePreviousVersionStillMatchAndNewItemsBesideThemAreOffered) {
    // Written by the previous build, which knew items by title and link (see
    // tests/data/legacy/README.txt): nothing of the feed is offered after the upgrade,
    // and an item that shares the title and link of a delivered one, or only has a
    // guid like them, is offered once.
    struct Case {
        const char* feed;
        std::string newItem;
        // Whether the new item is offered at the first check after the upgrade too: the
        // records of GUID-only items hold nothing to tell a new one from those delivered.
        bool offeredAtOnce;
    };
    const Case cases[] = {
        {"guid-only.xml",
         "<item><guid isPermaLink=\"false\">tag:example.com,2005:guid-4</guid>"
         "<description>fourth status update</description></item>",
         false},
        {"same-title.xml",
         "<item><title>Today's comic</title><link>http://example.com/comic/today</link>"
         "<pubDate>Tue, 04 Jan 2005 06:00:00 GMT</pubDate></item>",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.feed);
        RestartContext();
        fs::remove_all(dir_ / "data");
        const std::string folder = RssHandler(Context(), kUrl, true, false).FeedFolder();
        fs::create_directories(folder);
        fs::copy_file(kLegacy / "data" / c.feed / "sentitems.xml", fs::path(folder) / "sentitems.xml");
        std::string document = ReadFile(kLegacy / "feeds" / c.feed);
        std::string grown = document;
        grown.insert(grown.find("<item>"), c.newItem);
        if (c.offeredAtOnce) {
            EXPECT_EQ(TakeAll(grown).size(), 1u);
            document = grown;
        }
        EXPECT_TRUE(TakeAll(document).empty());
        // The save recorded the items by their identity; the legacy records are gone.
        std::vector<SentRecord> records;
        SentItemsStore::ReadRecords((fs::path(folder) / "sentitems.xml").string(), records);
        for (const auto& record : records) EXPECT_EQ(record.identity.size(), 32u);
        EXPECT_TRUE(TakeAll(document).empty());
        if (!c.offeredAtOnce) {
            EXPECT_EQ(TakeAll(grown).size(), 1u);
            EXPECT_TRUE(TakeAll(grown).empty());
        }
    }
}

TEST_F(ItemFiling, AHugeTitleIsRecordedAndStillMatches) {
    // Two CDATA sections of 6 MB each: more than the XML reader takes in one text.
    const std::string half(6 * 1024 * 1024, 'T');
    const std::string item = "<item><title><![CDATA[" + half + "]]><![CDATA[" + half +
                             "]]></title><link>http://x/huge</link></item>";
    EXPECT_EQ(TakeAll(Rss(item)).size(), 1u);
    const std::string path = (fs::path(RssHandler(Context(), kUrl, true, false).FeedFolder()) / "sentitems.xml").string();
    EXPECT_LT(fs::file_size(path), 10000u);
    EXPECT_TRUE(TakeAll(Rss(item)).empty());
    EXPECT_FALSE(fs::exists(path + ".bad"));
}

}  // namespace
