#include "FeedReportFiling.h"

#include "FeedFolder.h"
#include "GatewayContext.h"
#include "Maildir.h"
#include "Settings.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::chrono;

namespace {

namespace fs = std::filesystem;

FetchState::Time At(const char* text) { return ParseFetchTime(text).value(); }

const FetchState::Time kNow = At("2026-12-09T12:00:00Z");

class FeedReportFiling : public ::testing::Test {
protected:
    void SetUp() override {
        // A feed failing for two days, as a refresh leaves its folder.
        FetchState state;
        state.url = kUrl;
        state.title = "Broken news";
        state.failures = 9;
        state.failingSince = kNow - hours(48);
        state.lastStatus = 503;
        state.lastError = "HTTP 503";
        std::string error;
        ASSERT_TRUE(MakeSureDirectoryPathExists(folder_));
        ASSERT_TRUE(WriteFetchState(folder_, state, error)) << error;
    }

    // The messages of the report's store, as the refresh worker reads it.
    std::vector<std::string> Stored() {
        MessageStore store(reportFolder_);
        store.Load([](const StoredMessage&) { return false; });
        std::vector<std::string> texts;
        for (const auto& message : store.Messages()) {
            std::string text, error;
            EXPECT_TRUE(message->ReadText(text, error)) << error;
            EXPECT_EQ(message->GetFacts().feedUrl, kFeedReportUrl);
            texts.push_back(text);
        }
        return texts;
    }

    static constexpr char kUrl[] = "http://h/feed";
    TempDir dir_{"quillo-report"};
    GatewayContext context_{PortableAppLayout(dir_.Path())};
    Settings settings_;
    std::string folder_ = dir_.Path() + "/data/h-feed/";
    std::string reportFolder_ = dir_.Path() + "/data/" + kFeedReportFolderName + "/";
    std::vector<ListedFeedFolder> feeds_{{kUrl, folder_}};
};

TEST_F(FeedReportFiling, AReportGoesIntoItsStoreOnceAndItsStateIsKept) {
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow), reportFolder_);
    const std::vector<std::string> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_NE(stored[0].find("Subject: Quillo: feed report\r\n"), std::string::npos);
    EXPECT_NE(stored[0].find("  Broken news\r\n    address:      http://h/feed\r\n"), std::string::npos) << stored[0];
    EXPECT_NE(dir_.Read(kFeedReportStateFile).find("listed failing\thttp://h/feed\n"), std::string::npos);

    // Later the same day, and after a restart (the state is read from its file): nothing.
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow + hours(23)), "");
    EXPECT_EQ(Stored().size(), 1u);
    // A week on, the same trouble is told again, in a message of its own.
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow + hours(24 * 7)), reportFolder_);
    EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(FeedReportFiling, ADamagedStateIsLoggedAndStartsAfresh) {
    dir_.Write(kFeedReportStateFile, "garbage");
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow), reportFolder_);
    EXPECT_NE(dir_.Read("log.txt").find(kFeedReportStateFile), std::string::npos);
    EXPECT_EQ(dir_.Read(kFeedReportStateFile).rfind("quillo-feed-report 1\n", 0), 0u);
}

TEST_F(FeedReportFiling, WithAMaildirTheReportGoesIntoItsOwnNewFolderWithLfLines) {
    settings_.maildir = dir_.Path() + "/Mail";
    settings_.maildirFeedFolders = true;
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow), "");
    std::string error;
    std::optional<Maildir> maildir = Maildir::Open(settings_.maildir, error);
    ASSERT_TRUE(maildir) << error;
    const MaildirListing listing = maildir->List();
    ASSERT_EQ(listing.messages.size(), 1u);
    std::string text;
    ASSERT_TRUE(maildir->Read(listing.messages[0].name, text, error)) << error;
    EXPECT_NE(text.find("Subject: Quillo: feed report\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_FALSE(fs::exists(reportFolder_));
    EXPECT_TRUE(fs::exists(dir_.File(kFeedReportStateFile)));
}

TEST_F(FeedReportFiling, AReportThatCannotBeFiledIsLoggedAndTriedAgain) {
    // A file where the Maildir should be.
    settings_.maildir = dir_.Write("Mail", "not a folder");
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow), "");
    EXPECT_NE(dir_.Read("log.txt").find("Maildir"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_.File(kFeedReportStateFile)));
    settings_.maildir.clear();
    EXPECT_EQ(FileDueFeedReport(context_, settings_, feeds_, kNow + hours(1)), reportFolder_);
}

TEST(FeedReportMessage, IsAMessageLikeTheItemsInTheCharsetTheSettingsAsk) {
    FetchState state;
    state.title = "壊れたフィード";
    state.failures = 2;
    state.failingSince = kNow - hours(30);
    const std::vector<FeedReportEntry> entries{{FeedTrouble::Failing, "http://h/f", state}};
    const MessageStore::NewMessage message = ComposeFeedReport(entries, kNow, MailCharset::Auto, "/var/q q/log.txt");
    const std::string& text = *message.text;
    EXPECT_EQ(text.rfind("From: Quillo <feed-report@quillo.invalid>\r\nSubject: Quillo: feed report\r\nDate: ", 0), 0u)
        << text;
    EXPECT_NE(text.find("\r\nMessage-ID: <20261209120000@quillo.invalid>\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nMime-Version: 1.0\r\n"), std::string::npos);
    EXPECT_NE(text.find("charset=iso-2022-jp\r\n"), std::string::npos);
    EXPECT_NE(text.find("link: file:///var/q%20q/log.txt\r\n"), std::string::npos);
    EXPECT_EQ(message.facts.feedUrl, kFeedReportUrl);
    EXPECT_TRUE(message.facts.compareDate);
    // Reports of other days are other messages, whatever their text.
    const MessageStore::NewMessage next = ComposeFeedReport(entries, kNow + hours(24), MailCharset::Auto, "");
    EXPECT_NE(next.facts.key, message.facts.key);
    EXPECT_NE(next.facts.uid, message.facts.uid);
    EXPECT_NE(next.facts.record.date, message.facts.record.date);

    state.title = "Café";
    const std::string utf8 = *ComposeFeedReport({{FeedTrouble::Failing, "http://h/f", state}}, kNow,
                                                MailCharset::Auto, "").text;
    EXPECT_NE(utf8.find("charset=utf-8\r\n"), std::string::npos);
    const std::string iso = *ComposeFeedReport({{FeedTrouble::Failing, "http://h/f", state}}, kNow,
                                               MailCharset::Iso2022Jp, "").text;
    EXPECT_NE(iso.find("charset=iso-2022-jp\r\n"), std::string::npos);
}

}  // namespace
