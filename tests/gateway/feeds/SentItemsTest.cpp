// sentitems.xml: reading, writing and what happens to a damaged file.
#include "FeedTestSupport.h"
#include "RssHandler.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace feedtest;

const std::string kUrl = "http://127.0.0.1:9/s.xml";

class SentItems : public AppDirTest {
protected:
    fs::path StorePath() { return fs::path(RssHandler(kUrl, true, false).FeedFolder()) / "sentitems.xml"; }
    std::shared_ptr<RssHandler> HandlerWithDeleted(const std::vector<std::array<std::string, 3>>& records) {
        auto handler = std::make_shared<RssHandler>(kUrl, true, false);
        for (const auto& r : records) {
            auto m = std::make_shared<MailData>(false);
            m->SetSubject(r[0]);
            m->SetLink(r[1]);
            m->SetDate(r[2]);
            handler->GetMailbox()->AddPending(m);
        }
        handler->GetMailbox()->Number(1);
        for (int n = 1; n <= static_cast<int>(records.size()); ++n) handler->GetMailbox()->Delete(n);
        return handler;
    }
};

TEST_F(SentItems, RecordsRoundTripWithAnyTextOfAnyLength) {
    const std::string longSubject(5000, 'S');
    const std::string link = "http://x/?a=1&b=<2>\"'";
    auto handler = HandlerWithDeleted({{"日本語 & <tags>", link, "Sat, 01 Jan 2005"},
                                       {longSubject, std::string(3000, 'l'), "d"},
                                       {"", "", ""}});
    fs::create_directories(StorePath().parent_path());
    handler->SaveSentItems();
    EXPECT_TRUE(notifier_->shown.empty());
    const std::string file = ReadFile(StorePath());
    EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << file.substr(0, 80);
    EXPECT_NE(file.find("<sent-items>"), std::string::npos);
    EXPECT_NE(file.find("\n  <item>"), std::string::npos);  // pretty printed

    RssHandler reader(kUrl, true, false);
    reader.LoadSentItems();
    ASSERT_EQ(reader.SentItems().size(), 3u);
    EXPECT_EQ(reader.SentItems()[0].subject, "日本語 & <tags>");
    EXPECT_EQ(reader.SentItems()[0].link, link);
    EXPECT_EQ(reader.SentItems()[0].date, "Sat, 01 Jan 2005");
    EXPECT_EQ(reader.SentItems()[1].subject, longSubject);
    EXPECT_EQ(reader.SentItems()[1].link.size(), 3000u);
    EXPECT_EQ(reader.SentItems()[2].subject, "");
}

TEST_F(SentItems, ReadingAcceptsAnyOrderAndIgnoresOtherChildren) {
    WriteFile(StorePath(),
              "<sent-items><item><date>D</date><x>y</x><link>L</link><subject>S</subject></item>"
              "<other/><item><subject>T</subject></item></sent-items>");
    RssHandler reader(kUrl, true, false);
    reader.LoadSentItems();
    ASSERT_EQ(reader.SentItems().size(), 2u);
    EXPECT_EQ(reader.SentItems()[0].subject, "S");
    EXPECT_EQ(reader.SentItems()[0].link, "L");
    EXPECT_EQ(reader.SentItems()[0].date, "D");
    EXPECT_EQ(reader.SentItems()[1].link, "");
}

TEST_F(SentItems, AnEmptyDeletedListLeavesTheFileByteForByte) {
    WriteFile(StorePath(), "<sent-items>  <item><subject>S</subject></item></sent-items>");
    RssHandler(kUrl, true, false).SaveSentItems();
    EXPECT_EQ(ReadFile(StorePath()), "<sent-items>  <item><subject>S</subject></item></sent-items>");
}

TEST_F(SentItems, ADamagedStoreIsSetAsideLoggedAndTreatedAsMissing) {
    for (std::string bad : {"<sent-items><item>", "<other-root/>", "\xFF\xFE garbage"}) {
        SCOPED_TRACE(bad);
        fs::remove(dir_ / "log.txt");
        fs::remove(StorePath().string() + ".bad");
        WriteFile(StorePath(), bad);
        RssHandler reader(kUrl, true, false);
        reader.LoadSentItems();
        EXPECT_TRUE(reader.SentItems().empty());
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
        EXPECT_TRUE(g_feedError);
    }
}

TEST_F(SentItems, AFailedSaveShowsTheBoxWhateverTheSettingAndKeepsTheOldFile) {
    WriteFile(StorePath(), "<sent-items/>");
    // A directory where the temporary file would go makes the write fail.
    fs::create_directories(StorePath().string() + ".new");
    auto handler = HandlerWithDeleted({{"s", "l", "d"}});  // disable-messagebox is set
    handler->SaveSentItems();
    EXPECT_EQ(notifier_->shown, std::vector<std::string>{"|データの出力中にエラーが発生しました"});
    EXPECT_EQ(ReadFile(StorePath()), "<sent-items/>");
}

TEST_F(SentItems, DuplicatesAreAllMatchedAndAllWritten) {
    WriteFile(StorePath(), "<sent-items><item><subject>A</subject><link>l</link><date>d</date></item></sent-items>");
    auto handler = std::make_shared<RssHandler>(kUrl, true, false);
    WriteFile(fs::path(handler->FeedFolder()) / "latest.xml",
              "<rss version=\"2.0\"><channel><item><title>A</title><link>l</link></item>"
              "<item><title>A</title><link>l</link></item><item><title>N</title></item>"
              "<item><title>N</title></item></channel></rss>");
    handler->LoadSentItems();
    handler->Parse();
    EXPECT_EQ(handler->Deleted().size(), 2u);
    EXPECT_EQ(handler->Pending().size(), 2u);
    handler->SaveSentItems();
    RssHandler reader(kUrl, true, false);
    reader.LoadSentItems();
    EXPECT_EQ(reader.SentItems().size(), 2u);
}

}  // namespace
