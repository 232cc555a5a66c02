#include "FeedSchedule.h"

#include <gtest/gtest.h>

using namespace std::chrono;
using Time = FetchState::Time;

namespace {

Time At(const char* text) { return ParseFetchTime(text).value(); }

ScheduleRules Background(int minutes) { return ScheduleRules{std::chrono::minutes(minutes), {}}; }

FetchOutcome Success(Time at) {
    FetchOutcome outcome;
    outcome.kind = FetchOutcome::Kind::Success;
    outcome.at = at;
    outcome.status = 200;
    return outcome;
}

FetchOutcome Failure(Time at, int status, std::optional<seconds> retryAfter = std::nullopt) {
    FetchOutcome outcome;
    outcome.at = at;
    outcome.status = status;
    outcome.error = "HTTP " + std::to_string(status);
    outcome.retryAfter = retryAfter;
    if (status == 410) outcome.kind = FetchOutcome::Kind::Gone;
    return outcome;
}

}  // namespace

TEST(FeedScheduleTest, TheIntervalAfterASuccessIsTheLargestOfWhatTheSettingTheDocumentAndTheReplyAsk) {
    const Time now = At("2026-12-09T12:00:00Z");
    FeedSchedulingHints ttl90;
    ttl90.ttl = minutes(90);
    FeedSchedulingHints sy30;
    sy30.updatePeriod = minutes(30);
    FeedSchedulingHints ttlWeek;
    ttlWeek.ttl = hours(24 * 7);
    const struct {
        const char* what;
        int refreshMinutes;
        FeedSchedulingHints hints;
        std::optional<seconds> freshFor;
        std::optional<Time> lastNewItem;
        seconds expected;
    } cases[] = {
        {"refresh-interval alone", 5, {}, {}, now, minutes(5)},
        {"ttl above it", 5, ttl90, {}, now, minutes(90)},
        {"sy: period above it", 5, sy30, {}, now, minutes(30)},
        {"max-age above all", 5, sy30, seconds(3600), now, seconds(3600)},
        {"refresh-interval above a short max-age", 60, {}, seconds(60), now, minutes(60)},
        {"never more than a day", 5, ttlWeek, {}, now, hours(24)},
        {"a feed quiet for two days: an hour in 24 of that", 5, {}, {}, now - hours(48), hours(2)},
        {"a feed quiet for four weeks: a day", 5, {}, {}, now - hours(24 * 28), hours(24)},
        {"a busy feed keeps the setting", 5, {}, {}, now - hours(1), minutes(5)},
        {"no refresh-interval, no hint", 0, {}, {}, now, seconds(0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SuccessInterval(Background(c.refreshMinutes), c.hints, c.freshFor, c.lastNewItem, now), c.expected)
            << c.what;
    }
}

TEST(FeedScheduleTest, SkippedHoursAndDaysMoveTheRequestToTheFirstHourAfterThem) {
    FeedSchedulingHints nights;
    for (int h : {0, 1, 2, 3, 4, 5}) nights.skipHours |= 1u << h;
    FeedSchedulingHints weekend;
    weekend.skipDays = (1u << 0) | (1u << 6);  // Sunday, Saturday
    FeedSchedulingHints always;
    always.skipHours = (1u << 24) - 1;
    const struct {
        const char* what;
        FeedSchedulingHints hints;
        const char* due;
        const char* expected;
    } cases[] = {
        {"not skipped", nights, "2026-12-09T12:34:56Z", "2026-12-09T12:34:56Z"},
        {"in a skipped hour", nights, "2026-12-09T01:30:00Z", "2026-12-09T06:00:00Z"},
        {"skipped hours over midnight", nights, "2026-12-08T23:59:59Z", "2026-12-08T23:59:59Z"},
        // 2026-12-12 is a Saturday.
        {"on a skipped day", weekend, "2026-12-12T10:00:00Z", "2026-12-14T00:00:00Z"},
        {"every hour skipped: the hint is ignored", always, "2026-12-09T10:15:00Z", "2026-12-09T10:15:00Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(PastSkippedHours(At(c.due), c.hints), At(c.expected)) << c.what;
}

TEST(FeedScheduleTest, BackOffDoublesFromTheIntervalOrAMinuteUpToADay) {
    const struct {
        int failures;
        seconds interval;
        seconds expected;
    } cases[] = {
        {1, seconds(0), minutes(1)},   {2, seconds(0), minutes(2)},  {3, seconds(0), minutes(4)},
        {5, seconds(0), minutes(16)},  {1, minutes(30), minutes(30)}, {3, minutes(30), hours(2)},
        {6, minutes(30), hours(16)},   {7, minutes(30), hours(24)},  {60, minutes(30), hours(24)},
        {1000, seconds(0), hours(24)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BackOff(c.failures, c.interval), c.expected) << c.failures << " x " << c.interval.count();
    }
}

TEST(FeedScheduleTest, FailuresInARowWaitLongerUntilOneSuccessEndsTheWait) {
    const ScheduleRules rules = Background(5);
    FetchState state;
    Time now = At("2026-12-09T00:00:00Z");
    ApplyOutcome(state, Success(now), rules, "http://a.test/feed");
    EXPECT_EQ(state.nextDue, now + minutes(5));
    std::vector<seconds> waits;
    for (int n = 1; n <= 5; ++n) {
        now = *state.nextDue;
        ASSERT_TRUE(IsDue(state, now, rules));
        ApplyOutcome(state, Failure(now, 500), rules, "http://a.test/feed");
        EXPECT_FALSE(IsDue(state, now + seconds(1), rules));
        waits.push_back(*state.nextDue - now);
    }
    EXPECT_EQ(waits, (std::vector<seconds>{minutes(5), minutes(10), minutes(20), minutes(40), minutes(80)}));
    EXPECT_EQ(state.failures, 5);
    EXPECT_EQ(state.failingSince, At("2026-12-09T00:05:00Z"));
    EXPECT_EQ(state.lastError, "HTTP 500");
    FetchOutcome back = Success(*state.nextDue);
    back.newItems = true;  // else the quiet hours since the first success lengthen the interval
    ApplyOutcome(state, back, rules, "http://a.test/feed");
    EXPECT_EQ(state.failures, 0);
    EXPECT_FALSE(state.failingSince);
    EXPECT_EQ(state.lastError, "");
    EXPECT_EQ(*state.nextDue - *state.lastRequest, minutes(5));
}

TEST(FeedScheduleTest, RetryAfterOfA429Or503IsKeptUpToADayAndOtherStatusesIgnoreIt) {
    const Time now = At("2026-12-09T10:00:00Z");
    const struct {
        int status;
        std::optional<seconds> retryAfter;
        std::optional<seconds> hostWait;
        seconds wait;
    } cases[] = {
        {429, seconds(120), seconds(120), seconds(120)},
        {503, seconds(3600), seconds(3600), seconds(3600)},
        {429, hours(72), hours(24), hours(24)},
        {503, std::nullopt, std::nullopt, minutes(1)},
        {500, seconds(120), std::nullopt, minutes(1)},
    };
    for (const auto& c : cases) {
        FetchState state;
        ApplyOutcome(state, Failure(now, c.status, c.retryAfter), ScheduleRules{}, "http://a.test/");
        EXPECT_EQ(state.retryAfter ? std::optional<seconds>(*state.retryAfter - now) : std::nullopt, c.hostWait)
            << c.status;
        EXPECT_EQ(*state.nextDue - now, c.wait) << c.status;
        EXPECT_FALSE(IsDue(state, now + c.wait - seconds(1), ScheduleRules{})) << c.status;
        EXPECT_TRUE(IsDue(state, now + c.wait, ScheduleRules{})) << c.status;
    }
}

TEST(FeedScheduleTest, AGoneFeedIsTriedAgainAfterAWeekAndASuccessBringsItBack) {
    FetchState state;
    const Time now = At("2026-12-09T10:00:00Z");
    for (const ScheduleRules& rules : {ScheduleRules{}, Background(5)}) {
        state = FetchState{};
        ApplyOutcome(state, Failure(now, 410), rules, "http://a.test/");
        EXPECT_EQ(state.goneSince, now);
        EXPECT_FALSE(IsDue(state, now + hours(24 * 7) - seconds(1), rules));
        EXPECT_TRUE(IsDue(state, now + hours(24 * 7), rules));
        ApplyOutcome(state, Failure(now + hours(24 * 7), 410), rules, "http://a.test/");
        EXPECT_EQ(state.goneSince, now) << "gone since the first 410";
        ApplyOutcome(state, Success(now + hours(24 * 14)), rules, "http://a.test/");
        EXPECT_FALSE(state.goneSince);
    }
}

TEST(FeedScheduleTest, WithoutRefreshIntervalEveryCheckAsksUnlessMinFeedIntervalOrAWaitSaysOtherwise) {
    const Time now = At("2026-12-09T10:00:00Z");
    FetchState state;
    ApplyOutcome(state, Success(now), ScheduleRules{}, "http://a.test/");
    EXPECT_FALSE(state.nextDue);
    EXPECT_TRUE(IsDue(state, now, ScheduleRules{}));
    const ScheduleRules spaced{minutes(0), minutes(10)};
    ApplyOutcome(state, Success(now), spaced, "http://a.test/");
    EXPECT_FALSE(IsDue(state, now + minutes(9), spaced));
    EXPECT_TRUE(IsDue(state, now + minutes(10), spaced));
    // The document's hints do not hold back a mail check.
    FetchOutcome hinted = Success(now);
    hinted.hints.ttl = minutes(600);
    ApplyOutcome(state, hinted, ScheduleRules{}, "http://a.test/");
    EXPECT_TRUE(IsDue(state, now + seconds(1), ScheduleRules{}));
}

TEST(FeedScheduleTest, ABackgroundTickALittleEarlyTakesTheFeedButNotOneDueLater) {
    const ScheduleRules rules = Background(5);
    FetchState state;
    const Time now = At("2026-12-09T10:00:00Z");
    ApplyOutcome(state, Success(now), rules, "http://a.test/");
    EXPECT_FALSE(IsDue(state, now + minutes(3), rules));
    EXPECT_TRUE(IsDue(state, now + minutes(5) - seconds(2), rules));
    EXPECT_TRUE(IsDue(FetchState{}, now, rules)) << "a feed never asked is due";
    // With ticks a minute apart, half a tick early at most.
    const ScheduleRules everyMinute = Background(1);
    ApplyOutcome(state, Success(now), everyMinute, "http://a.test/");
    EXPECT_FALSE(IsDue(state, now + seconds(29), everyMinute));
    EXPECT_TRUE(IsDue(state, now + seconds(30), everyMinute));
}

TEST(FeedScheduleTest, AMoveIsKeptUntilTheListGivesTheNewAddress) {
    const Time now = At("2026-12-09T10:00:00Z");
    FetchState state;
    FetchOutcome moved = Success(now);
    moved.movedTo = "http://b.test/new";
    ApplyOutcome(state, moved, ScheduleRules{}, "http://a.test/old");
    EXPECT_EQ(state.movedTo, "http://b.test/new");
    EXPECT_EQ(RequestAddress(state, "http://a.test/old"), "http://b.test/new");
    // A failure at the new address keeps it.
    ApplyOutcome(state, Failure(now, 500), ScheduleRules{}, "http://a.test/old");
    EXPECT_EQ(state.movedTo, "http://b.test/new");
    ApplyOutcome(state, Success(now + hours(1)), ScheduleRules{}, "http://b.test/new");
    EXPECT_EQ(state.movedTo, "");
    EXPECT_EQ(state.url, "http://b.test/new");
}
