#include "FetchState.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::chrono;

namespace {

FetchState::Time At(const char* text) { return ParseFetchTime(text).value(); }

FetchState FullState() {
    FetchState state;
    state.url = "http://example.test/feed?a=1&b=2";
    state.title = "Café news";
    state.lastRequest = At("2026-12-09T13:00:05Z");
    state.lastSuccess = At("2026-12-08T01:02:03Z");
    state.lastStatus = 503;
    state.lastError = "HTTP 503\r\nService Unavailable";
    state.failures = 4;
    state.failingSince = At("2026-12-07T00:00:00Z");
    state.nextDue = At("2026-12-10T00:00:00Z");
    state.interval = hours(2);
    state.lastNewItem = At("2026-11-30T23:59:59Z");
    state.movedTo = "https://example.test/new";
    state.goneSince = At("2026-12-01T12:00:00Z");
    state.retryAfter = At("2026-12-09T13:02:05Z");
    state.items = "0123456789abcdef0123456789abcdef";
    return state;
}

}  // namespace

TEST(FetchStateTest, EveryFieldSurvivesAWriteAndARead) {
    TempDir dir;
    const std::string folder = dir.Path() + "/";
    std::string error;
    ASSERT_TRUE(WriteFetchState(folder, FullState(), error)) << error;
    const FetchStateRead read = ReadFetchState(folder);
    ASSERT_EQ(read.status, FetchStateRead::Status::Read);
    const FetchState& state = read.state;
    EXPECT_EQ(state.url, "http://example.test/feed?a=1&b=2");
    EXPECT_EQ(state.title, "Café news");
    EXPECT_EQ(state.lastRequest, At("2026-12-09T13:00:05Z"));
    EXPECT_EQ(state.lastSuccess, At("2026-12-08T01:02:03Z"));
    EXPECT_EQ(state.lastStatus, 503);
    // A line break in a value cannot end the field early.
    EXPECT_EQ(state.lastError, "HTTP 503  Service Unavailable");
    EXPECT_EQ(state.failures, 4);
    EXPECT_EQ(state.failingSince, At("2026-12-07T00:00:00Z"));
    EXPECT_EQ(state.nextDue, At("2026-12-10T00:00:00Z"));
    EXPECT_EQ(state.interval, hours(2));
    EXPECT_EQ(state.lastNewItem, At("2026-11-30T23:59:59Z"));
    EXPECT_EQ(state.movedTo, "https://example.test/new");
    EXPECT_EQ(state.goneSince, At("2026-12-01T12:00:00Z"));
    EXPECT_EQ(state.retryAfter, At("2026-12-09T13:02:05Z"));
    EXPECT_EQ(state.items, "0123456789abcdef0123456789abcdef");
}

TEST(FetchStateTest, AMissingOrDamagedFileStartsTheFeedAfresh) {
    TempDir dir;
    const std::string folder = dir.Path() + "/";
    EXPECT_EQ(ReadFetchState(folder).status, FetchStateRead::Status::Missing);

    for (const char* bytes : {"", "\x00\x01garbage", "<?xml version=\"1.0\"?><x/>", "quillo-fetch-state 99\nurl x\n"}) {
        dir.Write(kFetchStateFile, bytes);
        const FetchStateRead read = ReadFetchState(folder);
        EXPECT_EQ(read.status, FetchStateRead::Status::Damaged) << bytes;
        EXPECT_FALSE(read.error.empty());
        EXPECT_EQ(read.state.failures, 0);
        EXPECT_FALSE(read.state.nextDue);
    }
    std::filesystem::remove(dir / kFetchStateFile);
    std::filesystem::create_directory(dir / kFetchStateFile);
    EXPECT_EQ(ReadFetchState(folder).status, FetchStateRead::Status::Damaged);
}

TEST(FetchStateTest, FieldsThatDoNotReadAreLeftUnsetAndUnknownOnesSkipped) {
    const auto state = ParseFetchState(
        "quillo-fetch-state 1\n"
        "url http://a.test/\n"
        "next-due 2026-02-30T00:00:00Z\n"
        "last-success 2026-12-09T25:00:00Z\n"
        "failures -3\n"
        "interval many\n"
        "colour blue\n"
        "no-value-line\n"
        "last-status 200");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->url, "http://a.test/");
    EXPECT_FALSE(state->nextDue);
    EXPECT_FALSE(state->lastSuccess);
    EXPECT_EQ(state->failures, 0);
    EXPECT_EQ(state->interval, seconds(0));
    EXPECT_EQ(state->lastStatus, 200);
}

TEST(FetchStateTest, TimesAreWrittenInUtcWithSeconds) {
    const auto time = sys_days(year(2026) / December / 9) + hours(7) + minutes(5) + seconds(9);
    EXPECT_EQ(FetchTimeText(time), "2026-12-09T07:05:09Z");
    EXPECT_EQ(ParseFetchTime("2026-12-09T07:05:09Z"), time);
    for (const char* bad : {"2026-12-09 07:05:09Z", "2026-12-09T07:05:09", "2026-13-01T00:00:00Z", "x"}) {
        EXPECT_FALSE(ParseFetchTime(bad)) << bad;
    }
}
