// sentitems.xml: reading, writing and what happens to a damaged file.
#include "DeliveryRecords.h"

#include "FeedTestSupport.h"
#include "Mailbox.h"
#include "RssHandler.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

namespace {

using namespace feedtest;

const std::string kUrl = "http://127.0.0.1:9/s.xml";

// A feed's records as a part of a session's mailbox without messages, which records
// `recognised` at QUIT.
Mailbox::Part RecordsPart(const std::shared_ptr<DeliveryRecords>& records, std::vector<SentRecord> recognised) {
    return {{},
            [records, recognised](const Mailbox::MessageList&) { return records->Prepare(recognised, {}); },
            [records] { return records->Install(); },
            [records] { records->Discard(); }};
}

class SentItems : public AppDirTest {
protected:
    void TearDown() override {
        if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
        AppDirTest::TearDown();
    }
    fs::path mounted_;
    std::string Folder(const std::string& url = kUrl) { return RssHandler(Context(), url, true, false).FeedFolder(); }
    fs::path StorePath() { return fs::path(Folder()) / "sentitems.xml"; }
    std::shared_ptr<DeliveryRecords> Records(const std::string& url = kUrl) {
        auto records = std::make_shared<DeliveryRecords>(Context(), url, SystemToday);
        records->UseFolder(Folder(url));
        return records;
    }
    // The records a load took, read again from the file they came from.
    static std::vector<SentRecord> Loaded(DeliveryRecords& records) {
        records.Load();
        std::vector<SentRecord> loaded;
        if (!records.Loaded().Path().empty()) SentItemsStore::ReadRecords(records.Loaded().Path(), loaded);
        return loaded;
    }
    std::shared_ptr<RssHandler> HandlerWithDeleted(const std::vector<std::array<std::string, 3>>& records) {
        auto handler = std::make_shared<RssHandler>(Context(), kUrl, true, false);
        for (const auto& r : records) {
            auto m = std::make_shared<MailData>(false);
            m->SetSubject(r[0]);
            m->SetLink(r[1]);
            m->SetDate(r[2]);
            handler->GetMailbox()->AddDelivered(m);
        }
        return handler;
    }
};

TEST_F(SentItems, RecordsRoundTripWithAnyTextOfAnyLength) {
    const std::string longSubject(5000, 'S');
    const std::string link = "http://x/?a=1&b=<2>\"'";
    auto handler = HandlerWithDeleted({{"日本語 & <tags>", link, "Sat, 01 Jan 2005 00:00:00 GMT"},
                                       {longSubject, std::string(3000, 'l'), "d"},
                                       {"", "", ""}});
    fs::create_directories(StorePath().parent_path());
    ASSERT_TRUE(Record(*handler));
    EXPECT_TRUE(notifier_->shown.empty());
    const std::string file = ReadFile(StorePath());
    EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << file.substr(0, 80);
    EXPECT_NE(file.find("<sent-items>"), std::string::npos);
    EXPECT_NE(file.find("\n  <item>"), std::string::npos);  // pretty printed

    const std::vector<SentRecord> back = Loaded(*Records());
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].subject, "日本語 & <tags>");
    EXPECT_EQ(back[0].link, link);
    EXPECT_EQ(back[0].date, "Sat, 01 Jan 2005 00:00:00 +0000");
    // A text longer than a few kilobytes is recorded as its first bytes and a digest.
    EXPECT_EQ(back[1].subject, SentItemsStore::BoundedText(longSubject));
    EXPECT_LE(back[1].subject.size(), SentItemsStore::kMaxTextBytes);
    EXPECT_EQ(back[1].link.size(), 3000u);
    EXPECT_EQ(back[2].subject, "");
}

TEST_F(SentItems, ReadingAcceptsAnyOrderAndIgnoresOtherChildren) {
    WriteFile(StorePath(),
              "<sent-items><item><date>D</date><x>y</x><link>L</link><subject>S</subject></item>"
              "<other/><item><subject>T</subject></item></sent-items>");
    const std::vector<SentRecord> back = Loaded(*Records());
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].subject, "S");
    EXPECT_EQ(back[0].link, "L");
    EXPECT_EQ(back[0].date, "D");
    EXPECT_EQ(back[1].link, "");
}

TEST_F(SentItems, AnEmptyDeletedListLeavesTheFileByteForByte) {
    WriteFile(StorePath(), "<sent-items>  <item><subject>S</subject></item></sent-items>");
    RssHandler handler(Context(), kUrl, true, false);
    handler.LoadSentItems();
    EXPECT_TRUE(Record(handler));
    EXPECT_EQ(ReadFile(StorePath()), "<sent-items>  <item><subject>S</subject></item></sent-items>");
}

TEST_F(SentItems, ADamagedStoreIsSetAsideLoggedAndTreatedAsMissing) {
    for (std::string bad : {"<sent-items><item>", "<other-root/>", "\xFF\xFE garbage"}) {
        SCOPED_TRACE(bad);
        fs::remove(dir_ / "log.txt");
        fs::remove(StorePath().string() + ".bad");
        WriteFile(StorePath(), bad);
        auto reader = Records();
        reader->Load();
        EXPECT_EQ(reader->Loaded().Size(), 0u);
        EXPECT_FALSE(fs::exists(StorePath()));
        EXPECT_EQ(ReadFile(StorePath().string() + ".bad"), bad);
        ASSERT_EQ(LogEntries().size(), 1u);
        const std::string entry = LogEntries()[0];
        const std::string start = "sentitems.xmlを読み込めませんでした。sentitems.xml.badに移しました。\n";
        const std::string end = "\nURL: " + kUrl + "\n\n";
        EXPECT_EQ(entry.rfind(start, 0), 0u) << entry;
        ASSERT_GE(entry.size(), start.size() + end.size()) << entry;
        EXPECT_EQ(entry.substr(entry.size() - end.size()), end) << entry;
        const std::string reason = entry.substr(start.size(), entry.size() - start.size() - end.size());
        if (bad == "<other-root/>") {
            EXPECT_EQ(reason, "ルート要素がsent-itemsではありません。");
        } else {
            EXPECT_EQ(reason.rfind(StorePath().string() + ": ", 0), 0u) << reason;
        }
        EXPECT_TRUE(Context().HadFeedError());
    }
}

TEST_F(SentItems, AFailedPrepareGivesTheReasonAndKeepsTheOldFile) {
    WriteFile(StorePath(), "<sent-items/>");
    // A directory where the new file would go makes the write fail.
    auto records = Records();
    records->Load();
    fs::create_directories(records->PreparedPath());
    EXPECT_EQ(records->Prepare({{"s", "l", "d"}}, {}), "cannot write sentitems.xml for " + kUrl + ": Is a directory");
    EXPECT_EQ(records->Install(), "");
    EXPECT_EQ(ReadFile(StorePath()), "<sent-items/>");
}

TEST_F(SentItems, WhenTheSecondFeedCannotBeWrittenNeitherIsRecorded) {
    const std::string otherUrl = "http://127.0.0.1:9/other.xml";
    WriteFile(StorePath(), "<sent-items/>");
    auto first = Records();
    first->Load();
    auto second = Records(otherUrl);
    fs::create_directories(second->PreparedPath());
    Mailbox mailbox({RecordsPart(first, {{"s", "l", "d"}}), RecordsPart(second, {{"t", "", ""}})});
    EXPECT_EQ(mailbox.Commit(), "cannot write sentitems.xml for " + otherUrl + ": Is a directory");
    EXPECT_EQ(ReadFile(StorePath()), "<sent-items/>");
    EXPECT_FALSE(fs::exists(first->PreparedPath()));
    EXPECT_FALSE(fs::exists(StorePath().string() + ".bak"));
    // Both committed once the second folder is writable again; the first keeps its old file.
    fs::remove(second->PreparedPath());
    EXPECT_EQ(mailbox.Commit(), "");
    EXPECT_EQ(ReadFile(StorePath().string() + ".bak"), "<sent-items/>");
    const std::vector<SentRecord> back = RecordsIn(Folder(otherUrl));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].subject, "t");
}

TEST_F(SentItems, AnUnreadableStoreIsReadFromThePreviousFile) {
    fs::create_directories(StorePath().parent_path());
    ASSERT_TRUE(Record(*HandlerWithDeleted({{"kept", "l", "d"}})));
    ASSERT_TRUE(Record(*HandlerWithDeleted({{"kept", "l", "d"}, {"last", "l", "d"}})));
    WriteFile(StorePath(), "<sent-items><item>");  // cut off
    const std::vector<SentRecord> back = Loaded(*Records());
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].subject, "kept");
    EXPECT_EQ(ReadFile(StorePath().string() + ".bad"), "<sent-items><item>");
    ASSERT_EQ(LogEntries().size(), 1u);
    EXPECT_EQ(LogEntries()[0].rfind("sentitems.xmlを読み込めませんでした。sentitems.xml.badに移しました。"
                                    "sentitems.xml.bakの記録を使います。\n",
                                    0),
              0u)
        << LogEntries()[0];
    // A missing store is no records, whatever the previous file holds.
    fs::remove(StorePath().string() + ".bad");
    EXPECT_TRUE(Loaded(*Records()).empty());
}

TEST_F(SentItems, RecordsOfItemsNoLongerInTheFeedAreKeptNinetyDaysAfterLastSeen) {
    using std::chrono::days;
    const std::chrono::sys_days day = std::chrono::sys_days(std::chrono::year(2026) / 3 / 1);
    auto handlerOn = [this](std::chrono::sys_days today) {
        return std::make_shared<RssHandler>(Context(), kUrl, true, false, MailCharset::Auto,
                                            [today] { return today; });
    };
    // "gone" left the feed ten days ago; "legacy" comes from a file without last-seen;
    // "old" was last seen 91 days ago.
    WriteFile(StorePath(),
              "<sent-items><item><subject>A</subject><link>a</link><date>x</date><last-seen>2026-01-01</last-seen></item>"
              "<item><subject>gone</subject><link>g</link><last-seen>2026-02-19</last-seen></item>"
              "<item><subject>legacy</subject><link>y</link></item>"
              "<item><subject>old</subject><link>o</link><last-seen>2025-11-30</last-seen></item></sent-items>");
    const std::string document = "<rss version=\"2.0\"><channel><item><title>A</title><link>a</link></item>"
                                 "<item><title>N</title><link>n</link></item></channel></rss>";
    auto handler = handlerOn(day);
    Receive(*handler, document);
    ASSERT_EQ(Pending(*handler).size(), 1u);
    ASSERT_TRUE(Record(*handler, RecordsOf(*handler, {Pending(*handler)[0]})));

    auto recorded = [&] {
        std::vector<std::string> texts;
        for (const auto& r : RecordsIn(Folder())) texts.push_back(r.subject + " " + r.lastSeen);
        return texts;
    };
    EXPECT_EQ(recorded(), (std::vector<std::string>{"A 2026-03-01", "N 2026-03-01", "gone 2026-02-19",
                                                    "legacy 2026-03-01"}));
    // The feed shrinks to A: ninety days on, what was seen on the first day is still kept.
    for (int later : {90, 91}) {
        auto next = handlerOn(day + days(later));
        Receive(*next, "<rss version=\"2.0\"><channel><item><title>A</title><link>a</link></item></channel></rss>");
        EXPECT_TRUE(Pending(*next).empty());
        ASSERT_TRUE(Record(*next));
    }
    EXPECT_EQ(recorded(), (std::vector<std::string>{"A 2026-05-31"}));
}

TEST_F(SentItems, AFullDiskLeavesTheStoreByteForByteAndSaysSo) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path folder = StorePath().parent_path();
    fs::create_directories(folder);
    if (::mount("quillo-test", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount tmpfs: " << std::strerror(errno);
    mounted_ = folder;
    const std::string old = "<sent-items><item><subject>old</subject></item></sent-items>";
    WriteFile(StorePath(), old);
    {
        // Fill what is left.
        std::ofstream filler(folder / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler; ++i) filler << block << std::flush;
    }
    std::vector<SentRecord> deleted;
    for (int i = 0; i < 20; ++i) deleted.push_back({"item " + std::to_string(i), std::string(1000, 'l'), "d"});
    auto records = Records();
    records->Load();
    Mailbox mailbox({RecordsPart(records, deleted)});
    const std::string reason = mailbox.Commit();
    EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
    EXPECT_EQ(ReadFile(StorePath()), old);
    EXPECT_FALSE(fs::exists(records->PreparedPath()));
}

TEST_F(SentItems, AnItemGivenTwiceIsOneItemOfferedAndRecordedOnce) {
    WriteFile(StorePath(), "<sent-items><item><subject>A</subject><link>l</link><date>d</date></item></sent-items>");
    auto handler = std::make_shared<RssHandler>(Context(), kUrl, true, false);
    Receive(*handler,
            "<rss version=\"2.0\"><channel><item><title>A</title><link>l</link></item>"
            "<item><title>A</title><link>l</link></item><item><title>N</title></item>"
            "<item><title>N</title></item></channel></rss>");
    EXPECT_EQ(Delivered(*handler).size(), 1u);
    ASSERT_EQ(Pending(*handler).size(), 1u);
    ASSERT_TRUE(Record(*handler, RecordsOf(*handler, {Pending(*handler)[0]})));
    const auto records = RecordsIn(Folder());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].subject, "A");
    EXPECT_EQ(records[1].subject, "N");
    EXPECT_EQ(records[0].identity.size(), 32u);
}

}  // namespace
