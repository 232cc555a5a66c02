// sentitems.xml files written by the Xerces-based gateway (tests/data/legacy, see its
// README.txt): every record reads back exactly, and saving the same records gives the
// same bytes, so files written before and after the change keep one shape.
#include "SentItemsStore.h"

#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace storetest;

const fs::path kLegacy = fs::path(QUILLO_TEST_DATA) / "legacy" / "data";

std::string LongLink() {
    std::string link = "http://example.com/articles/long?";
    for (int i = 0; i < 200; ++i) link += (i ? "&" : "") + ("key" + std::to_string(i) + "=value" + std::to_string(i));
    return link;
}

struct LegacyFeed {
    const char* folder;
    std::vector<SentRecord> records;
};

const LegacyFeed kFeeds[] = {
    {"rss2.xml",
     {
         {"日本語のタイトル：第1回", "http://example.com/ja/1", "Sat, 01 Jan 2005 09:00:00 +0900"},
         {"Tom & Jerry <b>bold</b> \"double\" 'single'", "http://example.com/q?a=1&b=2&c=<3>",
          "Sun, 02 Jan 2005 10:30:00 GMT"},
         {"A very long link", LongLink(), "Mon, 03 Jan 2005 00:00:00 GMT"},
         // An undated item keeps the time it was parsed at.
         {"No date at all", "http://example.com/undated", "08 Dec 2026 16:07:16 +0900"},
         {"  spaced out  ", "http://example.com/spaces", "Tue, 04 Jan 2005 12:00:00 +0000"},
         {"Sushi 🍣 and a ]]> marker", "http://example.com/emoji", "Wed, 05 Jan 2005 12:00:00 +0000"},
         {"line one\r\nline two\ttabbed", "http://example.com/cr", "Thu, 06 Jan 2005 12:00:00 +0000"},
         {"CDATA title with <angle> & ampersand", "http://example.com/cdata", "Fri, 07 Jan 2005 12:00:00 +0000"},
     }},
    {"rss1.xml",
     {
         {"今日の出来事", "http://example.org/d/1", "01 Jan 2005 09:00:00 +0900"},
         {"Q&A <特集>", "http://example.org/d/2?x=1&y=2", "02 Jan 2005 23:59:59Z"},
         {"日付だけ", "http://example.org/d/3", "03 Jan 2005"},
     }},
    {"atom.xml",
     {
         {"最初のエントリー", "http://example.net/e/1", "01 Jan 2005 12:00:00 +0900"},
         {"Less < greater > and & \"quotes\"", "http://example.net/e/2?p=1&q=2", "02 Jan 2005 08:15:30Z"},
         {"半角ｶﾅと全角カナ", "http://example.net/e/3", "03 Jan 2005 00:00:00-05:00"},
     }},
    {"rss2-sjis.xml",
     {
         {"表示と予定", "http://example.jp/1", "Sat, 08 Jan 2005 09:00:00 +0900"},
         {"ソフトウェアの能力", "http://example.jp/2", "Sun, 09 Jan 2005 09:00:00 +0900"},
     }},
};

TEST(StoreLegacyFiles, EveryRecordReadsBackExactly) {
    for (const auto& feed : kFeeds) {
        SCOPED_TRACE(feed.folder);
        const std::string path = (kLegacy / feed.folder / "sentitems.xml").string();
        SentItemsStore store;
        const auto result = store.Load(path);
        ASSERT_EQ(result.status, SentItemsStore::LoadStatus::Loaded) << result.error;
        std::vector<SentRecord> records;
        ASSERT_EQ(SentItemsStore::ReadRecords(path, records).status, SentItemsStore::LoadStatus::Loaded);
        ASSERT_EQ(records.size(), feed.records.size());
        ASSERT_EQ(store.Size(), feed.records.size());
        for (size_t i = 0; i < feed.records.size(); ++i) {
            EXPECT_EQ(records[i].subject, feed.records[i].subject) << i;
            EXPECT_EQ(records[i].link, feed.records[i].link) << i;
            EXPECT_EQ(records[i].date, feed.records[i].date) << i;
            EXPECT_TRUE(store.Match(feed.records[i].subject, feed.records[i].link, feed.records[i].date, true));
        }
    }
}

TEST(StoreLegacyFiles, SavingTheSameRecordsGivesTheSameBytes) {
    for (const auto& feed : kFeeds) {
        SCOPED_TRACE(feed.folder);
        EXPECT_EQ(SentItemsStore::Serialise(feed.records), ReadFile(kLegacy / feed.folder / "sentitems.xml"));
    }
}

TEST(StoreLegacyFiles, TheRecordsReadFromALegacyFileAreWrittenBackByteForByte) {
    for (const auto& feed : kFeeds) {
        SCOPED_TRACE(feed.folder);
        const std::string path = (kLegacy / feed.folder / "sentitems.xml").string();
        const std::string legacy = ReadFile(path);
        std::vector<SentRecord> records;
        ASSERT_EQ(SentItemsStore::ReadRecords(path, records).status, SentItemsStore::LoadStatus::Loaded);
        EXPECT_EQ(SentItemsStore::Serialise(records), legacy);
    }
}

}  // namespace
