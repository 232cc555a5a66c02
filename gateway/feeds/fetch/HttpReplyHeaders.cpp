#include "HttpReplyHeaders.h"

#include "TextUtil.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <vector>

namespace {

using std::chrono::sys_seconds;

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::optional<long long> Number(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<unsigned> Month(std::string_view name) {
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (EqualsIgnoringCase(name, kMonths[i])) return static_cast<unsigned>(i + 1);
    }
    return std::nullopt;
}

// "08:49:37" to seconds of the day.
std::optional<long long> TimeOfDay(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto h = Number(text.substr(0, 2));
    const auto m = Number(text.substr(3, 2));
    const auto s = Number(text.substr(6, 2));
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 60) return std::nullopt;
    return *h * 3600 + *m * 60 + std::min(*s, 59LL);
}

std::optional<sys_seconds> Compose(long long year, unsigned month, long long day, long long seconds) {
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(year)), std::chrono::month(month),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || year < 1900 || year > 9999) return std::nullopt;
    return sys_seconds(std::chrono::sys_days(date)) + std::chrono::seconds(seconds);
}

// The text split at runs of blanks.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

}  // namespace

std::optional<sys_seconds> ParseHttpDate(std::string_view text) {
    const std::vector<std::string_view> words = Words(Trim(text));
    if (words.size() == 6 && words[0].ends_with(',') && words[5] == "GMT") {
        // Sun, 06 Nov 1994 08:49:37 GMT
        const auto day = Number(words[1]);
        const auto month = Month(words[2]);
        const auto year = Number(words[3]);
        const auto time = TimeOfDay(words[4]);
        if (day && month && year && time && words[3].size() == 4) return Compose(*year, *month, *day, *time);
        return std::nullopt;
    }
    if (words.size() == 4 && words[0].ends_with(',') && words[3] == "GMT" && words[1].size() == 9) {
        // Sunday, 06-Nov-94 08:49:37 GMT; a two-digit year in the past fifty years.
        const std::string_view date = words[1];
        if (date[2] != '-' || date[6] != '-') return std::nullopt;
        const auto day = Number(date.substr(0, 2));
        const auto month = Month(date.substr(3, 3));
        const auto year = Number(date.substr(7, 2));
        const auto time = TimeOfDay(words[2]);
        if (!day || !month || !year || !time) return std::nullopt;
        return Compose(*year < 70 ? 2000 + *year : 1900 + *year, *month, *day, *time);
    }
    if (words.size() == 5) {
        // Sun Nov  6 08:49:37 1994
        const auto month = Month(words[1]);
        const auto day = Number(words[2]);
        const auto time = TimeOfDay(words[3]);
        const auto year = Number(words[4]);
        if (month && day && time && year && words[4].size() == 4) return Compose(*year, *month, *day, *time);
    }
    return std::nullopt;
}

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view text, sys_seconds now) {
    const std::string_view value = Trim(text);
    if (const auto seconds = Number(value)) {
        if (*seconds < 0) return std::nullopt;
        return std::chrono::seconds(*seconds);
    }
    const auto date = ParseHttpDate(value);
    if (!date) return std::nullopt;
    return std::max(std::chrono::seconds(0), *date - now);
}

std::optional<std::chrono::seconds> FreshnessLifetime(std::string_view cacheControl, std::string_view expires,
                                                      std::string_view date, sys_seconds now) {
    // Directives are separated by commas; names are case-insensitive.
    std::optional<std::chrono::seconds> maxAge;
    bool uncached = false;
    std::size_t at = 0;
    while (at <= cacheControl.size()) {
        std::size_t end = cacheControl.find(',', at);
        if (end == std::string_view::npos) end = cacheControl.size();
        const std::string_view directive = Trim(cacheControl.substr(at, end - at));
        at = end + 1;
        const std::size_t equals = directive.find('=');
        const std::string_view name = Trim(directive.substr(0, equals));
        if (EqualsIgnoringCase(name, "no-cache") || EqualsIgnoringCase(name, "no-store")) uncached = true;
        if (equals == std::string_view::npos || !EqualsIgnoringCase(name, "max-age")) continue;
        std::string_view value = Trim(directive.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (const auto seconds = Number(value); seconds && *seconds >= 0) maxAge = std::chrono::seconds(*seconds);
    }
    if (uncached) return std::chrono::seconds(0);
    if (maxAge) return maxAge;
    if (Trim(expires).empty()) return std::nullopt;
    const auto expiry = ParseHttpDate(expires);
    if (!expiry) return std::chrono::seconds(0);
    const sys_seconds sent = ParseHttpDate(date).value_or(now);
    return std::max(std::chrono::seconds(0), *expiry - sent);
}
