#include "FeedParser.h"

FeedParseResult ParseFeed(std::string_view, const FeedSource& source) {
    FeedParseResult result;
    result.feed.url = source.url;
    return result;
}
