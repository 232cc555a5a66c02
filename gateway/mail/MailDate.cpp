// Dates of messages: feed dates read into instants and written as RFC 5322 dates, and
// the texts earlier versions wrote, which their delivered records still hold.
#include "MailDate.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::int64_t kDaySeconds = 86400;
constexpr int kMaxOffsetMinutes = 24 * 60 - 1;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

// Exactly count digits at pos; pos moves past them.
bool ReadDigits(std::string_view text, std::size_t& pos, int count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (!IsDigit(text[pos + i])) return false;
        value = value * 10 + (text[pos + i] - '0');
    }
    pos += count;
    return true;
}

// A token of 1 to maxDigits digits and nothing else.
bool ParseNumber(std::string_view token, std::size_t maxDigits, int& value) {
    if (token.empty() || token.size() > maxDigits) return false;
    value = 0;
    for (char c : token) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// The calendar fields as an instant; nullopt when any is out of range. A leap second
// is read as the second before it, which every reader accepts.
std::optional<MailInstant> MakeInstant(int year, int month, int day, int hour, int minute, int second,
                                       int offsetMinutes) {
    using namespace std::chrono;
    if (year < 1900 || year > 9999 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    if (offsetMinutes < -kMaxOffsetMinutes || offsetMinutes > kMaxOffsetMinutes) return std::nullopt;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (month < 1 || day < 1 || !date.ok()) return std::nullopt;
    if (second == 60) second = 59;
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    MailInstant instant;
    instant.utcSeconds = days * kDaySeconds + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    instant.offsetMinutes = offsetMinutes;
    return instant;
}

// "+09:00", "+0900", "+09", "-05:00"; false for anything else.
bool ParseNumericZone(std::string_view zone, int& minutes) {
    if (zone.size() < 3 || (zone[0] != '+' && zone[0] != '-')) return false;
    std::size_t pos = 1;
    int hours = 0, mins = 0;
    if (!ReadDigits(zone, pos, 2, hours)) return false;
    if (pos < zone.size() && zone[pos] == ':') ++pos;
    if (pos < zone.size() && !ReadDigits(zone, pos, 2, mins)) return false;
    if (pos != zone.size() || hours > 23 || mins > 59) return false;
    minutes = (zone[0] == '-' ? -1 : 1) * (hours * 60 + mins);
    return true;
}

struct NamedZone {
    std::string_view name;
    int minutes;
};

// The zones of RFC 822 and the abbreviations feeds commonly write.
constexpr NamedZone kNamedZones[] = {
    {"UT", 0},        {"UTC", 0},       {"GMT", 0},       {"Z", 0},         {"EST", -5 * 60},
    {"EDT", -4 * 60}, {"CST", -6 * 60}, {"CDT", -5 * 60}, {"MST", -7 * 60}, {"MDT", -6 * 60},
    {"PST", -8 * 60}, {"PDT", -7 * 60}, {"AKST", -9 * 60}, {"AKDT", -8 * 60}, {"HST", -10 * 60},
    {"WET", 0},       {"WEST", 60},     {"BST", 60},      {"CET", 60},      {"CEST", 2 * 60},
    {"MET", 60},      {"MEST", 2 * 60}, {"EET", 2 * 60},  {"EEST", 3 * 60}, {"MSK", 3 * 60},
    {"HKT", 8 * 60},  {"SGT", 8 * 60},  {"JST", 9 * 60},  {"KST", 9 * 60},  {"AEST", 10 * 60},
    {"AEDT", 11 * 60}, {"NZST", 12 * 60}, {"NZDT", 13 * 60},
};

// A zone token: numeric, a name, or a name with an offset ("GMT+0900"). An unknown name
// says nothing about the offset, which is then read as UTC.
int ZoneMinutes(std::string_view token) {
    int minutes = 0;
    if (ParseNumericZone(token, minutes)) return minutes;
    std::size_t letters = 0;
    while (letters < token.size() && IsAlpha(token[letters])) ++letters;
    if (letters < token.size() && ParseNumericZone(token.substr(letters), minutes)) return minutes;
    for (const NamedZone& zone : kNamedZones) {
        if (EqualsIgnoringCase(token.substr(0, letters), zone.name)) return zone.minutes;
    }
    return 0;
}

int MonthOfName(std::string_view token) {
    if (token.size() < 3) return 0;
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (EqualsIgnoringCase(token.substr(0, 3), kMonths[i])) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool IsDayName(std::string_view token) {
    if (token.size() < 3 || !IsAlpha(token[0])) return false;
    for (std::string_view day : kDays) {
        if (EqualsIgnoringCase(token.substr(0, 3), day)) return true;
    }
    return false;
}

// "16:00:00", "16:00", "9:05:07".
bool ParseTimeOfDay(std::string_view token, int& hour, int& minute, int& second) {
    const std::size_t colon = token.find(':');
    if (colon == std::string_view::npos || !ParseNumber(token.substr(0, colon), 2, hour)) return false;
    std::string_view rest = token.substr(colon + 1);
    const std::size_t secondColon = rest.find(':');
    second = 0;
    if (secondColon != std::string_view::npos) {
        if (!ParseNumber(rest.substr(secondColon + 1), 2, second)) return false;
        rest = rest.substr(0, secondColon);
    }
    return rest.size() == 2 && ParseNumber(rest, 2, minute);
}

// Words of an RFC 822 date: blanks and commas separate them; comments are dropped.
std::vector<std::string_view> DateTokens(std::string_view text, std::string& storage) {
    storage.clear();
    int depth = 0;
    for (char c : text) {
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0) {
            storage += (c == ',' || c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
        }
    }
    std::vector<std::string_view> tokens;
    const std::string_view all = storage;
    for (std::size_t pos = 0; pos < all.size();) {
        const std::size_t start = all.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(all.find(' ', start), all.size());
        tokens.push_back(all.substr(start, end - start));
        pos = end;
    }
    return tokens;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

std::optional<MailInstant> ParseW3cInstant(std::string_view text) {
    text = TrimBlanks(text);
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0;
    if (!ReadDigits(text, pos, 4, year) || pos >= text.size() || text[pos++] != '-' ||
        !ReadDigits(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-' ||
        !ReadDigits(text, pos, 2, day))
        return std::nullopt;
    if (pos == text.size()) return MakeInstant(year, month, day, 0, 0, 0, 0);
    if (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' ') return std::nullopt;
    ++pos;
    int hour = 0, minute = 0, second = 0;
    if (!ReadDigits(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':' ||
        !ReadDigits(text, pos, 2, minute))
        return std::nullopt;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!ReadDigits(text, pos, 2, second)) return std::nullopt;
        // Fractions of a second are more than a Date field holds.
        if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
            ++pos;
            const std::size_t digits = pos;
            while (pos < text.size() && IsDigit(text[pos])) ++pos;
            if (pos == digits) return std::nullopt;
        }
    }
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const std::string_view zone = text.substr(pos);
    int offset = 0;
    if (!zone.empty() && zone != "Z" && zone != "z" && !ParseNumericZone(zone, offset)) return std::nullopt;
    return MakeInstant(year, month, day, hour, minute, second, offset);
}

std::optional<MailInstant> ParseRfc822Instant(std::string_view text) {
    std::string storage;
    const std::vector<std::string_view> tokens = DateTokens(text, storage);
    std::size_t i = 0;
    // The day name is left out by some feeds and wrong in others; the date says it.
    if (i < tokens.size() && IsDayName(tokens[i]) && MonthOfName(tokens[i]) == 0) ++i;
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    bool timeBeforeYear = false;
    if (i + 1 < tokens.size() && ParseNumber(tokens[i], 2, day) && (month = MonthOfName(tokens[i + 1])) != 0) {
        i += 2;  // "09 Dec 2026"
    } else if (i + 1 < tokens.size() && (month = MonthOfName(tokens[i])) != 0 && ParseNumber(tokens[i + 1], 2, day)) {
        i += 2;  // "Dec 09 2026", and "Dec 9 16:00:00 2026" as asctime writes it
        timeBeforeYear = i < tokens.size() && tokens[i].find(':') != std::string_view::npos;
    } else {
        return std::nullopt;
    }
    if (timeBeforeYear) {
        if (!ParseTimeOfDay(tokens[i++], hour, minute, second)) return std::nullopt;
    }
    if (i >= tokens.size() || !ParseNumber(tokens[i], 4, year)) return std::nullopt;
    // Two-digit years as RFC 5322 reads them: 00-49 are 2000-2049, 50-99 1950-1999.
    if (tokens[i].size() <= 2) year += year < 50 ? 2000 : 1900;
    else if (tokens[i].size() == 3) year += 1900;
    ++i;
    if (!timeBeforeYear) {
        if (i >= tokens.size() || !ParseTimeOfDay(tokens[i++], hour, minute, second)) return std::nullopt;
    }
    const int offset = i < tokens.size() ? ZoneMinutes(tokens[i]) : 0;
    return MakeInstant(year, month, day, hour, minute, second, offset);
}

std::optional<MailInstant> ParseFeedDate(std::string_view text, bool w3cFirst) {
    if (w3cFirst) {
        if (auto instant = ParseW3cInstant(text)) return instant;
        return ParseRfc822Instant(text);
    }
    if (auto instant = ParseRfc822Instant(text)) return instant;
    return ParseW3cInstant(text);
}

std::string FormatMailDate(const MailInstant& instant) {
    using namespace std::chrono;
    const std::int64_t local = instant.utcSeconds + instant.offsetMinutes * 60;
    const std::int64_t dayNumber = FloorDiv(local, kDaySeconds);
    const std::int64_t secondOfDay = local - dayNumber * kDaySeconds;
    const sys_days day{days{dayNumber}};
    const year_month_day date{day};
    const unsigned weekday = std::chrono::weekday{day}.c_encoding();
    const int offset = std::abs(instant.offsetMinutes);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04d %02d:%02d:%02d %c%02d%02d", kDays[weekday].data(),
                  static_cast<unsigned>(date.day()), kMonths[static_cast<unsigned>(date.month()) - 1].data(),
                  static_cast<int>(date.year()), static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60),
                  instant.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return buffer;
}

int LocalOffsetMinutes(std::time_t when) {
    std::tm local{};
    if (!localtime_r(&when, &local)) return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
}

MailInstant LocalInstant(std::time_t when) {
    MailInstant instant;
    instant.utcSeconds = static_cast<std::int64_t>(when);
    instant.offsetMinutes = LocalOffsetMinutes(when);
    return instant;
}

std::string LegacyClockDate(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    const int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d %s %d %02d:%02d:%02d +0900", local.tm_mday, kMonths[month].data(),
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
}

std::optional<std::string> LegacyW3cDate(std::string_view value, bool& hasTime) {
    if (value.size() < 10) return std::nullopt;
    const std::string_view digits = value.substr(5, 2);
    if (!IsDigit(digits[0]) || !IsDigit(digits[1])) return std::nullopt;
    const int month = (digits[0] - '0') * 10 + (digits[1] - '0');
    if (month < 1 || month > 12) return std::nullopt;
    std::string date;
    date.append(value.substr(8, 2)).append(" ").append(kMonths[month - 1]).append(" ").append(value.substr(0, 4));
    if (value.size() == 10) return date;
    // Position 10 holds the T that separates date and time; the zone was cut at fixed
    // places after a "+", and "Z" or "-05:00" stayed attached to the time.
    const std::string_view rest = value.substr(11);
    const std::size_t plus = rest.find('+');
    if (plus != std::string_view::npos) {
        const std::string_view zone = rest.substr(plus);
        date.append(" ").append(rest.substr(0, plus)).append(" ");
        date.append(zone.substr(0, 3));
        if (zone.size() > 4) date.append(zone.substr(4, 2));
    } else {
        date.append(" ").append(rest);
    }
    hasTime = true;
    return date;
}
