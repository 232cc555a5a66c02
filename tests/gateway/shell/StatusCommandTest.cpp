#include "StatusCommand.h"

#include "FeedFolder.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace std::chrono;

namespace {

namespace fs = std::filesystem;

FetchState::Time At(const char* text) { return ParseFetchTime(text).value(); }

FeedStatus Requested(FetchState state, std::size_t waiting = 0) {
    FeedStatus status;
    status.url = "http://h/f";
    status.fetch.status = FetchStateRead::Status::Read;
    state.lastRequest = At("2026-12-09T11:00:00Z");
    status.fetch.state = std::move(state);
    status.waiting = waiting;
    return status;
}

TEST(StatusCommandTest, OneLineTellsAFeedsLastSuccessStatusWaitingMessagesAndNextDue) {
    FetchState healthy;
    healthy.title = "News";
    healthy.lastSuccess = At("2026-12-09T11:00:00Z");
    healthy.lastStatus = 304;
    healthy.nextDue = At("2026-12-09T12:00:00Z");
    FetchState failing;
    failing.lastSuccess = At("2026-12-01T08:00:00Z");
    failing.failures = 3;
    failing.failingSince = At("2026-12-08T09:30:00Z");
    failing.lastError = "could not connect";
    FetchState gone;
    gone.title = "Old";
    gone.lastStatus = 410;
    gone.goneSince = At("2026-12-02T00:00:00Z");
    gone.nextDue = At("2026-12-16T00:00:00Z");
    FetchState moved;
    moved.title = "Blog";
    moved.lastStatus = 200;
    moved.lastSuccess = At("2026-12-09T11:00:00Z");
    moved.movedTo = "https://h/new";
    FetchState movedHere = moved;
    movedHere.movedTo = "http://h/f";
    FeedStatus never;
    never.url = "http://h/f";
    never.waiting = 4;
    FeedStatus damaged = never;
    damaged.fetch.status = FetchStateRead::Status::Damaged;
    damaged.fetch.error = "not a fetch state file";
    struct Case {
        FeedStatus status;
        const char* line;
    };
    const Case cases[] = {
        {Requested(healthy, 2),
         "News <http://h/f>: last success 2026-12-09 11:00 UTC, last status 304, 2 waiting, next due 2026-12-09 "
         "12:00 UTC"},
        {Requested(failing),
         "<http://h/f>: last success 2026-12-01 08:00 UTC, last status none, 0 waiting, next due at the next "
         "refresh, failing since 2026-12-08 09:30 UTC (3 in a row): could not connect"},
        {Requested(gone),
         "Old <http://h/f>: last success never, last status 410, 0 waiting, next due 2026-12-16 00:00 UTC, gone "
         "since 2026-12-02 00:00 UTC"},
        {Requested(moved),
         "Blog <http://h/f>: last success 2026-12-09 11:00 UTC, last status 200, 0 waiting, next due at the next "
         "refresh, moved to <https://h/new>"},
        {Requested(movedHere),
         "Blog <http://h/f>: last success 2026-12-09 11:00 UTC, last status 200, 0 waiting, next due at the next "
         "refresh"},
        {never, "<http://h/f>: never requested, 4 waiting"},
        {damaged, "<http://h/f>: fetch state unreadable (not a fetch state file), 4 waiting"},
    };
    for (const Case& c : cases) EXPECT_EQ(FeedStatusLine(c.status), c.line);
}

std::set<std::string> Tree(const std::string& root) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) paths.insert(entry.path().string());
    return paths;
}

class StatusOfAnAppDirectory : public ::testing::Test {
protected:
    TempDir dir_{"quillo-status"};
    AppLayout layout_ = PortableAppLayout(dir_.Path());
};

TEST_F(StatusOfAnAppDirectory, FindsEachFeedsFolderByItsUrlFileAndWritesNothing) {
    dir_.Write("Quillo.xml", "<quillo><feed-list><feed>http://a/f</feed></feed-list></quillo>");
    dir_.Write("feedlist.xml",
               "<opml><body><outline text='x'><outline xmlUrl='http://b/f'/></outline>"
               "<outline xmlUrl='http://c/f'/></body></opml>");
    // b's folder has another name than its own (its name was taken); c has none yet.
    FetchState state;
    state.title = "A";
    state.lastRequest = state.lastSuccess = At("2026-12-09T10:00:00Z");
    state.lastStatus = 200;
    std::string error;
    ASSERT_TRUE(MakeSureDirectoryPathExists(dir_.Path() + "/data/a-f/mail/new/"));
    ASSERT_TRUE(MakeSureDirectoryPathExists(dir_.Path() + "/data/a-f/mail/cur/"));
    ASSERT_TRUE(MakeSureDirectoryPathExists(dir_.Path() + "/data/a-f/mail/tmp/"));
    dir_.Write("data/a-f/url.txt", "http://a/f");
    dir_.Write("data/a-f/mail/new/1.1.host", "Subject: one\r\n\r\nx\r\n");
    dir_.Write("data/a-f/mail/new/2.2.host", "Subject: two\r\n\r\nx\r\n");
    ASSERT_TRUE(WriteFetchState(dir_.Path() + "/data/a-f/", state, error)) << error;
    state.title = "B";
    dir_.Write("data/b-f-1234abcd/url.txt", "http://b/f");
    ASSERT_TRUE(WriteFetchState(dir_.Path() + "/data/b-f-1234abcd/", state, error)) << error;
    dir_.Write("data/b-f/url.txt", "http://other/");
    const std::set<std::string> before = Tree(dir_.Path());

    std::string out;
    EXPECT_EQ(PrintFeedStatus(layout_, out, error), 0) << error;
    EXPECT_EQ(out,
              "A <http://a/f>: last success 2026-12-09 10:00 UTC, last status 200, 2 waiting, next due at the next "
              "refresh\n"
              "B <http://b/f>: last success 2026-12-09 10:00 UTC, last status 200, 0 waiting, next due at the next "
              "refresh\n"
              "<http://c/f>: never requested, 0 waiting\n");
    EXPECT_EQ(Tree(dir_.Path()), before);
}

TEST_F(StatusOfAnAppDirectory, AFeedListThatCannotBeReadIsAnError) {
    dir_.Write("feedlist.xml", "<opml><body><outline");
    std::string out, error;
    EXPECT_EQ(PrintFeedStatus(layout_, out, error), 1);
    EXPECT_NE(error.find("feedlist.xml"), std::string::npos) << error;
    dir_.Write("feedlist.xml", "<opml/>");
    dir_.Write("Quillo.xml", "<settings/>");
    EXPECT_EQ(PrintFeedStatus(layout_, out, error), 1);
    EXPECT_NE(error.find("Quillo.xml"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir_.File("data")));
}

}  // namespace
