#include "FeedRefresh.h"

#include "InternetSession.h"

void DownloadFeeds(const std::vector<RssHandlerPointer>& handlers, InternetSession& session,
                   int) {
    for (const auto& handler : handlers) handler->Download(session);
}
