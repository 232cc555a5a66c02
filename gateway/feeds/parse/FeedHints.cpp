#include "FeedHints.h"

#include "TextUtil.h"

#include <array>
#include <charconv>

namespace {

std::optional<long long> WholeNumber(std::string_view text) {
    text = Trim(text);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::chrono::minutes> ParseTtl(std::string_view text) {
    const std::optional<long long> minutes = WholeNumber(text);
    // More than a year is no schedule anyone means; the schedule caps it anyway.
    if (!minutes || *minutes <= 0 || *minutes > 366LL * 24 * 60) return std::nullopt;
    return std::chrono::minutes(*minutes);
}

std::optional<std::chrono::seconds> SyndicationPeriod(std::string_view period, std::string_view frequency) {
    using std::chrono::hours;
    const std::string_view name = Trim(period);
    std::chrono::seconds length{0};
    if (name.empty() || EqualsIgnoringCase(name, "daily")) length = hours(24);
    else if (EqualsIgnoringCase(name, "hourly")) length = hours(1);
    else if (EqualsIgnoringCase(name, "weekly")) length = hours(24 * 7);
    else if (EqualsIgnoringCase(name, "monthly")) length = hours(24 * 30);
    else if (EqualsIgnoringCase(name, "yearly")) length = hours(24 * 365);
    else return std::nullopt;
    long long times = 1;
    if (!Trim(frequency).empty()) {
        const std::optional<long long> read = WholeNumber(frequency);
        if (!read || *read <= 0) return std::nullopt;
        times = *read;
    }
    const auto seconds = std::chrono::seconds(length.count() / times);
    if (seconds.count() <= 0) return std::nullopt;
    return seconds;
}

std::optional<int> ParseSkipHour(std::string_view text) {
    const std::optional<long long> hour = WholeNumber(text);
    if (!hour || *hour < 0 || *hour > 24) return std::nullopt;
    return static_cast<int>(*hour % 24);
}

std::optional<int> ParseSkipDay(std::string_view text) {
    static constexpr std::array<std::string_view, 7> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                              "Thursday", "Friday", "Saturday"};
    const std::string_view name = Trim(text);
    for (std::size_t i = 0; i < kDays.size(); ++i) {
        if (EqualsIgnoringCase(name, kDays[i])) return static_cast<int>(i);
    }
    return std::nullopt;
}
