#pragma once

#include "FeedHints.h"
#include "FetchState.h"

#include <chrono>
#include <optional>
#include <string>

// When each feed is asked for: after a success, after failures, when it moved or is
// gone. Pure: every time is passed in, nothing is read or written.

struct ScheduleRules {
    // refresh-interval: 0 asks at every mail check (see IsDue).
    std::chrono::minutes refreshInterval{0};
    // min-feed-interval: at a mail check, a feed asked for less long ago waits; 0: off.
    std::chrono::minutes minFeedInterval{0};
};

// No interval, back-off or Retry-After waits longer than a day.
inline constexpr std::chrono::seconds kLongestWait = std::chrono::hours(24);
// A feed that answered 410 Gone is tried again after a week.
inline constexpr std::chrono::seconds kGoneRetry = std::chrono::hours(24 * 7);
// The back-off doubles from at least this.
inline constexpr std::chrono::seconds kShortestBackOffBase = std::chrono::minutes(1);

// What one request of a feed came to.
struct FetchOutcome {
    enum class Kind {
        Success,  // a readable feed, or 304 Not Modified
        Failure,  // no reply, an error status, a document that is no feed
        Gone,     // 410 Gone
    };
    Kind kind = Kind::Failure;
    FetchState::Time at{};  // when the request was made
    int status = 0;         // HTTP status, 0 without a reply
    std::string error;      // why it failed, for the state and the report
    // A 429 or 503: how long the server asked to be left alone (Retry-After).
    std::optional<std::chrono::seconds> retryAfter;
    // Cache-Control max-age or Expires of a success.
    std::optional<std::chrono::seconds> freshFor;
    FeedSchedulingHints hints;
    bool newItems = false;  // the document holds an item not seen before
    std::string title;
    // A success reached through a 301 or 308: the feed's new address.
    std::string movedTo;
};

// The interval after a success: the largest of refresh-interval, the feed's ttl, its
// syndication period and the reply's freshness; at least a twenty-fourth of the time
// since the feed last brought a new item (a feed quiet for a week is asked every seven
// hours); at most a day.
std::chrono::seconds SuccessInterval(const ScheduleRules& rules, const FeedSchedulingHints& hints,
                                     std::optional<std::chrono::seconds> freshFor,
                                     std::optional<FetchState::Time> lastNewItem, FetchState::Time now);

// The first whole hour from `due` on that is neither a skipped hour nor on a skipped
// day (UTC); `due` itself when it is not skipped, or when every hour is.
FetchState::Time PastSkippedHours(FetchState::Time due, const FeedSchedulingHints& hints);

// The wait after the n-th failure in a row: 2^(n-1) x interval (at least a minute), at
// most a day.
std::chrono::seconds BackOff(int failures, std::chrono::seconds interval);

// The state after a request: request and success times, status, error, failures, next
// due, moved and gone. `listedUrl` is the address the feed list gives.
void ApplyOutcome(FetchState& state, const FetchOutcome& outcome, const ScheduleRules& rules,
                  const std::string& listedUrl);

// Whether the feed is to be asked for now. Failing and gone feeds wait for their next
// due time. Otherwise, with refresh-interval, a feed is due from its next due time on
// (a refresh whose tick falls up to a minute early takes it); without, it is due at
// every mail check unless it was asked for less than min-feed-interval before.
bool IsDue(const FetchState& state, FetchState::Time now, const ScheduleRules& rules);

// The address requests for the feed go to.
inline const std::string& RequestAddress(const FetchState& state, const std::string& listedUrl) {
    return state.movedTo.empty() ? listedUrl : state.movedTo;
}
