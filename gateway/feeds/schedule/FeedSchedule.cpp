#include "FeedSchedule.h"

#include <algorithm>

namespace {

using std::chrono::seconds;
using Time = FetchState::Time;

// A refresh tick that comes a little before a feed's due time (the clocks of the tick
// and of the records drift apart by the length of a refresh) still takes the feed.
constexpr seconds kTickTolerance = std::chrono::minutes(1);

}  // namespace

seconds SuccessInterval(const ScheduleRules& rules, const FeedSchedulingHints& hints, std::optional<seconds> freshFor,
                        std::optional<Time> lastNewItem, Time now) {
    seconds interval = rules.refreshInterval;
    if (hints.ttl) interval = std::max<seconds>(interval, *hints.ttl);
    if (hints.updatePeriod) interval = std::max(interval, *hints.updatePeriod);
    if (freshFor) interval = std::max(interval, *freshFor);
    if (lastNewItem && *lastNewItem < now) interval = std::max(interval, (now - *lastNewItem) / 24);
    return std::min(interval, kLongestWait);
}

Time PastSkippedHours(Time due, const FeedSchedulingHints& hints) {
    if (hints.skipHours == 0 && hints.skipDays == 0) return due;
    auto skipped = [&hints](Time at) {
        const auto day = std::chrono::floor<std::chrono::days>(at);
        const unsigned weekday = std::chrono::weekday(day).c_encoding();
        const auto hour = std::chrono::duration_cast<std::chrono::hours>(at - day).count();
        return (hints.skipHours >> hour & 1u) != 0 || (hints.skipDays >> weekday & 1u) != 0;
    };
    if (!skipped(due)) return due;
    Time hour = std::chrono::floor<std::chrono::hours>(due);
    for (int i = 0; i < 24 * 7; ++i) {
        hour += std::chrono::hours(1);
        if (!skipped(hour)) return hour;
    }
    return due;  // every hour of the week skipped: the hint is ignored
}

seconds BackOff(int failures, seconds interval) {
    seconds wait = std::max(interval, kShortestBackOffBase);
    for (int i = 1; i < failures && wait < kLongestWait; ++i) wait *= 2;
    return std::min(wait, kLongestWait);
}

void ApplyOutcome(FetchState& state, const FetchOutcome& outcome, const ScheduleRules& rules,
                  const std::string& listedUrl) {
    state.url = listedUrl;
    state.lastRequest = outcome.at;
    state.lastStatus = outcome.status;
    // The list now names the new address itself.
    if (state.movedTo == listedUrl) state.movedTo.clear();
    if (outcome.kind == FetchOutcome::Kind::Success) {
        state.lastSuccess = outcome.at;
        state.lastError.clear();
        state.failures = 0;
        state.failingSince.reset();
        state.goneSince.reset();
        state.retryAfter.reset();
        if (!outcome.title.empty()) state.title = outcome.title;
        if (outcome.newItems || !state.lastNewItem) state.lastNewItem = outcome.at;
        if (!outcome.movedTo.empty()) state.movedTo = outcome.movedTo == listedUrl ? "" : outcome.movedTo;
        state.interval = SuccessInterval(rules, outcome.hints, outcome.freshFor, state.lastNewItem, outcome.at);
        if (rules.refreshInterval.count() > 0) {
            state.nextDue = PastSkippedHours(outcome.at + state.interval, outcome.hints);
        } else if (rules.minFeedInterval.count() > 0) {
            state.nextDue = outcome.at + rules.minFeedInterval;
        } else {
            state.nextDue.reset();  // the next mail check
        }
        return;
    }
    state.lastError = outcome.error;
    ++state.failures;
    if (!state.failingSince) state.failingSince = outcome.at;
    state.retryAfter.reset();
    if (outcome.kind == FetchOutcome::Kind::Gone) {
        if (!state.goneSince) state.goneSince = outcome.at;
        state.nextDue = outcome.at + kGoneRetry;
        return;
    }
    state.goneSince.reset();
    if (outcome.retryAfter && (outcome.status == 429 || outcome.status == 503)) {
        const Time until = outcome.at + std::min(*outcome.retryAfter, kLongestWait);
        state.retryAfter = until;
        state.nextDue = until;
        return;
    }
    // Without refresh-interval the feed's interval is the time between mail checks,
    // which only min-feed-interval bounds.
    const seconds interval = rules.refreshInterval.count() == 0 ? seconds(rules.minFeedInterval)
                             : state.interval.count() > 0       ? state.interval
                                                                : seconds(rules.refreshInterval);
    state.nextDue = outcome.at + BackOff(state.failures, interval);
}

bool IsDue(const FetchState& state, Time now, const ScheduleRules& rules) {
    if (state.failures > 0 || state.goneSince) return !state.nextDue || now >= *state.nextDue;
    if (rules.refreshInterval.count() > 0) {
        const seconds tolerance = std::min(kTickTolerance, seconds(rules.refreshInterval) / 2);
        return !state.nextDue || now + tolerance >= *state.nextDue;
    }
    if (rules.minFeedInterval.count() > 0 && state.lastRequest) return now >= *state.lastRequest + rules.minFeedInterval;
    return true;
}
