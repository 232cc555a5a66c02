#pragma once

#include <chrono>
#include <optional>
#include <string_view>

// Reading the headers of a reply that say when to ask again. Pure functions: the time
// "now" is passed in.

// An HTTP date in any of the three forms a server may send (IMF-fixdate "Sun, 06 Nov
// 1994 08:49:37 GMT", RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT", asctime "Sun Nov  6
// 08:49:37 1994"); nullopt for anything else.
std::optional<std::chrono::sys_seconds> ParseHttpDate(std::string_view text);

// Retry-After: delay seconds, or an HTTP date, as the wait from now (0 when the date
// has passed); nullopt when the value is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view text, std::chrono::sys_seconds now);

// How long a reply stays fresh: Cache-Control max-age (no-cache and no-store: 0),
// else Expires minus the reply's Date (minus now without a Date). An Expires that does
// not read as a date is a time in the past (0). nullopt when the reply says nothing.
std::optional<std::chrono::seconds> FreshnessLifetime(std::string_view cacheControl, std::string_view expires,
                                                      std::string_view date, std::chrono::sys_seconds now);
