#pragma once

#include "FeedParser.h"

#include <string_view>

// True when the bytes should be read as JSON Feed: the content type says JSON, or the
// body (after white space and a byte order mark) starts with "{".
bool LooksLikeJsonFeed(std::string_view bytes, std::string_view contentType);

// JSON Feed 1.0 and 1.1 to a Feed value (format JsonFeed).
FeedParseResult ParseJsonFeed(std::string_view bytes, const FeedSource& source);
