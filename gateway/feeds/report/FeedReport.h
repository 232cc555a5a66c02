#pragma once

#include "FetchState.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The feed report: one message "Quillo: feed report" that tells a user who never reads
// log.txt which feeds of the list are in trouble. Deciding and wording it is pure:
// the fetch states and the moment go in, the entries and the text come out.

// One feed of the feed list with the fetch state its folder holds (a fresh state for a
// feed never requested).
struct ReportedFeed {
    std::string url;  // as the feed list gives it
    FetchState state;
};

enum class FeedTrouble {
    Failing,    // failed in a row for more than a day
    Moved,      // a permanent redirect led to an address that works
    Gone,       // the server answered 410 Gone
    Recovered,  // was in trouble in the last report and has been fetched since
};

// What a report listed of one feed; a feed whose line changes is news again.
struct ListedTrouble {
    std::string url;
    FeedTrouble trouble = FeedTrouble::Failing;
    std::string movedTo;  // for Moved: where it went
    bool operator==(const ListedTrouble&) const = default;
};

// The report's own memory, kept between runs: when the last one was filed and what it
// listed as in trouble.
struct FeedReportState {
    std::optional<FetchState::Time> lastFiled;
    std::vector<ListedTrouble> listed;
    bool operator==(const FeedReportState&) const = default;
};

struct FeedReportEntry {
    FeedTrouble trouble = FeedTrouble::Failing;
    std::string url;
    FetchState state;
};

// A failing feed is in trouble once its run of failures is older than this.
inline constexpr std::chrono::hours kFailingReportAfter{24};
// Reports are at least this far apart.
inline constexpr std::chrono::hours kReportSpacing{24};
// Trouble that has not changed is reported again after this long.
inline constexpr std::chrono::hours kReportReminder{24 * 7};

// The trouble of one feed now, if any (never Recovered: that needs the last report).
// Gone before moved before failing: a gone feed's new address would not be asked. A
// feed whose list already names the address it moved to has moved no more.
std::optional<FeedTrouble> TroubleOf(const ReportedFeed& feed, FetchState::Time now);

// What to do after a refresh.
struct FeedReportPlan {
    // The feeds to list, in feed-list order, those in trouble first, then the ones
    // working again; empty: no report now.
    std::vector<FeedReportEntry> entries;
    // The state to keep: with a report, the one it makes; without, the old one or the
    // old one with its listed feeds cleared when none is in trouble any more.
    FeedReportState next;
};

// The rule: a report is filed at most once per kReportSpacing, and only when there is
// news: a feed newly in trouble (or in another trouble, or moved elsewhere), or a feed
// the last report listed that has been fetched since and is in trouble no more. Trouble
// that persists unchanged is reported again after kReportReminder. A feed the last
// report listed that left the feed list, or that is in trouble no more without a
// success since, is dropped quietly. A last report dated in the future (a clock set
// back) does not hold the next one up.
FeedReportPlan PlanFeedReport(const std::vector<ReportedFeed>& feeds, const FeedReportState& last,
                              FetchState::Time now);

// The body of the report (UTF-8, LF lines): the feeds grouped by trouble, each with its
// title, address, since when, last error, next try, and for a moved feed the address
// to write into the feed list.
std::string FeedReportText(const std::vector<FeedReportEntry>& entries);

// "2026-12-09 13:00 UTC", the way the report and `Quillo --status` show a moment.
std::string ReportTimeText(FetchState::Time time);

// The report state as text, and back (nullopt: not such a file).
std::string SerialiseFeedReportState(const FeedReportState& state);
std::optional<FeedReportState> ParseFeedReportState(std::string_view text);
