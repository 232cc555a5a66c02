#include "FeedScheduler.h"

#include "ConcurrentDownloader.h"
#include "FeedFolder.h"
#include "HttpReplyHeaders.h"

#include <algorithm>
#include <cstdio>

namespace {

using Time = FetchState::Time;

Time Now(const FeedScheduler::WallClock& clock) { return std::chrono::floor<std::chrono::seconds>(clock()); }

// A lost state only means a fresh start for its feed: no sync per feed and refresh.
const FileSystemCalls& UnsyncedCalls() {
    static const FileSystemCalls calls = [] {
        FileSystemCalls unsynced = SystemFileCalls();
        unsynced.fsync = [](int) { return 0; };
        return unsynced;
    }();
    return calls;
}

std::string ItemsDigest(std::vector<std::string> keys) {
    if (keys.empty()) return "";
    std::sort(keys.begin(), keys.end());
    std::string joined;
    for (const std::string& key : keys) joined.append(key).push_back('\n');
    char digest[40];
    std::snprintf(digest, sizeof digest, "%016llx%016llx", HashText(joined, 1), HashText(joined, 2));
    return digest;
}

}  // namespace

FetchOutcome OutcomeOf(const FeedTransferResult& result, const FeedDocument& document, Time at) {
    using Outcome = FeedTransferResult::Outcome;
    FetchOutcome outcome;
    outcome.at = at;
    switch (result.outcome) {
        case Outcome::NoConnection:
            outcome.error = "no connection could be set up";
            return outcome;
        case Outcome::OpenFailed:
            outcome.error = "the address cannot be requested";
            return outcome;
        case Outcome::SendFailed:
            outcome.error = "no reply: " + result.detail;
            return outcome;
        case Outcome::Replied:
            break;
    }
    outcome.status = static_cast<int>(result.status);
    if (result.status == 410) {
        outcome.kind = FetchOutcome::Kind::Gone;
        outcome.error = "HTTP 410 " + (result.statusText.empty() ? std::string("Gone") : result.statusText);
        return outcome;
    }
    if (result.status != 200 && result.status != 304 && result.status != 0) {
        outcome.error = "HTTP " + std::to_string(result.status) + (result.statusText.empty() ? "" : " " + result.statusText);
        if (result.status == 429 || result.status == 503) outcome.retryAfter = ParseRetryAfter(result.retryAfter, at);
        return outcome;
    }
    if (result.status != 304 && !document.readable) {
        outcome.error = "the reply is not a feed that can be read";
        return outcome;
    }
    outcome.kind = FetchOutcome::Kind::Success;
    outcome.freshFor = FreshnessLifetime(result.cacheControl, result.expires, result.date, at);
    outcome.hints = document.hints;
    outcome.title = document.title;
    outcome.movedTo = result.movedTo;
    return outcome;
}

FeedScheduler::FeedScheduler(ScheduleRules rules, WallClock clock) : rules_(rules), clock_(std::move(clock)) {}

std::vector<bool> FeedScheduler::Due(const std::vector<ScheduledFeed>& feeds) {
    refreshStart_ = Now(clock_);
    states_.clear();
    // The latest time each host asked to be left alone until.
    std::map<std::string, Time> hostWaits;
    for (const ScheduledFeed& feed : feeds) {
        if (states_.count(feed.folder)) continue;
        FetchState& state = states_[feed.folder] = ReadFetchState(feed.folder).state;
        if (state.retryAfter && *state.retryAfter > refreshStart_) {
            Time& until = hostWaits[ConcurrentDownloader::HostKey(RequestAddress(state, feed.url))];
            until = std::max(until, *state.retryAfter);
        }
    }
    std::vector<bool> due;
    due.reserve(feeds.size());
    for (const ScheduledFeed& feed : feeds) {
        const FetchState& state = states_[feed.folder];
        const auto wait = hostWaits.find(ConcurrentDownloader::HostKey(RequestAddress(state, feed.url)));
        due.push_back(wait == hostWaits.end() && IsDue(state, refreshStart_, rules_));
    }
    return due;
}

std::string FeedScheduler::Record(const ScheduledFeed& feed, const FeedTransferResult& result,
                                  const FeedDocument& document) {
    FetchState& state = states_[feed.folder];
    FetchOutcome outcome = OutcomeOf(result, document, refreshStart_);
    if (outcome.kind == FetchOutcome::Kind::Success && document.readable) {
        std::string digest = ItemsDigest(document.itemKeys);
        outcome.newItems = !digest.empty() && digest != state.items;
        if (!digest.empty()) state.items = std::move(digest);
    }
    ApplyOutcome(state, outcome, rules_, feed.url);
    std::string error;
    if (!WriteFetchState(feed.folder, state, error, UnsyncedCalls())) return error;
    return "";
}
