#pragma once

#include <string>

#include "HttpClient.h"

// The addresses of a Bulkfeeds host: its OPML search (field 0 title, 1 description,
// 2 link) and its feed discovery for a page.
std::string BulkfeedsSearchUrl(const std::string& host, const std::string& text, int field);
std::string BulkfeedsDiscoverUrl(const std::string& host, const std::string& apiKey,
                                 const std::string& pageUrl);

// The feed address of a discovery answer, between <success> and </success>; empty
// when the answer names none.
std::string ParseDiscoverAnswer(const std::string& response);

// The feed a page announces, or the page itself when it is a feed; empty when it
// names none. pageFetched tells whether the page answered at all.
std::string FindFeedOfPage(HttpClient& http, const std::string& pageUrl, bool* pageFetched);
