#include "FeedScheduler.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::chrono;

namespace {

FetchState::Time At(const char* text) { return ParseFetchTime(text).value(); }

FeedTransferResult Replied(long status, std::string statusText = "") {
    FeedTransferResult result;
    result.outcome = FeedTransferResult::Outcome::Replied;
    result.status = status;
    result.statusText = std::move(statusText);
    return result;
}

FeedDocument Readable(std::vector<std::string> keys = {"k1"}) {
    FeedDocument document;
    document.readable = true;
    document.title = "A feed";
    document.itemKeys = std::move(keys);
    return document;
}

class FeedSchedulerTest : public ::testing::Test {
protected:
    ScheduledFeed Feed(const std::string& url, const std::string& name) {
        const std::string folder = dir_.Path() + "/" + name + "/";
        std::filesystem::create_directories(folder);
        return {url, folder};
    }
    FeedScheduler Scheduler(ScheduleRules rules = {}) {
        return FeedScheduler(rules, [this] { return now_; });
    }

    TempDir dir_;
    system_clock::time_point now_ = At("2026-12-09T10:00:00Z");
};

}  // namespace

TEST(FeedOutcomeTest, RepliesBecomeSuccessesFailuresOrGone) {
    const auto at = At("2026-12-09T10:00:00Z");
    FeedTransferResult refused;
    refused.outcome = FeedTransferResult::Outcome::SendFailed;
    refused.detail = "Couldn't connect to server";
    FeedTransferResult limited = Replied(429, "Too Many Requests");
    limited.retryAfter = "120";
    FeedTransferResult moved = Replied(200);
    moved.movedTo = "http://b.test/new";
    moved.cacheControl = "max-age=900";
    const struct {
        const char* what;
        FeedTransferResult result;
        FeedDocument document;
        FetchOutcome::Kind kind;
        const char* error;
    } cases[] = {
        {"a readable feed", moved, Readable(), FetchOutcome::Kind::Success, ""},
        {"304", Replied(304), FeedDocument{}, FetchOutcome::Kind::Success, ""},
        {"200 that is no feed", Replied(200), FeedDocument{}, FetchOutcome::Kind::Failure,
         "the reply is not a feed that can be read"},
        {"404", Replied(404, "Not Found"), FeedDocument{}, FetchOutcome::Kind::Failure, "HTTP 404 Not Found"},
        {"429", limited, FeedDocument{}, FetchOutcome::Kind::Failure, "HTTP 429 Too Many Requests"},
        {"410", Replied(410, "Gone"), FeedDocument{}, FetchOutcome::Kind::Gone, "HTTP 410 Gone"},
        {"no reply", refused, FeedDocument{}, FetchOutcome::Kind::Failure, "no reply: Couldn't connect to server"},
    };
    for (const auto& c : cases) {
        const FetchOutcome outcome = OutcomeOf(c.result, c.document, at);
        EXPECT_EQ(outcome.kind, c.kind) << c.what;
        EXPECT_EQ(outcome.error, c.error) << c.what;
    }
    EXPECT_EQ(OutcomeOf(limited, {}, at).retryAfter, seconds(120));
    const FetchOutcome success = OutcomeOf(moved, Readable(), at);
    EXPECT_EQ(success.movedTo, "http://b.test/new");
    EXPECT_EQ(success.freshFor, seconds(900));
    EXPECT_EQ(success.title, "A feed");
    EXPECT_EQ(OutcomeOf(Replied(200), FeedDocument{}, at).movedTo, "") << "a failure records no move";
}

TEST_F(FeedSchedulerTest, ARetryAfterHoldsBackEveryFeedOfItsHostAndNoOther) {
    const std::vector<ScheduledFeed> feeds = {Feed("http://busy.test/a", "a"), Feed("http://busy.test:80/b", "b"),
                                              Feed("http://other.test/c", "c")};
    FeedScheduler scheduler = Scheduler();
    ASSERT_EQ(scheduler.Due(feeds), (std::vector<bool>{true, true, true}));
    FeedTransferResult limited = Replied(429);
    limited.retryAfter = "120";
    EXPECT_EQ(scheduler.Record(feeds[0], limited, {}), "");
    EXPECT_EQ(scheduler.Record(feeds[1], Replied(200), Readable()), "");
    EXPECT_EQ(scheduler.Record(feeds[2], Replied(200), Readable()), "");
    now_ += seconds(119);
    EXPECT_EQ(scheduler.Due(feeds), (std::vector<bool>{false, false, true}));
    now_ += seconds(1);
    EXPECT_EQ(scheduler.Due(feeds), (std::vector<bool>{true, true, true}));
}

TEST_F(FeedSchedulerTest, TheStateIsWrittenToTheFeedFolderAndReadBackByTheNextRefresh) {
    const ScheduledFeed feed = Feed("http://a.test/feed", "a");
    {
        FeedScheduler scheduler = Scheduler(ScheduleRules{minutes(5), {}});
        scheduler.Due({feed});
        EXPECT_EQ(scheduler.Record(feed, Replied(500, "Internal Server Error"), {}), "");
    }
    const FetchStateRead read = ReadFetchState(feed.folder);
    ASSERT_EQ(read.status, FetchStateRead::Status::Read);
    EXPECT_EQ(read.state.url, "http://a.test/feed");
    EXPECT_EQ(read.state.lastStatus, 500);
    EXPECT_EQ(read.state.lastError, "HTTP 500 Internal Server Error");
    EXPECT_EQ(read.state.failingSince, At("2026-12-09T10:00:00Z"));
    FeedScheduler later = Scheduler(ScheduleRules{minutes(5), {}});
    now_ += minutes(4);
    EXPECT_EQ(later.Due({feed}), std::vector<bool>{false});
    now_ += minutes(1);
    EXPECT_EQ(later.Due({feed}), std::vector<bool>{true});
    later.Record(feed, Replied(200), Readable());
    EXPECT_EQ(ReadFetchState(feed.folder).state.failures, 0);
}

TEST_F(FeedSchedulerTest, ANewItemIsNotedWhenTheDocumentsItemsChange) {
    const ScheduledFeed feed = Feed("http://a.test/feed", "a");
    FeedScheduler scheduler = Scheduler(ScheduleRules{minutes(5), {}});
    const struct {
        std::vector<std::string> keys;
        long status;
        bool newItem;
    } steps[] = {
        {{"k1", "k2"}, 200, true},
        {{"k2", "k1"}, 200, false},  // the same items in another order
        {{"k1", "k2"}, 304, false},
        {{"k1", "k2", "k3"}, 200, true},
    };
    for (const auto& step : steps) {
        now_ += hours(1);
        scheduler.Due({feed});
        scheduler.Record(feed, Replied(step.status), Readable(step.keys));
        const FetchState state = ReadFetchState(feed.folder).state;
        EXPECT_EQ(state.lastNewItem == FetchState::Time(floor<seconds>(now_)), step.newItem) << step.keys.size();
    }
}

TEST_F(FeedSchedulerTest, ADamagedStateFileStartsTheFeedAfresh) {
    const ScheduledFeed feed = Feed("http://a.test/feed", "a");
    {
        std::FILE* file = std::fopen((feed.folder + kFetchStateFile).c_str(), "wb");
        std::fputs("\x01\x02 not a state\nfailures 9\n", file);
        std::fclose(file);
    }
    FeedScheduler scheduler = Scheduler();
    EXPECT_EQ(scheduler.Due({feed}), std::vector<bool>{true});
    EXPECT_EQ(scheduler.Record(feed, Replied(200), Readable()), "");
    EXPECT_EQ(ReadFetchState(feed.folder).status, FetchStateRead::Status::Read);
}
