#include "DueFeeds.h"

#include "Trace.h"

namespace {

ScheduledFeed FeedOf(const RssHandler& handler) { return {handler.GetFeed()->url, handler.FeedFolder()}; }

}  // namespace

std::vector<bool> DueHandlers(FeedScheduler& scheduler, const std::vector<RssHandlerPointer>& handlers) {
    std::vector<ScheduledFeed> feeds;
    feeds.reserve(handlers.size());
    for (const auto& handler : handlers) feeds.push_back(FeedOf(*handler));
    return scheduler.Due(feeds);
}

void RecordReply(FeedScheduler& scheduler, const RssHandler& handler, const FeedTransferResult& result) {
    const Feed& feed = *handler.GetFeed();
    FeedDocument document;
    document.readable = feed.format != FeedFormat::Unknown;
    document.title = feed.title;
    document.hints = feed.hints;
    for (const auto* messages : {&handler.GetMailbox()->Pending(), &handler.GetMailbox()->Deleted()}) {
        for (const auto& message : *messages) document.itemKeys.push_back(handler.IdentityOf(*message));
    }
    const std::string error = scheduler.Record(FeedOf(handler), result, document);
    // The feed is then asked for as if it had no state; nothing else depends on it.
    if (!error.empty()) Trace("fetchstate.txt: " + error + ": " + handler.FeedFolder());
}
