#pragma once

#include "RefreshProgress.h"
#include "RssHandler.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <vector>

class InternetSession;
struct FeedTransferResult;

// How a refresh that runs beside POP3 sessions files its feeds. Every member is
// optional; the defaults file everything in list order as soon as it can.
struct RefreshControl {
    // From this moment on a transferred feed is filed as soon as it arrives instead of
    // in list order, so one late feed no longer holds back the feeds behind it.
    std::chrono::steady_clock::time_point anyOrderFrom = std::chrono::steady_clock::time_point::max();
    // Asked before each feed is filed (its sentitems.xml read, its reply handled); false
    // defers the filing, the transfers go on. True obliges the caller to call filed.
    std::function<bool()> beginFiling;
    // Feed `index` is filed.
    std::function<void(std::size_t index)> filed;
    // Feed `index`'s reply has just been handled (before filed): for its schedule.
    std::function<void(std::size_t index, const FeedTransferResult& result)> handled;
    // Called when only deferred filing is left: waits until beginFiling may answer true
    // again; false ends the refresh without filing the rest.
    std::function<bool()> waitToFile;
    // A stop request (shutdown) aborts the running transfers at once and files nothing
    // more.
    std::stop_token stop;
    // Told after each filed feed: feeds filed so far, feeds of the refresh.
    RefreshProgress* progress = nullptr;
};

// Downloads, normalises and parses every feed of one refresh. Only the transfers
// overlap: at most `concurrency` at once (1: one after the other) and at most four per
// host, over one multi handle, so connections to a host are reused. Everything else --
// the sent-items reads, the handling of each reply with its log entries and the
// feed-error flag, normalisation and parsing -- runs handler by handler in list order,
// exactly as a one-at-a-time refresh does it (until control.anyOrderFrom).
void DownloadFeeds(const std::vector<RssHandlerPointer>& handlers, InternetSession& session,
                   int concurrency, const RefreshControl& control = {});
