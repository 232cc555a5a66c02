// Any bytes through the feed parser alone, with every recovery it may try: it must
// never crash, hang or leak, and what it gives must hold together.
#include "FeedParser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const FeedParseResult result = ParseFeed(bytes, FeedSource{"http://127.0.0.1/dir/feed.xml", ""});
    if (!result.ok && !result.feed.items.empty()) std::abort();
    if (result.ok && result.error.size()) std::abort();
    for (const FeedItem& item : result.feed.items) {
        if (!item.rawLink.empty() && item.rawLink == item.link) std::abort();
    }
    return 0;
}
