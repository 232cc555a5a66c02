#pragma once

#include "FeedReport.h"
#include "MailBody.h"
#include "MessageStore.h"

#include <string>
#include <vector>

class GatewayContext;
struct Settings;

// The file in the state directory that keeps what the last feed report listed.
inline constexpr char kFeedReportStateFile[] = "feedreport.txt";
// The feed the report's stored messages name, so that their store records them at QUIT
// like a feed's items and never offers a delivered one again.
inline constexpr char kFeedReportUrl[] = "quillo:feed-report";

// The report as a message like the items' (From, Date in the machine's zone,
// Message-ID, MIME, the charset the settings ask for), with an identity of its own;
// its link is the log file's file: URL.
MessageStore::NewMessage ComposeFeedReport(const std::vector<FeedReportEntry>& entries, FetchState::Time now,
                                           MailCharset charset, std::string_view logPath);

// A feed of the list and its folder (ending in "/").
struct ListedFeedFolder {
    std::string url;
    std::string folder;
};

// After a refresh: reads the fetch state of every listed feed and the report's own
// state, and when a report is due (see PlanFeedReport) files it where items go: into
// the settings' Maildir (its own new/, also with one folder per feed: the report is
// no feed's), or else into the report's store under data/, offered over POP3. The
// report's state is kept only once the report is filed; failures are logged. Returns
// the folder whose store now holds a new report, for the caller to read again; "" when
// no report went into the store.
std::string FileDueFeedReport(const GatewayContext& context, const Settings& settings,
                              const std::vector<ListedFeedFolder>& feeds, FetchState::Time now);
