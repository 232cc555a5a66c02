#include "JsonFeedParser.h"

bool LooksLikeJsonFeed(std::string_view, std::string_view) { return false; }

FeedParseResult ParseJsonFeed(std::string_view, const FeedSource& source) {
    FeedParseResult result;
    result.feed.url = source.url;
    result.error = "JSON Feed is not read yet";
    return result;
}
