#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

// What a document says about how often it is worth asking for: RSS ttl, the
// syndication module (sy:updatePeriod, sy:updateFrequency) and RSS skipHours/skipDays.
// Unset: the document says nothing.
struct FeedSchedulingHints {
    std::optional<std::chrono::minutes> ttl;
    // sy:updatePeriod divided by sy:updateFrequency.
    std::optional<std::chrono::seconds> updatePeriod;
    // Bit h set: the hour h (0-23, UTC) is skipped.
    std::uint32_t skipHours = 0;
    // Bit d set: the weekday d (0 Sunday ... 6 Saturday, UTC) is skipped.
    std::uint8_t skipDays = 0;

    bool operator==(const FeedSchedulingHints&) const = default;
};

// RSS ttl: whole minutes, white space around them allowed; nullopt for anything else
// and for 0 (no hint).
std::optional<std::chrono::minutes> ParseTtl(std::string_view text);

// sy:updatePeriod ("hourly", "daily", "weekly", "monthly", "yearly"; "" is daily) over
// sy:updateFrequency (times per period, "" is 1): the time between updates. nullopt
// when either text is not such a value.
std::optional<std::chrono::seconds> SyndicationPeriod(std::string_view period, std::string_view frequency);

// A skipHours hour (0-23; 24 is midnight, as RSS 0.91 counted), or nullopt.
std::optional<int> ParseSkipHour(std::string_view text);
// A skipDays day ("Monday" ... "Sunday", any case): 0 Sunday ... 6 Saturday, or nullopt.
std::optional<int> ParseSkipDay(std::string_view text);
