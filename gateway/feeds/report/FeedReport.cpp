#include "FeedReport.h"

#include "NamedLines.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view kStateHeader = "quillo-feed-report 1";

ListedTrouble Listing(const FeedReportEntry& entry) {
    return {entry.url, entry.trouble, entry.trouble == FeedTrouble::Moved ? entry.state.movedTo : std::string()};
}

bool Listed(const FeedReportState& state, const ListedTrouble& listing) {
    return std::find(state.listed.begin(), state.listed.end(), listing) != state.listed.end();
}

bool ListedInTrouble(const FeedReportState& state, const std::string& url) {
    return std::any_of(state.listed.begin(), state.listed.end(),
                       [&url](const ListedTrouble& listing) { return listing.url == url; });
}

// Tabs and line breaks separate the fields of the state file.
std::string OneField(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

std::string_view TroubleName(FeedTrouble trouble) {
    switch (trouble) {
        case FeedTrouble::Failing: return "failing";
        case FeedTrouble::Moved: return "moved";
        case FeedTrouble::Gone: return "gone";
        case FeedTrouble::Recovered: return "recovered";
    }
    return "failing";
}

std::optional<FeedTrouble> TroubleNamed(std::string_view name) {
    for (FeedTrouble trouble : {FeedTrouble::Failing, FeedTrouble::Moved, FeedTrouble::Gone}) {
        if (TroubleName(trouble) == name) return trouble;
    }
    return std::nullopt;
}

std::vector<std::string_view> SplitTabs(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = text.find('\t');
        fields.push_back(text.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        text.remove_prefix(tab + 1);
    }
}

std::string Heading(const FeedReportEntry& entry) {
    return entry.state.title.empty() ? entry.url : entry.state.title;
}

void AppendLine(std::string& out, std::string_view label, std::string_view value) {
    // The values line up after the longest label, "last success:".
    out.append("    ").append(label).append(":");
    out.append(label.size() < 13 ? 13 - label.size() : 1, ' ');
    out.append(value).append("\n");
}

std::string NextTry(const FetchState& state) {
    return state.nextDue ? ReportTimeText(*state.nextDue) : "at the next refresh";
}

std::string LastError(const FetchState& state) {
    std::string text = state.lastError.empty() ? std::string("(none recorded)") : state.lastError;
    if (state.lastStatus != 0) text += " (HTTP " + std::to_string(state.lastStatus) + ")";
    return text;
}

void AppendEntry(std::string& out, const FeedReportEntry& entry) {
    const FetchState& state = entry.state;
    out.append("  ").append(Heading(entry)).append("\n");
    AppendLine(out, "address", entry.url);
    switch (entry.trouble) {
        case FeedTrouble::Moved:
            AppendLine(out, "new address", state.movedTo);
            if (state.lastSuccess) AppendLine(out, "last success", ReportTimeText(*state.lastSuccess));
            break;
        case FeedTrouble::Gone:
            AppendLine(out, "since", ReportTimeText(*state.goneSince));
            AppendLine(out, "last error", LastError(state));
            AppendLine(out, "next try", NextTry(state));
            break;
        case FeedTrouble::Failing:
            AppendLine(out, "since", ReportTimeText(*state.failingSince) + " (" + std::to_string(state.failures) +
                                         (state.failures == 1 ? " failure)" : " failures in a row)"));
            AppendLine(out, "last error", LastError(state));
            AppendLine(out, "next try", NextTry(state));
            break;
        case FeedTrouble::Recovered:
            AppendLine(out, "last success", state.lastSuccess ? ReportTimeText(*state.lastSuccess) : "-");
            break;
    }
}

}  // namespace

std::optional<FeedTrouble> TroubleOf(const ReportedFeed& feed, FetchState::Time now) {
    const FetchState& state = feed.state;
    if (state.goneSince) return FeedTrouble::Gone;
    if (!state.movedTo.empty() && state.movedTo != feed.url) return FeedTrouble::Moved;
    if (state.failures > 0 && state.failingSince && now - *state.failingSince > kFailingReportAfter)
        return FeedTrouble::Failing;
    return std::nullopt;
}

FeedReportPlan PlanFeedReport(const std::vector<ReportedFeed>& feeds, const FeedReportState& last,
                              FetchState::Time now) {
    FeedReportPlan plan;
    plan.next = last;
    // A date ahead of now came from a clock that was wrong; it holds nothing up.
    const bool filedBefore = last.lastFiled && *last.lastFiled <= now;
    const FetchState::Time lastFiled = filedBefore ? *last.lastFiled : FetchState::Time{};
    if (filedBefore && now - lastFiled < kReportSpacing) return plan;

    std::vector<FeedReportEntry> troubled;
    std::vector<FeedReportEntry> recovered;
    for (const ReportedFeed& feed : feeds) {
        if (std::optional<FeedTrouble> trouble = TroubleOf(feed, now)) {
            FeedReportEntry entry{*trouble, feed.url, feed.state};
            // A feed listed twice in the feed list is reported once.
            if (std::none_of(troubled.begin(), troubled.end(),
                             [&feed](const FeedReportEntry& e) { return e.url == feed.url; }))
                troubled.push_back(std::move(entry));
        } else if (ListedInTrouble(last, feed.url) && feed.state.lastSuccess &&
                   (!filedBefore || *feed.state.lastSuccess > lastFiled) &&
                   std::none_of(recovered.begin(), recovered.end(),
                                [&feed](const FeedReportEntry& e) { return e.url == feed.url; })) {
            recovered.push_back({FeedTrouble::Recovered, feed.url, feed.state});
        }
    }
    FeedReportState nowListed;
    nowListed.lastFiled = now;
    for (const FeedReportEntry& entry : troubled) nowListed.listed.push_back(Listing(entry));

    const bool news = !recovered.empty() ||
                      std::any_of(nowListed.listed.begin(), nowListed.listed.end(),
                                  [&last](const ListedTrouble& listing) { return !Listed(last, listing); });
    const bool reminder = !troubled.empty() && (!filedBefore || now - lastFiled >= kReportReminder);
    if (!news && !reminder) {
        // Nothing in trouble any more: the next trouble is news, whatever it is.
        if (troubled.empty()) plan.next.listed.clear();
        return plan;
    }
    plan.entries = std::move(troubled);
    plan.entries.insert(plan.entries.end(), recovered.begin(), recovered.end());
    plan.next = std::move(nowListed);
    return plan;
}

std::string FeedReportText(const std::vector<FeedReportEntry>& entries) {
    struct Section {
        FeedTrouble trouble;
        const char* heading;
    };
    static constexpr Section kSections[] = {
        {FeedTrouble::Moved, "Moved: write the new address into the feed list (Quillo already uses it):"},
        {FeedTrouble::Gone, "Gone: the server answered 410 Gone; Quillo asks again once a week:"},
        {FeedTrouble::Failing, "Failing for more than a day:"},
        {FeedTrouble::Recovered, "Working again:"},
    };
    std::string out = "Some feeds of Quillo's feed list need your attention. log.txt has the details.\n";
    for (const Section& section : kSections) {
        bool first = true;
        for (const FeedReportEntry& entry : entries) {
            if (entry.trouble != section.trouble) continue;
            if (first) out.append("\n").append(section.heading).append("\n\n");
            first = false;
            AppendEntry(out, entry);
        }
    }
    return out;
}

std::string ReportTimeText(FetchState::Time time) {
    const std::string iso = FetchTimeText(time);  // 2026-12-09T13:00:00Z
    return iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

std::string SerialiseFeedReportState(const FeedReportState& state) {
    std::string out(kStateHeader);
    out += "\n";
    if (state.lastFiled) out += "last-filed " + FetchTimeText(*state.lastFiled) + "\n";
    for (const ListedTrouble& listing : state.listed) {
        out += "listed " + std::string(TroubleName(listing.trouble)) + "\t" + OneField(listing.url);
        if (!listing.movedTo.empty()) out += "\t" + OneField(listing.movedTo);
        out += "\n";
    }
    return out;
}

std::optional<FeedReportState> ParseFeedReportState(std::string_view text) {
    FeedReportState state;
    // Lines that do not read are skipped: a later version may add some.
    const bool read = ReadNamedLines(text, kStateHeader, [&state](std::string_view name, std::string_view value) {
        if (name == "last-filed") {
            state.lastFiled = ParseFetchTime(value);
        } else if (name == "listed") {
            const std::vector<std::string_view> fields = SplitTabs(value);
            const std::optional<FeedTrouble> trouble = TroubleNamed(fields[0]);
            if (!trouble || fields.size() < 2) return;
            state.listed.push_back({std::string(fields[1]), *trouble, fields.size() > 2 ? std::string(fields[2]) : ""});
        }
    });
    if (!read) return std::nullopt;
    return state;
}
