#pragma once

#include "Feed.h"

#include <string>
#include <string_view>
#include <vector>

// What the caller knows about the bytes besides the bytes themselves.
struct FeedSource {
    std::string url;          // the document's URL: the base of relative links
    std::string contentType;  // the reply's Content-Type, "" when unknown (a stored copy)
};

// The outcome of one parse. A document that yields neither a channel nor an item is a
// failure with its reason; a document that needed repair still gives its feed, and the
// notes say what was done, for the log.
struct FeedParseResult {
    bool ok = false;
    Feed feed;                        // url from the source; title, format and items
    std::string error;                // why nothing could be read (ok false)
    std::vector<std::string> notes;   // recoveries applied (ok true), one line each
    bool channelFound = false;        // an RSS channel or an Atom / JSON feed element was seen
};

// Bytes in memory to a Feed value: RSS 1.0, RSS 0.9x/2.0, Atom 0.3/1.0 and JSON Feed.
// Tolerates the faults of real servers (junk before the declaration, HTML entities,
// bare ampersands, cut-off documents, bytes not in the declared encoding). Never loads
// anything from the network or the disk.
FeedParseResult ParseFeed(std::string_view bytes, const FeedSource& source);
