#pragma once

#include "FeedDownload.h"
#include "FeedHints.h"
#include "FeedSchedule.h"
#include "FetchState.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

// One feed of the list as the scheduler sees it.
struct ScheduledFeed {
    std::string url;     // as the list gives it
    std::string folder;  // its feed folder, ending in "/"
};

// What the handling of a reply made of its document.
struct FeedDocument {
    bool readable = false;  // parsed as a feed (a 304 counts when its stored copy parsed)
    std::string title;
    FeedSchedulingHints hints;
    std::vector<std::string> itemKeys;  // the identities of its items (ItemIdentity)
};

// The transfer's result and the document as one outcome for the schedule. A 304 is a
// success; a 200 whose document is no feed is a failure.
FetchOutcome OutcomeOf(const FeedTransferResult& result, const FeedDocument& document, FetchState::Time at);

// The schedule of the feeds of one list: reads each feed's fetchstate.txt, says which
// are due, and records what each request came to. One refresh at a time uses it.
class FeedScheduler {
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    explicit FeedScheduler(ScheduleRules rules, WallClock clock = [] { return std::chrono::system_clock::now(); });

    // At the start of a refresh: due[i] says whether feeds[i] is to be requested now. A
    // feed whose host asked for a pause (429 or 503 with Retry-After) waits with it.
    std::vector<bool> Due(const std::vector<ScheduledFeed>& feeds);
    // After a due feed's reply was handled: its new state, written to its folder. The
    // request counts from the start of the refresh. "" or why it was not written.
    std::string Record(const ScheduledFeed& feed, const FeedTransferResult& result, const FeedDocument& document);

    const ScheduleRules& Rules() const { return rules_; }

private:
    ScheduleRules rules_;
    WallClock clock_;
    FetchState::Time refreshStart_{};
    // The states read by the last Due, by folder.
    std::map<std::string, FetchState> states_;
};
