#pragma once

#include <string>
#include <vector>

// Finds the feeds a web page announces the way browsers do: every
// <link rel="alternate" type="application/rss+xml|application/atom+xml" href=...>
// in document order, with the address resolved against the page URL (or the
// page's <base href>). Comments, scripts and style blocks are skipped. The
// page is taken as bytes; attribute values are decoded from HTML entities.
std::vector<std::string> FindFeedLinks(const std::string& html, const std::string& pageUrl);

// Resolves a possibly relative reference against a base URL.
std::string ResolveUrl(const std::string& base, const std::string& reference);
