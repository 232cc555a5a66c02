#include "FetchState.h"

#include "AtomicFile.h"
#include "NamedLines.h"
#include "StoreXml.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::string_view kHeader = "quillo-fetch-state 1";

std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

void AppendField(std::string& out, std::string_view name, std::string_view value) {
    if (value.empty()) return;
    out.append(name).append(" ").append(OneLine(value)).append("\n");
}

void AppendTime(std::string& out, std::string_view name, const std::optional<FetchState::Time>& time) {
    if (time) AppendField(out, name, FetchTimeText(*time));
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string FetchTimeText(FetchState::Time time) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss clock(time - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::optional<FetchState::Time> ParseFetchTime(std::string_view text) {
    // Exactly YYYY-MM-DDTHH:MM:SSZ.
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const auto year = ParseNumber<int>(text.substr(0, 4));
    const auto month = ParseNumber<unsigned>(text.substr(5, 2));
    const auto day = ParseNumber<unsigned>(text.substr(8, 2));
    const auto hour = ParseNumber<int>(text.substr(11, 2));
    const auto minute = ParseNumber<int>(text.substr(14, 2));
    const auto second = ParseNumber<int>(text.substr(17, 2));
    if (!year || !month || !day || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(*year), std::chrono::month(*month),
                                           std::chrono::day(*day)};
    if (!date.ok()) return std::nullopt;
    return std::chrono::sys_days(date) + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
           std::chrono::seconds(*second);
}

std::string SerialiseFetchState(const FetchState& state) {
    std::string out(kHeader);
    out += "\n";
    AppendField(out, "url", state.url);
    AppendField(out, "title", state.title);
    AppendTime(out, "last-request", state.lastRequest);
    AppendTime(out, "last-success", state.lastSuccess);
    if (state.lastStatus != 0) AppendField(out, "last-status", std::to_string(state.lastStatus));
    AppendField(out, "last-error", state.lastError);
    if (state.failures != 0) AppendField(out, "failures", std::to_string(state.failures));
    AppendTime(out, "failing-since", state.failingSince);
    AppendTime(out, "next-due", state.nextDue);
    if (state.interval.count() != 0) AppendField(out, "interval", std::to_string(state.interval.count()));
    AppendTime(out, "last-new-item", state.lastNewItem);
    AppendField(out, "moved-to", state.movedTo);
    AppendTime(out, "gone-since", state.goneSince);
    AppendTime(out, "retry-after", state.retryAfter);
    AppendField(out, "items", state.items);
    return out;
}

std::optional<FetchState> ParseFetchState(std::string_view text) {
    FetchState state;
    const bool read = ReadNamedLines(text, kHeader, [&state](std::string_view name, std::string_view value) {
        // A field whose value does not read stays unset: the rest of the state is kept.
        auto time = [&value] { return ParseFetchTime(value); };
        if (name == "url") state.url = value;
        else if (name == "title") state.title = value;
        else if (name == "last-request") state.lastRequest = time();
        else if (name == "last-success") state.lastSuccess = time();
        else if (name == "last-status") state.lastStatus = ParseNumber<int>(value).value_or(0);
        else if (name == "last-error") state.lastError = value;
        else if (name == "failures") state.failures = std::max(0, ParseNumber<int>(value).value_or(0));
        else if (name == "failing-since") state.failingSince = time();
        else if (name == "next-due") state.nextDue = time();
        else if (name == "interval") state.interval = std::chrono::seconds(std::max<long long>(0, ParseNumber<long long>(value).value_or(0)));
        else if (name == "last-new-item") state.lastNewItem = time();
        else if (name == "moved-to") state.movedTo = value;
        else if (name == "gone-since") state.goneSince = time();
        else if (name == "retry-after") state.retryAfter = time();
        else if (name == "items") state.items = value;
    });
    if (!read) return std::nullopt;
    return state;
}

FetchStateRead ReadFetchState(const std::string& feedFolder) {
    FetchStateRead read;
    const StoreFileBytes file = ReadStoreFile(feedFolder + kFetchStateFile);
    if (file.status == StoreFileBytes::Status::Missing) return read;
    if (file.status == StoreFileBytes::Status::Unreadable) {
        read.status = FetchStateRead::Status::Damaged;
        read.error = file.error;
        return read;
    }
    std::optional<FetchState> state = ParseFetchState(file.bytes);
    if (!state) {
        read.status = FetchStateRead::Status::Damaged;
        read.error = "not a fetch state file";
        return read;
    }
    read.status = FetchStateRead::Status::Read;
    read.state = std::move(*state);
    return read;
}

bool WriteFetchState(const std::string& feedFolder, const FetchState& state, std::string& error,
                     const FileSystemCalls& calls) {
    return ReplaceFileAtomically(feedFolder + kFetchStateFile, SerialiseFetchState(state), error, calls);
}
