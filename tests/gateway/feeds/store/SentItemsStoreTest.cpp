// The delivered-items store: file shape, reading rules, matching, damaged files.
#include "SentItemsStore.h"

#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace storetest;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n";

std::string Item(const std::string& subject, const std::string& link, const std::string& date) {
    return "  <item>\n    <subject>" + subject + "</subject>\n    <link>" + link + "</link>\n    <date>" + date +
           "</date>\n  </item>\n\n";
}

std::vector<SentRecord> ReadBack(const std::string& path) {
    std::vector<SentRecord> records;
    SentItemsStore::ReadRecords(path, records);
    return records;
}

std::string Document(const std::string& items) { return kDeclaration + "<sent-items>\n\n" + items + "</sent-items>\n"; }

TEST(SentItemsStore, SerialiseWritesThePrettyPrintedShapeWithItsEscapes) {
    struct Case {
        std::vector<SentRecord> records;
        std::string bytes;
    };
    const Case cases[] = {
        {{}, kDeclaration + "<sent-items/>\n"},
        {{{"S", "L", "D"}}, Document(Item("S", "L", "D"))},
        {{{"", "", ""}, {"b", "c", "d"}}, Document(Item("", "", "") + Item("b", "c", "d"))},
        {{{"Tom & Jerry <b> \"q\" 'a'", "http://x/?a=1&b=<2>", "]]>"}},
         Document(Item("Tom &amp; Jerry &lt;b&gt; \"q\" 'a'", "http://x/?a=1&amp;b=&lt;2&gt;", "]]&gt;"))},
        // A carriage return would come back as a line feed if it were written as itself.
        {{{"one\r\ntwo\tthree", "l", "d"}}, Document(Item("one&#xD;\ntwo\tthree", "l", "d"))},
        {{{"日本語のタイトル 🍣 \xC2\x85", "l", "d"}}, Document(Item("日本語のタイトル 🍣 \xC2\x85", "l", "d"))},
        // What XML cannot hold is written as U+FFFD: one per character, one per byte that is not UTF-8.
        {{{"a\x01" "b\x7F", "\xFF\xE3\x81", "\xEF\xBF\xBE"}},
         Document(Item("a\xEF\xBF\xBD" "b\x7F", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD"))},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SentItemsStore::Serialise(c.records), c.bytes);
    }
}

class SentItemsStoreFiles : public StoreDirTest {};

TEST_F(SentItemsStoreFiles, SavedRecordsComeBackExactlyUpToTheBoundAndBoundedBeyondIt) {
    std::vector<SentRecord> records;
    // Lengths around the reader's buffer sizes, with references spread through them.
    for (size_t length : {1u, 299u, 300u, 511u, 512u, 4095u, 4096u, 65537u, 1000003u}) {
        std::string text;
        for (size_t i = 0; text.size() < length; ++i) text += (i % 97 == 0) ? "&<>\r" : (i % 13 == 0 ? "語" : "x");
        records.push_back({text, "http://example.com/" + text, std::to_string(length)});
    }
    records.push_back({"", "", ""});
    const std::string path = Write("sentitems.xml", SentItemsStore::Serialise(records));
    SentItemsStore store;
    ASSERT_EQ(store.Load(path).status, SentItemsStore::LoadStatus::Loaded);
    const std::vector<SentRecord> back = ReadBack(path);
    ASSERT_EQ(back.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const SentRecord& written = records[i];
        EXPECT_EQ(back[i].subject, SentItemsStore::BoundedText(written.subject)) << i;
        EXPECT_EQ(back[i].link, SentItemsStore::BoundedText(written.link)) << i;
        EXPECT_EQ(back[i].date, written.date) << i;
        if (written.subject.size() <= SentItemsStore::kMaxTextBytes) {
            EXPECT_EQ(back[i].subject, written.subject) << i;
        }
        EXPECT_LE(back[i].link.size(), SentItemsStore::kMaxTextBytes) << i;
        // The item still matches the record made of it.
        EXPECT_TRUE(store.Match(written.subject, written.link, written.date, true)) << i;
    }
}

TEST_F(SentItemsStoreFiles, AValueXmlCannotHoldIsSavedAndStillMatches) {
    const std::string path =
        Write("sentitems.xml", SentItemsStore::Serialise({{"bell\x07", "\xFFlink", "d\x1B"}, {"next", "l", "d"}}));
    SentItemsStore store;
    ASSERT_EQ(store.Load(path).status, SentItemsStore::LoadStatus::Loaded);
    ASSERT_EQ(store.Size(), 2u);
    EXPECT_TRUE(store.Match("bell\x07", "\xFFlink", "d\x1B", true));
    EXPECT_TRUE(store.Match("next", "l", "d", true));
    EXPECT_FALSE(store.Match("bell", "\xFFlink", "d\x1B", false));
}

TEST_F(SentItemsStoreFiles, ReadingTakesTheFirstChildOfEachFieldInAnyOrder) {
    struct Case {
        std::string items;
        std::vector<SentRecord> records;
    };
    const Case cases[] = {
        {"<item><date>D</date><x>y</x><link>L</link><subject>S</subject></item><other/><item><subject>T</subject></item>",
         {{"S", "L", "D"}, {"T", "", ""}}},
        {"<item><subject><b>x</b>y</subject><link/><date></date></item>", {{"", "", ""}}},
        {"<item><subject><![CDATA[a<b]]>c</subject><link><!--note-->L</link></item>", {{"a<b", "note", ""}}},
        {"<item><subject>  </subject><link>\n</link><date> d </date></item>", {{"  ", "\n", " d "}}},
        {"<item><subject>a&amp;b&#x1F363;&lt;</subject><link>&#13;</link></item>", {{"a&b🍣<", "\r", ""}}},
        {"<item><subject>S1</subject><subject>S2</subject></item>", {{"S2", "", ""}}},
        {"<wrap><item><subject>X</subject></item></wrap><x:item xmlns:x='u'><subject>Y</subject></x:item>"
         "<Item><subject>Z</subject></Item><item><Subject>W</Subject></item>",
         {{"", "", ""}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const std::string path = Write("sentitems.xml", "<sent-items>" + c.items + "</sent-items>");
        SentItemsStore store;
        ASSERT_EQ(store.Load(path).status, SentItemsStore::LoadStatus::Loaded) << c.items;
        EXPECT_EQ(ReadBack(path), c.records) << c.items;
        EXPECT_EQ(store.Size(), c.records.size()) << c.items;
    }
}

TEST_F(SentItemsStoreFiles, AMissingFileHasNoRecordsAndALoadReplacesTheOldOnes) {
    SentItemsStore store;
    const std::string path = Write("sentitems.xml", "<sent-items><item><subject>S</subject></item></sent-items>");
    ASSERT_EQ(store.Load(path).status, SentItemsStore::LoadStatus::Loaded);
    EXPECT_TRUE(store.Match("S", "", "", false));
    fs::remove(path);
    const auto result = store.Load(path);
    EXPECT_EQ(result.status, SentItemsStore::LoadStatus::Missing);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_FALSE(store.Match("S", "", "", false));
}

TEST_F(SentItemsStoreFiles, MatchingFollowsSubjectAndLinkAndTheDateOnlyWhenAsked) {
    const std::string path = Write("sentitems.xml",
                                   "<sent-items><item><subject>A</subject><link>l</link><date>d1</date></item>"
                                   "<item><subject>A</subject><link>l</link><date>d2</date></item>"
                                   "<item><subject>B</subject><link>m</link><date>d3</date></item></sent-items>");
    SentItemsStore store;
    ASSERT_EQ(store.Load(path).status, SentItemsStore::LoadStatus::Loaded);
    struct Case {
        const char* subject;
        const char* link;
        const char* date;
        bool compareDate;
        bool delivered;
    };
    const Case cases[] = {
        {"A", "l", "other", false, true}, {"A", "l", "d2", true, true},    {"A", "l", "d1", true, true},
        {"A", "l", "other", true, false}, {"A", "m", "d1", false, false},  {"B", "m", "d3", true, true},
        {"B", "m", "", true, false},      {"A ", "l", "d1", false, false}, {"a", "l", "d1", false, false},
        {"A", "l ", "d1", false, false},  {"Al", "", "d1", false, false},  {"", "Al", "d1", false, false},
        {"A", "l", "D1", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store.Match(c.subject, c.link, c.date, c.compareDate), c.delivered)
            << c.subject << "|" << c.link << "|" << c.date << "|" << c.compareDate;
    }
}

TEST_F(SentItemsStoreFiles, ADamagedFileIsUnreadableWithItsReason) {
    struct Case {
        std::string bytes;
        std::string errorStart;
    };
    const std::string path = Path("sentitems.xml");
    const Case cases[] = {
        {"<sent-items><item>", path + ": line "},
        {"<sent-items><item><subject>S</subject></item></sent-items><extra/>", path + ": line "},
        {"<other-root><item><subject>S</subject></item></other-root>", "ルート要素がsent-itemsではありません。"},
        {"<x:sent-items xmlns:x='u'/>", "ルート要素がsent-itemsではありません。"},
        {"\xFF\xFE garbage", path + ": line "},
        {"", path + ": "},
        {"<?xml version='1.0' encoding='UTF-8'?><sent-items><item><subject>\xE3\x81</subject></item></sent-items>",
         path + ": line "},
    };
    for (const auto& c : cases) {
        Write("sentitems.xml", c.bytes);
        SentItemsStore store;
        const auto result = store.Load(path);
        EXPECT_EQ(result.status, SentItemsStore::LoadStatus::Unreadable) << c.bytes;
        EXPECT_EQ(result.error.rfind(c.errorStart, 0), 0u) << c.bytes << " -> " << result.error;
        EXPECT_EQ(store.Size(), 0u);
    }
}

TEST_F(SentItemsStoreFiles, NothingOutsideTheFileIsRead) {
    const std::string secret = Write("secret.txt", "SECRET");
    const std::string path = Write("sentitems.xml", "<!DOCTYPE sent-items [<!ENTITY e SYSTEM 'file://" + secret +
                                                        "'>]><sent-items><item><subject>&e;</subject>"
                                                        "<link>x&e;</link></item></sent-items>");
    SentItemsStore store;
    const auto result = store.Load(path);
    ASSERT_EQ(result.status, SentItemsStore::LoadStatus::Loaded) << result.error;
    EXPECT_EQ(ReadBack(path), (std::vector<SentRecord>{{"", "x", ""}}));
}

TEST_F(SentItemsStoreFiles, ExpandingEntitiesCannotBlowUpTheReader) {
    std::string dtd = "<!DOCTYPE sent-items [<!ENTITY a0 'aaaaaaaaaa'>";
    for (int i = 1; i <= 9; ++i) {
        dtd += "<!ENTITY a" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) dtd += "&a" + std::to_string(i - 1) + ";";
        dtd += "'>";
    }
    const std::string path = Write("sentitems.xml", dtd + "]><sent-items><item><subject>&a9;</subject></item></sent-items>");
    SentItemsStore store;
    store.Load(path);
    for (const auto& record : ReadBack(path)) EXPECT_LT(record.subject.size(), 1000u);
}

TEST_F(SentItemsStoreFiles, SetAsideMovesTheFileToBadOnceAndOnlyWhenItIsThere) {
    const std::string path = Write("sentitems.xml", "<sent-items/>");
    EXPECT_TRUE(SentItemsStore::SetAside(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(ReadFile(path + ".bad"), "<sent-items/>");
    EXPECT_FALSE(SentItemsStore::SetAside(path));
}

}  // namespace

namespace {

TEST_F(SentItemsStoreFiles, ARecordInMemoryCostsLessThanTwoHundredBytesWhateverItsTexts) {
    std::vector<SentRecord> records;
    const std::string longTitle(300, 'T');
    for (int i = 0; i < 50000; ++i) {
        const std::string n = std::to_string(i);
        // Half of them as earlier versions wrote them, half with an identity.
        records.push_back({longTitle + n, "http://example.com/articles/" + n, "Sat, 01 Jan 2005 09:00:00 +0900", "",
                           i % 2 ? std::string(32 - n.size(), '0') + n : ""});
    }
    const std::string path = Write("sentitems.xml", SentItemsStore::Serialise(records));
    SentItemsStore store;
    ASSERT_EQ(store.Load(path).status, SentItemsStore::LoadStatus::Loaded);
    ASSERT_EQ(store.Size(), records.size());
    EXPECT_LE(store.HeldBytes() / records.size(), 200u);
    EXPECT_TRUE(store.MatchIdentity(std::string(31, '0') + "1"));
    EXPECT_TRUE(store.MatchLegacy(longTitle + "0", "http://example.com/articles/0", "Sat, 01 Jan 2005 09:00:00 +0900", true));
}

}  // namespace
