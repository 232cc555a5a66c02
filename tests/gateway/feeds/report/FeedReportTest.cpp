#include "FeedReport.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {

FetchState::Time At(const char* text) { return ParseFetchTime(text).value(); }

const FetchState::Time kNow = At("2026-12-09T12:00:00Z");

FetchState Failing(hours since, int failures = 5) {
    FetchState state;
    state.failures = failures;
    state.failingSince = kNow - since;
    state.lastStatus = 500;
    state.lastError = "HTTP 500";
    return state;
}

FetchState Moved(std::string to) {
    FetchState state;
    state.movedTo = std::move(to);
    return state;
}

FetchState Gone() {
    FetchState state;
    state.goneSince = kNow - hours(30);
    return state;
}

FetchState Healthy(FetchState::Time success) {
    FetchState state;
    state.lastSuccess = success;
    state.lastStatus = 200;
    return state;
}

TEST(FeedReportTest, AFeedIsInTroubleWhenGoneMovedOrFailingForMoreThanADay) {
    struct Case {
        const char* name;
        FetchState state;
        std::optional<FeedTrouble> trouble;
    };
    FetchState movedAndGone = Gone();
    movedAndGone.movedTo = "http://h/new";
    FetchState staleSince = Failing(hours(48), 0);
    FetchState noSince = Failing(hours(48));
    noSince.failingSince.reset();
    FetchState movedAndFailing = Failing(hours(48));
    movedAndFailing.movedTo = "http://h/new";
    FetchState movedHere = Moved("http://h/old");
    const Case cases[] = {
        {"never requested", FetchState{}, std::nullopt},
        {"healthy", Healthy(kNow - hours(1)), std::nullopt},
        {"failing a day and an hour", Failing(hours(25)), FeedTrouble::Failing},
        {"failing exactly a day", Failing(hours(24)), std::nullopt},
        {"failing 23 hours", Failing(hours(23)), std::nullopt},
        {"a failing-since left without failures", staleSince, std::nullopt},
        {"failures without a start", noSince, std::nullopt},
        {"moved", Moved("http://h/new"), FeedTrouble::Moved},
        {"moved and failing", movedAndFailing, FeedTrouble::Moved},
        {"gone", Gone(), FeedTrouble::Gone},
        {"gone after a move", movedAndGone, FeedTrouble::Gone},
        {"moved where the feed list already points", movedHere, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(TroubleOf({"http://h/old", c.state}, kNow), c.trouble) << c.name;
}

struct PlanCase {
    const char* name;
    FeedReportState last;
    std::vector<ReportedFeed> feeds;
    FetchState::Time now;
    // The feeds the report lists, as "url trouble"; empty: no report.
    std::vector<std::string> listed;
};

std::string Describe(const FeedReportEntry& entry) {
    static const char* const kNames[] = {"failing", "moved", "gone", "recovered"};
    return entry.url + " " + kNames[static_cast<int>(entry.trouble)];
}

FeedReportState Filed(hours ago, std::vector<ListedTrouble> listed) {
    return {kNow - ago, std::move(listed)};
}

TEST(FeedReportTest, AReportIsFiledOnlyForNewsAtMostOnceADayAndAsAWeeklyReminder) {
    const ListedTrouble aFailing{"http://a", FeedTrouble::Failing, ""};
    const ListedTrouble bFailing{"http://b", FeedTrouble::Failing, ""};
    const PlanCase cases[] = {
        {"nothing in trouble", {}, {{"http://a", Healthy(kNow)}}, kNow, {}},
        {"a first trouble", {}, {{"http://a", Failing(hours(30))}, {"http://b", Healthy(kNow)}}, kNow, {"http://a failing"}},
        {"every kind, in list order",
         {},
         {{"http://g", Gone()}, {"http://m", Moved("http://m2")}, {"http://a", Failing(hours(30))}},
         kNow,
         {"http://g gone", "http://m moved", "http://a failing"}},
        {"the same trouble two days later", Filed(hours(48), {aFailing}), {{"http://a", Failing(hours(80))}}, kNow, {}},
        {"the same trouble a week later", Filed(hours(168), {aFailing}), {{"http://a", Failing(hours(200))}}, kNow,
         {"http://a failing"}},
        {"news within a day of the last report", Filed(hours(23), {aFailing}),
         {{"http://a", Failing(hours(50))}, {"http://b", Failing(hours(26))}}, kNow, {}},
        {"news a day after the last report", Filed(hours(24), {aFailing}),
         {{"http://a", Failing(hours(50))}, {"http://b", Failing(hours(26))}}, kNow,
         {"http://a failing", "http://b failing"}},
        {"working again since the last report", Filed(hours(30), {aFailing, bFailing}),
         {{"http://a", Healthy(kNow - hours(2))}, {"http://b", Failing(hours(60))}}, kNow,
         {"http://b failing", "http://a recovered"}},
        {"out of trouble without a success since", Filed(hours(30), {aFailing}),
         {{"http://a", Healthy(kNow - hours(31))}}, kNow, {}},
        {"working, but never listed", Filed(hours(30), {}), {{"http://a", Healthy(kNow)}}, kNow, {}},
        {"moved elsewhere", Filed(hours(30), {{"http://a", FeedTrouble::Moved, "http://a2"}}),
         {{"http://a", Moved("http://a3")}}, kNow, {"http://a moved"}},
        {"failing, then gone", Filed(hours(30), {aFailing}), {{"http://a", Gone()}}, kNow, {"http://a gone"}},
        {"a listed feed left the feed list", Filed(hours(30), {aFailing, bFailing}),
         {{"http://a", Failing(hours(60))}}, kNow, {}},
        {"a last report dated in the future", Filed(-hours(24 * 365), {aFailing}),
         {{"http://a", Failing(hours(60))}}, kNow, {"http://a failing"}},
        {"a feed listed twice", {}, {{"http://a", Failing(hours(30))}, {"http://a", Failing(hours(30))}}, kNow,
         {"http://a failing"}},
    };
    for (const PlanCase& c : cases) {
        const FeedReportPlan plan = PlanFeedReport(c.feeds, c.last, c.now);
        std::vector<std::string> listed;
        for (const FeedReportEntry& entry : plan.entries) listed.push_back(Describe(entry));
        EXPECT_EQ(listed, c.listed) << c.name;
        if (plan.entries.empty()) {
            EXPECT_EQ(plan.next.lastFiled, c.last.lastFiled) << c.name;
        } else {
            // The next state remembers this report and only what is still in trouble.
            EXPECT_EQ(plan.next.lastFiled, std::optional<FetchState::Time>(c.now)) << c.name;
            for (const ListedTrouble& listing : plan.next.listed)
                EXPECT_NE(listing.trouble, FeedTrouble::Recovered) << c.name;
        }
    }
    // Out of trouble without a success since: nothing to tell, but its next trouble is news.
    const FeedReportPlan quiet =
        PlanFeedReport({{"http://a", Healthy(kNow - hours(31))}}, Filed(hours(30), {aFailing}), kNow);
    EXPECT_TRUE(quiet.entries.empty());
    EXPECT_EQ(PlanFeedReport({{"http://a", Failing(hours(26))}}, quiet.next, kNow + hours(26)).entries.size(), 1u);
}

TEST(FeedReportTest, AFeedWorkingAgainIsToldOnceAndTheNextTroubleIsNewsAgain) {
    FeedReportState state;
    std::vector<ReportedFeed> feeds{{"http://a", Failing(hours(30))}};
    FeedReportPlan plan = PlanFeedReport(feeds, state, kNow);
    ASSERT_EQ(plan.entries.size(), 1u);
    state = plan.next;

    const FetchState::Time later = kNow + hours(25);
    feeds[0].state = Healthy(kNow + hours(1));
    plan = PlanFeedReport(feeds, state, later);
    ASSERT_EQ(plan.entries.size(), 1u);
    EXPECT_EQ(plan.entries[0].trouble, FeedTrouble::Recovered);
    state = plan.next;
    EXPECT_TRUE(state.listed.empty());
    // Told once: the next day has nothing to say.
    EXPECT_TRUE(PlanFeedReport(feeds, state, later + hours(25)).entries.empty());

    feeds[0].state.failures = 1;
    feeds[0].state.failingSince = later + hours(30);
    EXPECT_EQ(PlanFeedReport(feeds, state, later + hours(60)).entries.size(), 1u);
}

TEST(FeedReportTest, TheTextGivesEachFeedsTitleAddressSinceErrorAndNextTry) {
    FetchState failing = Failing(hours(50), 12);
    failing.title = "Broken news";
    failing.nextDue = At("2026-12-09T14:30:00Z");
    FetchState gone = Gone();
    gone.lastStatus = 410;
    gone.lastError = "HTTP 410 Gone";
    gone.nextDue = At("2026-12-16T12:00:00Z");
    FetchState moved = Moved("https://new.example/feed");
    moved.title = "Moved blog";
    moved.lastSuccess = At("2026-12-09T11:00:00Z");
    FetchState recovered = Healthy(At("2026-12-09T10:15:00Z"));
    recovered.title = "Back again";
    const std::vector<FeedReportEntry> entries{
        {FeedTrouble::Failing, "http://a/feed", failing},
        {FeedTrouble::Gone, "http://g/feed", gone},
        {FeedTrouble::Moved, "http://old.example/feed", moved},
        {FeedTrouble::Recovered, "http://r/feed", recovered},
    };
    EXPECT_EQ(FeedReportText(entries),
              "Some feeds of Quillo's feed list need your attention. log.txt has the details.\n"
              "\n"
              "Moved: write the new address into the feed list (Quillo already uses it):\n"
              "\n"
              "  Moved blog\n"
              "    address:      http://old.example/feed\n"
              "    new address:  https://new.example/feed\n"
              "    last success: 2026-12-09 11:00 UTC\n"
              "\n"
              "Gone: the server answered 410 Gone; Quillo asks again once a week:\n"
              "\n"
              "  http://g/feed\n"
              "    address:      http://g/feed\n"
              "    since:        2026-12-08 06:00 UTC\n"
              "    last error:   HTTP 410 Gone (HTTP 410)\n"
              "    next try:     2026-12-16 12:00 UTC\n"
              "\n"
              "Failing for more than a day:\n"
              "\n"
              "  Broken news\n"
              "    address:      http://a/feed\n"
              "    since:        2026-12-07 10:00 UTC (12 failures in a row)\n"
              "    last error:   HTTP 500 (HTTP 500)\n"
              "    next try:     2026-12-09 14:30 UTC\n"
              "\n"
              "Working again:\n"
              "\n"
              "  Back again\n"
              "    address:      http://r/feed\n"
              "    last success: 2026-12-09 10:15 UTC\n");
}

TEST(FeedReportTest, TheStateSurvivesItsTextAndAnythingElseIsNoState) {
    const FeedReportState state{At("2026-12-09T12:34:56Z"),
                                {{"http://a/f?x=1", FeedTrouble::Failing, ""},
                                 {"http://m/f", FeedTrouble::Moved, "https://m/g"},
                                 {"http://g/f", FeedTrouble::Gone, ""}}};
    EXPECT_EQ(ParseFeedReportState(SerialiseFeedReportState(state)), state);
    EXPECT_EQ(ParseFeedReportState(SerialiseFeedReportState({})), FeedReportState{});
    // A tab or line break inside an address cannot split a line or a field.
    const FeedReportState odd{std::nullopt, {{"http://a/\tb\nc", FeedTrouble::Failing, ""}}};
    const std::optional<FeedReportState> read = ParseFeedReportState(SerialiseFeedReportState(odd));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->listed.size(), 1u);
    EXPECT_EQ(read->listed[0].url, "http://a/ b c");
    // Lines a later version may add, or that do not read, are skipped.
    const std::optional<FeedReportState> tolerant = ParseFeedReportState(
        "quillo-feed-report 1\nlast-filed yesterday\nlisted broken\thttp://x\nlisted gone\nfuture 1\n"
        "listed gone\thttp://g\n");
    ASSERT_TRUE(tolerant);
    EXPECT_FALSE(tolerant->lastFiled);
    EXPECT_EQ(tolerant->listed, (std::vector<ListedTrouble>{{"http://g", FeedTrouble::Gone, ""}}));
    for (const char* text : {"", "quillo-fetch-state 1\n", "<?xml version=\"1.0\"?>"})
        EXPECT_FALSE(ParseFeedReportState(text)) << text;
}

}  // namespace
