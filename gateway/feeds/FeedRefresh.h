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

// How a refresh that runs beside POP3 sessions handles its feeds. Every member is
// optional; the defaults handle everything in list order as soon as it can.
struct RefreshControl {
    // From this moment on a transferred feed is handed on as soon as it arrives instead
    // of in list order, so one late feed no longer holds back the feeds behind it.
    std::chrono::steady_clock::time_point anyOrderFrom = std::chrono::steady_clock::time_point::max();
    // Handles feed `index`'s finished transfer: its sentitems.xml read, its reply handled
    // (RssHandler::BeginDownload and FinishDownload), its messages stored. Called on the
    // thread that called DownloadFeeds, one feed after another; it may wait (for a
    // session to end).
    // Without it the handler's BeginDownload and FinishDownload are called.
    std::function<void(std::size_t index, const FeedTransferResult& result)> handle;
    // A stop request (shutdown) aborts the running transfers at once and handles
    // nothing more.
    std::stop_token stop;
    // Told after each handled feed: feeds handled so far, feeds of the refresh.
    RefreshProgress* progress = nullptr;
};

// Downloads every feed of one refresh and handles each reply. The transfers overlap: at
// most `concurrency` at once (1: one after the other) and at most four per host, over
// one multi handle, so connections to a host are reused. Everything else -- the
// sent-items reads, the handling of each reply with its log entries and the feed-error
// flag, latest.xml and the validators, normalisation, parsing and storing -- runs on the
// calling thread, feed by feed in list order (until control.anyOrderFrom), exactly as a
// one-at-a-time refresh does it, while the transfers run on a thread of their own: a
// big feed's parse or a slow sync never holds up the transfers of the others. Returns
// when every feed is handled.
void DownloadFeeds(const std::vector<RssHandlerPointer>& handlers, InternetSession& session,
                   int concurrency, const RefreshControl& control = {});
