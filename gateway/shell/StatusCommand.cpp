#include "StatusCommand.h"

#include "FeedFolder.h"
#include "FeedList.h"
#include "FeedReport.h"
#include "Maildir.h"
#include "Paths.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

std::string Time(const std::optional<FetchState::Time>& time, std::string_view none) {
    return time ? ReportTimeText(*time) : std::string(none);
}

bool IsDirectory(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

// The folder of a URL as the next refresh would find it, without making or marking one:
// the folder that names it, else a folder of an earlier version under its name that
// names no URL.
std::string FolderOf(const std::string& dataDir, const std::map<std::string, std::string>& owners,
                     const std::string& url) {
    if (auto owned = owners.find(url); owned != owners.end()) return owned->second;
    for (const std::string& name : {LegacyFeedFolderName(url), GetFeedFolderName(url)}) {
        const std::string folder = JoinPath(dataDir, name);
        std::error_code ignored;
        if (name != kFeedReportFolderName && IsDirectory(folder) &&
            !std::filesystem::exists(JoinPath(folder, kFeedUrlFile), ignored))
            return name;
    }
    return "";
}

std::size_t Waiting(const std::string& folder) {
    std::string error;
    const std::optional<Maildir> store = Maildir::Open(JoinPath(folder, "mail"), error);
    return store ? store->List().messages.size() : 0;
}

bool ListUnusable(const FeedListResult& list) {
    return list.status == FeedListResult::Status::Unreadable || list.status == FeedListResult::Status::WrongRoot;
}

}  // namespace

std::string FeedStatusLine(const FeedStatus& status) {
    const FetchState& state = status.fetch.state;
    std::string line = state.title.empty() ? "<" + status.url + ">" : state.title + " <" + status.url + ">";
    line += ": ";
    const std::string waiting = std::to_string(status.waiting) + " waiting";
    if (status.fetch.status == FetchStateRead::Status::Damaged) {
        return line + "fetch state unreadable (" + status.fetch.error + "), " + waiting;
    }
    if (!state.lastRequest) {
        return line + "never requested, " + waiting;
    }
    line += "last success " + Time(state.lastSuccess, "never");
    line += ", last status " + (state.lastStatus != 0 ? std::to_string(state.lastStatus) : std::string("none"));
    line += ", " + waiting;
    line += ", next due " + Time(state.nextDue, "at the next refresh");
    if (state.goneSince) line += ", gone since " + ReportTimeText(*state.goneSince);
    if (!state.movedTo.empty() && state.movedTo != status.url) line += ", moved to <" + state.movedTo + ">";
    if (state.failures > 0) {
        line += ", failing since " + Time(state.failingSince, "?") + " (" + std::to_string(state.failures) +
                (state.failures == 1 ? " failure" : " in a row") + ")";
    }
    if (!state.lastError.empty()) line += ": " + state.lastError;
    return line;
}

std::map<std::string, std::string> FeedFolderOwners(const std::string& dataDir) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir, error)) {
        std::error_code ignored;
        if (entry.is_directory(ignored)) names.insert(entry.path().filename().string());
    }
    std::map<std::string, std::string> owners;
    for (const std::string& name : names) {
        std::ifstream file(JoinPath(JoinPath(dataDir, name), kFeedUrlFile), std::ios::binary);
        if (!file) continue;
        owners.emplace(std::string(std::istreambuf_iterator<char>(file), {}), name);
    }
    return owners;
}

int PrintFeedStatus(const AppLayout& layout, std::string& out, std::string& error) {
    const std::string settingsPath = JoinPath(layout.configDir, "Quillo.xml");
    const std::string opmlPath = JoinPath(layout.configDir, "feedlist.xml");
    const FeedListResult settingsList = ReadSettingsFeedList(settingsPath);
    if (ListUnusable(settingsList)) {
        error = "cannot read the feed list of " + settingsPath + ": " + settingsList.error;
        return 1;
    }
    const FeedListResult opmlList = ReadOpmlFeedList(opmlPath);
    if (ListUnusable(opmlList)) {
        error = "cannot read the feed list " + opmlPath + ": " + opmlList.error;
        return 1;
    }
    std::vector<std::string> urls = settingsList.urls;
    urls.insert(urls.end(), opmlList.urls.begin(), opmlList.urls.end());

    const std::string dataDir = JoinPath(layout.stateDir, "data");
    const std::map<std::string, std::string> owners = FeedFolderOwners(dataDir);
    for (const std::string& url : urls) {
        FeedStatus status;
        status.url = url;
        const std::string name = FolderOf(dataDir, owners, url);
        if (!name.empty()) {
            const std::string folder = JoinPath(dataDir, name) + "/";
            status.fetch = ReadFetchState(folder);
            status.waiting = Waiting(folder);
        }
        out += FeedStatusLine(status) + "\n";
    }
    if (urls.empty()) out += "no feeds in " + opmlPath + "\n";
    return 0;
}
