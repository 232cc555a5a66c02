#pragma once

#include "FeedScheduler.h"
#include "GatewayContext.h"
#include "RssHandler.h"

#include <cstddef>
#include <vector>

// The schedule applied to the handlers of one refresh.

// Which handlers are due now (see FeedScheduler::Due).
std::vector<bool> DueHandlers(FeedScheduler& scheduler, const std::vector<RssHandlerPointer>& handlers);

// Keeps list[i] where due[i]; the lists of a refresh stay parallel.
template <typename T>
void KeepDue(const std::vector<bool>& due, std::vector<T>& list) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size() && i < due.size(); ++i) {
        if (due[i]) list[kept++] = std::move(list[i]);
    }
    list.resize(kept);
}

// Records what the handler made of the reply it has just handled.
void RecordReply(FeedScheduler& scheduler, const RssHandler& handler, const FeedTransferResult& result);
