#pragma once

#include "FeedTransferLimits.h"
#include "GatewayContext.h"
#include "RssHandler.h"
#include "Settings.h"

#include <string>
#include <vector>

// The gateway's feed manager: settings and the handlers of the current refresh. Its settings are read once, before other threads
// look at them; the feed list and handlers belong to the one thread that refreshes.
class InternetSession;

class RssManager {
public:
    // The context must outlive the manager; every download keeps the limits.
    explicit RssManager(GatewayContext& context, FeedTransferLimits limits = {});
    ~RssManager();
    RssManager(const RssManager&) = delete;
    RssManager& operator=(const RssManager&) = delete;

    // Reads Quillo.xml once; a missing file keeps the defaults. A file that is there but
    // cannot be used (not well-formed, not a quillo document, a port that is no port)
    // is reported to the log, standard error and a box, and gives false: the gateway
    // must not start on settings other than the user's.
    bool LoadSettings();
    const Settings& GetSettings() const { return settings_; }
    GatewayContext& Context() const { return context_; }
    const FeedTransferLimits& TransferLimits() const { return limits_; }

    // Opens the internet session of a refresh of feedCount feeds and reports the start
    // of the refresh; a failure is reported (box, log) and also ends the report.
    bool OpenInternetSession(InternetSession& session, int feedCount);
    // The feeds of Quillo.xml's feed list, then those of feedlist.xml (OPML), each given
    // its folder (AssignFeedFolders); a list that cannot be read is reported.
    void LoadFeedList();

    const std::vector<RssHandlerPointer>& Handlers() const { return handlers_; }
    // Per handler, the feed-list folders it is listed in (see FeedListResult::folders).
    const std::vector<std::vector<std::string>>& ListFolders() const { return listFolders_; }

private:
    void LoadOpmlFeedList();
    void AddFeed(const std::string& url, std::vector<std::string> folders = {});

    GatewayContext& context_;
    const FeedTransferLimits limits_;
    Settings settings_;
    std::vector<RssHandlerPointer> handlers_;
    std::vector<std::vector<std::string>> listFolders_;
};

using RssManagerPointer = std::shared_ptr<RssManager>;
