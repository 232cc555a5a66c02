#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// An instant as a feed states it: the moment, and the zone offset the feed wrote it in,
// so that the Date field keeps the item's own offset.
struct MailInstant {
    std::int64_t utcSeconds = 0;  // since 1970-01-01T00:00:00Z
    int offsetMinutes = 0;        // east of UTC
};

// A W3C-DTF (RFC 3339) value: "2026-12-09T16:00:00+09:00", "2026-12-09T07:00:00Z",
// "2026-12-09" (midnight UTC). A time without a zone is read as UTC; a space may stand
// for the T, and "+0900" or "+09" for "+09:00". nullopt for anything that is not a
// whole calendar date with a valid time.
std::optional<MailInstant> ParseW3cInstant(std::string_view text);

// An RFC 822 / RFC 5322 date as RSS pubDate writes it: "Wed, 09 Dec 2026 16:00:00 +0900".
// Read leniently, as feeds write it: the day name optional (and not checked), full month
// names, two-digit years, no seconds, "+09:00", named zones (GMT, UT, EST ... PDT, JST
// and other common ones; an unknown name or none at all is UTC), comments in parentheses.
std::optional<MailInstant> ParseRfc822Instant(std::string_view text);

// Either form, the given one first: feeds put ISO dates in pubDate and the other way round.
std::optional<MailInstant> ParseFeedDate(std::string_view text, bool w3cFirst);

// The Date text of a message: "Wed, 09 Dec 2026 16:00:00 +0900", the instant in its own
// offset, with the day name and a numeric zone.
std::string FormatMailDate(const MailInstant& instant);

// The machine's offset from UTC at that moment, in minutes east, from the C library's
// local time zone (TZ, /etc/localtime).
int LocalOffsetMinutes(std::time_t when);

// The moment in the machine's own zone.
MailInstant LocalInstant(std::time_t when);

// Date texts as versions before RFC 5322 dates wrote them, which their delivered records
// hold. The local clock with a fixed "+0900" label whatever the zone:
// "07 Dec 2026 03:16:51 +0900".
std::string LegacyClockDate(std::time_t when);

// A W3C-DTF value cut at fixed places ("01 Jun 2005 12:34:56 +0900", "01 Jun 2005
// 03:04:05Z", "01 Jun 2005"); hasTime is set when the value has a time part. nullopt,
// with hasTime untouched, for a value shorter than ten characters or without a month
// "01" to "12": that version kept the text it had.
std::optional<std::string> LegacyW3cDate(std::string_view value, bool& hasTime);
