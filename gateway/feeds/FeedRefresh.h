#pragma once

#include "RssHandler.h"

#include <vector>

class InternetSession;

// Downloads, normalises and parses every feed of one refresh. Only the transfers
// overlap: at most `concurrency` at once (1: one after the other) and at most four per
// host, over one multi handle, so connections to a host are reused. Everything else --
// the sent-items reads, the handling of each reply with its log entries and the
// feed-error flag, normalisation and parsing -- runs handler by handler in list order,
// exactly as a one-at-a-time refresh does it.
void DownloadFeeds(const std::vector<RssHandlerPointer>& handlers, InternetSession& session,
                   int concurrency);
