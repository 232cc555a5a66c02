#pragma once

#include "AtomicFile.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// What Quillo remembers of its requests for one feed, kept in the feed folder so that
// schedules, back-off, moved and gone feeds outlast a restart, and so that the feed
// report and `Quillo --status` can tell how each feed is doing.
struct FetchState {
    using Time = std::chrono::sys_seconds;

    // The address the feed list gives (the folder's feed).
    std::string url;
    // The feed's own title, from its last readable document ("" until then).
    std::string title;
    std::optional<Time> lastRequest;
    std::optional<Time> lastSuccess;
    // HTTP status of the last reply; 0 when the last request got none (no connection,
    // time-out, a reply too large).
    int lastStatus = 0;
    // Why the last request failed; "" after a success.
    std::string lastError;
    // Failed requests in a row; one success sets it back to 0.
    int failures = 0;
    // The first failure of the current run of failures.
    std::optional<Time> failingSince;
    // When the feed is to be requested next; none: at once.
    std::optional<Time> nextDue;
    // The interval the schedule settled on at the last success.
    std::chrono::seconds interval{0};
    // When an item not seen before last arrived.
    std::optional<Time> lastNewItem;
    // The address a permanent redirect (301, 308) led to, once it answered with a
    // readable feed; requests go there from then on.
    std::string movedTo;
    // Set when the feed answered 410 Gone: asked again only once a week.
    std::optional<Time> goneSince;
    // A 429 or 503 with Retry-After: no request to the feed's host before then.
    std::optional<Time> retryAfter;
    // A digest of the identities of the items of the last document, so that a new
    // item shows as a change ("" before the first readable document).
    std::string items;
};

// The file in a feed folder that holds its fetch state.
inline constexpr char kFetchStateFile[] = "fetchstate.txt";

// The state as text: a first line naming the format, then one "name value" line per
// field that is set. Line breaks inside a value are written as spaces.
std::string SerialiseFetchState(const FetchState& state);

// Reads what SerialiseFetchState wrote. Lines of names it does not know are skipped
// (a later version may add some); nullopt when the text is not such a file at all.
std::optional<FetchState> ParseFetchState(std::string_view text);

struct FetchStateRead {
    enum class Status { Missing, Read, Damaged };
    Status status = Status::Missing;
    FetchState state;  // a fresh state unless Read
    std::string error;  // why a Damaged file could not be used
};

// Reads the fetch state of the feed folder (ending in "/"). A missing file or one that
// cannot be read gives a fresh state, so that feed starts afresh; never throws.
FetchStateRead ReadFetchState(const std::string& feedFolder);

// Replaces the feed folder's fetch state atomically; false with the reason in error.
bool WriteFetchState(const std::string& feedFolder, const FetchState& state, std::string& error,
                     const FileSystemCalls& calls = SystemFileCalls());

// "2026-12-09T13:00:00Z"; and back (nullopt for anything else).
std::string FetchTimeText(FetchState::Time time);
std::optional<FetchState::Time> ParseFetchTime(std::string_view text);
