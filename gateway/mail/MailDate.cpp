// Date texts of messages: the clock default and the rendering of W3C-DTF values.
// Dates stay text throughout; nothing is parsed into numbers or converted.
#include "MailDate.h"

#include "MailData.h"

#include <array>
#include <cstdio>

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string_view MonthByNumber(int month) {
    return month >= 1 && month <= 12 ? kMonths[month - 1] : std::string_view("Jan");
}

// substr that yields what is there instead of failing past the end.
std::string_view Slice(std::string_view text, std::size_t pos, std::size_t count = std::string_view::npos) {
    if (pos >= text.size()) return {};
    return text.substr(pos, count);
}

}  // namespace

std::string FormatClockDate(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d %s %d %02d:%02d:%02d +0900", local.tm_mday,
                  MonthByNumber(local.tm_mon + 1).data(), local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec);
    return buffer;
}

std::string_view MonthAbbreviation(std::string_view twoDigits) {
    if (twoDigits.size() != 2 || twoDigits[0] < '0' || twoDigits[0] > '1' || twoDigits[1] < '0' ||
        twoDigits[1] > '9') {
        return {};
    }
    const int month = (twoDigits[0] - '0') * 10 + (twoDigits[1] - '0');
    return month >= 1 && month <= 12 ? kMonths[month - 1] : std::string_view();
}

void MailData::ParseW3cDate(std::string_view value) {
    if (value.size() < 10) return;
    const std::string_view month = MonthAbbreviation(value.substr(5, 2));
    // Without a month name there is no date to write; the previous text stays.
    if (month.empty()) return;
    std::string date;
    date.append(value.substr(8, 2)).append(" ").append(month).append(" ").append(value.substr(0, 4));
    if (value.size() == 10) {
        date_ = std::move(date);
        return;
    }
    // Position 10 holds the T that separates date and time.
    const std::string_view rest = value.substr(11);
    const std::size_t plus = rest.find('+');
    if (plus != std::string_view::npos) {
        const std::string_view zone = rest.substr(plus);
        date.append(" ").append(rest.substr(0, plus)).append(" ");
        date.append(Slice(zone, 0, 3)).append(Slice(zone, 4, 2));
    } else {
        date.append(" ").append(rest);
    }
    date_ = std::move(date);
    hasTime_ = true;
}
