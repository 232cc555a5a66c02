#include "RssManager.h"

#include "FeedFolder.h"
#include "FeedList.h"
#include "FeedRefresh.h"
#include "InternetSession.h"
#include "Log.h"
#include "Paths.h"
#include "Trace.h"

#include <cstdio>

namespace {

constexpr const char* kSessionFailure = "インターネット接続をオープンできません。";
constexpr const char* kOpmlFailure = "OPMLフィードリストの解析に失敗しました。";

constexpr const char* kSettingsFailure = "設定ファイルQuillo.xmlを使えないため、Quilloを終了します。\n";

}  // namespace

RssManager::RssManager(GatewayContext& context, FeedTransferLimits limits)
    : context_(context), limits_(std::move(limits)) {}

RssManager::~RssManager() = default;

bool RssManager::LoadSettings() {
    const SettingsFileResult read = LoadSettingsFile(context_.ConfigFile("Quillo.xml"), settings_);
    if (read.status == SettingsFileResult::Status::Unreadable ||
        read.status == SettingsFileResult::Status::Invalid) {
        // Serving on defaults the user did not choose (port 110, no feeds) would look
        // like a working gateway; stopping with the reason is the only clear answer.
        // An unreadable file cannot say whether boxes are disabled, so it gets one.
        const std::string text = kSettingsFailure + read.error;
        context_.Log(text + "\n\n");
        context_.ReportFatalError(text, !settings_.disableMessageBox);
        return false;
    }
    // Read as earlier versions read them, so an old file still works; said once at start.
    for (const std::string& warning : read.warnings) {
        context_.Log("警告: Quillo.xmlの値を以前と同じ読み方で読みました: " + LogPiece(warning) + "\n\n");
        std::fprintf(stderr, "Quillo: warning: %s\n", warning.c_str());
    }
    if (read.rejectedListenAddress) {
        context_.Log("listen-addressの値が正しくありません: " + LogPiece(*read.rejectedListenAddress) +
                     "\n127.0.0.1で待ち受けます。\n\n");
    }
    return true;
}

void RssManager::AddFeed(const std::string& url, std::vector<std::string> folders) {
    listFolders_.push_back(std::move(folders));
    handlers_.push_back(std::make_shared<RssHandler>(context_, url, settings_.disableMessageBox,
                                                     settings_.enableHtml, settings_.mailCharset));
}

void RssManager::LoadFeedList() {
    handlers_.clear();
    listFolders_.clear();
    // A Quillo.xml without the quillo root was reported once, when the settings were read.
    const FeedListResult list = ReadSettingsFeedList(context_.ConfigFile("Quillo.xml"));
    if (list.status == FeedListResult::Status::Unreadable)
        context_.Log("Quillo.xmlのフィード一覧を読み込めません。\n" + LogPiece(list.error) + "\n\n");
    for (const auto& url : list.urls) AddFeed(url);
    LoadOpmlFeedList();
    // One folder per URL, decided over the whole list.
    std::vector<std::string> urls;
    urls.reserve(handlers_.size());
    for (const auto& handler : handlers_) urls.push_back(handler->GetFeed()->url);
    const std::vector<std::string> names = AssignFeedFolders(JoinPath(context_.Layout().stateDir, "data"), urls);
    for (size_t i = 0; i < handlers_.size(); ++i) handlers_[i]->UseFolder(names[i]);
}

void RssManager::LoadOpmlFeedList() {
    const FeedListResult list = ReadOpmlFeedList(context_.ConfigFile("feedlist.xml"));
    switch (list.status) {
    case FeedListResult::Status::Missing:
        Trace("フィードリストがない");
        return;
    case FeedListResult::Status::Unreadable:
    case FeedListResult::Status::WrongRoot:
        // The box says only that the list failed; the log keeps which file and why.
        Trace(list.error);
        context_.Log(std::string(kOpmlFailure) + "\n" + LogPiece(list.error) + "\n\n");
        context_.ShowErrorBox(kOpmlFailure);
        return;
    case FeedListResult::Status::Read:
        // An empty xmlUrl names a feed too, one that fails visibly in the log.
        for (std::size_t i = 0; i < list.urls.size(); ++i) AddFeed(list.urls[i], list.folders[i]);
        return;
    }
}

bool RssManager::OpenInternetSession(InternetSession& session, int feedCount) {
    context_.Progress().Report(0, feedCount);
    if (session.Open(settings_.userAgent)) return true;
    context_.Progress().Finished();
    if (!settings_.disableMessageBox) context_.ShowErrorBox(kSessionFailure);
    context_.Log(kSessionFailure);
    return false;
}
