#include "RefreshWorker.h"

#include "DueFeeds.h"
#include "FeedDownload.h"
#include "FeedRefresh.h"
#include "FeedReportFiling.h"
#include "InternetSession.h"
#include "RssManager.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

using Clock = std::chrono::steady_clock;

// Filing in any order starts a little before the greeting goes out, so the feeds that
// arrived behind a late one are in the mailbox.
constexpr std::chrono::milliseconds kAnyOrderLead{1000};

std::vector<std::string> FeedKeys(const std::vector<RssHandlerPointer>& handlers) {
    std::vector<std::string> keys;
    std::map<std::string, int> seen;
    keys.reserve(handlers.size());
    for (const auto& handler : handlers) {
        const std::string& url = handler->GetFeed()->url;
        keys.push_back(url + "#" + std::to_string(++seen[url]));
    }
    return keys;
}

}  // namespace

RefreshWorker::RefreshWorker(RssManager& manager)
    : manager_(manager),
      greetingDeadline_(std::chrono::seconds(manager.GetSettings().greetingDeadlineSeconds)),
      interval_(manager.GetSettings().refreshIntervalMinutes),
      schedule_(ScheduleRules{interval_, std::chrono::minutes(manager.GetSettings().minFeedIntervalMinutes)}) {
    LoadStores();
    thread_ = std::thread([this] { Loop(); });
}

void RefreshWorker::LoadStores() {
    manager_.LoadFeedList();
    std::vector<std::string> keys = FeedKeys(manager_.Handlers());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto& handler = manager_.Handlers()[i];
        StoreFor(handler->FeedFolder(), handler->GetFeed()->url);
    }
    feedKeys_ = keys;
    for (std::size_t i = 0; i < keys.size(); ++i) folderOf_[keys[i]] = manager_.Handlers()[i]->FeedFolder();
    // Feeds no longer listed keep their stored messages until they are delivered.
    const std::filesystem::path data = std::filesystem::path(manager_.Context().Layout().stateDir) / "data";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(data, error)) {
        std::error_code ignored;
        if (!std::filesystem::is_directory(entry.path() / "mail", ignored)) continue;
        StoreFor(entry.path().string() + "/", "");
    }
}

StoredFeedPointer RefreshWorker::StoreFor(const std::string& folder, const std::string& url) {
    auto found = stores_.find(folder);
    if (found != stores_.end()) return found->second;
    auto store = std::make_shared<StoredFeed>(manager_.Context(), folder, url, manager_.GetSettings());
    store->Load();
    stores_.emplace(folder, store);
    return store;
}

RefreshWorker::~RefreshWorker() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void RefreshWorker::Stop() {
    {
        // Under the lock, so no wait below misses it; the request also wakes the
        // transfers of a running refresh out of their wait for the servers.
        std::lock_guard lock(mutex_);
        stop_.request_stop();
    }
    changed_.notify_all();
}

std::uint64_t RefreshWorker::FinishedRefreshes() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void RefreshWorker::Loop() {
    std::unique_lock lock(mutex_);
    // With an interval the first refresh starts at once, so the first client finds mail.
    Clock::time_point nextDue = Clock::now();
    for (;;) {
        if (RefreshesPerConnection()) {
            changed_.wait(lock, [this] { return stop_.stop_requested() || requested_; });
        } else {
            changed_.wait_until(lock, nextDue, [this] { return stop_.stop_requested(); });
        }
        if (stop_.stop_requested()) return;
        if (RefreshesPerConnection() ? !requested_ : Clock::now() < nextDue) continue;
        requested_ = false;
        running_ = true;
        nextDue = Clock::now() + interval_;
        lock.unlock();
        RunOneRefresh();
        lock.lock();
        running_ = false;
        ++finished_;
        changed_.notify_all();
    }
}

void RefreshWorker::RunOneRefresh() {
    const Clock::time_point start = Clock::now();
    manager_.LoadFeedList();
    std::vector<RssHandlerPointer> handlers = manager_.Handlers();
    std::vector<std::string> keys = FeedKeys(handlers);
    std::vector<StoredFeedPointer> stores;
    stores.reserve(handlers.size());
    {
        std::lock_guard lock(mutex_);
        feedKeys_ = keys;
        for (auto it = filed_.begin(); it != filed_.end();) {
            it = std::find(keys.begin(), keys.end(), it->first) == keys.end() ? filed_.erase(it) : std::next(it);
        }
        for (std::size_t i = 0; i < handlers.size(); ++i) {
            const std::string folder = handlers[i]->FeedFolder();
            folderOf_[keys[i]] = folder;
            stores.push_back(StoreFor(folder, handlers[i]->GetFeed()->url));
            if (i < manager_.ListFolders().size()) stores.back()->SetListFolders(manager_.ListFolders()[i]);
            // A 304 files the items of the last parse again instead of parsing.
            auto previous = filed_.find(keys[i]);
            if (previous != filed_.end()) handlers[i]->ReuseParseOf(previous->second);
        }
    }
    // Only the feeds that are due are requested; the others offer what their stores hold.
    const std::vector<bool> due = DueHandlers(schedule_, handlers);
    KeepDue(due, handlers);
    KeepDue(due, keys);
    KeepDue(due, stores);
    InternetSession session(manager_.TransferLimits());
    if (!manager_.OpenInternetSession(session, static_cast<int>(handlers.size()))) return;
    RefreshProgress& progress = manager_.Context().Progress();
    RefreshControl control;
    control.anyOrderFrom = start + std::max(std::chrono::milliseconds(0), greetingDeadline_ - kAnyOrderLead);
    // A session may have the mailbox between two feeds, and between two batches of a
    // feed's messages; the rest waits for it to end.
    class Breaks : public StoringBreaks {
    public:
        explicit Breaks(RefreshWorker& worker) : worker_(worker) {}
        bool SessionWaiting() override { return worker_.SessionWaiting(); }
        bool LetSessionIn() override { return worker_.LetSessionIn(); }

    private:
        RefreshWorker& worker_;
    } breaks(*this);
    control.handle = [&](std::size_t index, const FeedTransferResult& result) {
        if (!BeginFiling()) return;
        RssHandler& handler = *handlers[index];
        handler.BeginDownload();
        handler.FinishDownload(result);
        RecordReply(schedule_, handler, result);
        stores[index]->File(handlers[index], &breaks);
        Filed(keys[index], handlers[index]);
    };
    control.stop = stop_.get_token();
    control.progress = &progress;
    DownloadFeeds(handlers, session, manager_.GetSettings().downloadConcurrency, control);
    session.Close();
    FileFeedReport();
    progress.Finished();
}

bool RefreshWorker::BeginFiling() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_.stop_requested() || (!mailboxOpen_ && !mailboxWanted_); });
    if (stop_.stop_requested()) return false;
    filing_ = true;
    return true;
}

bool RefreshWorker::TryBeginFiling() {
    std::lock_guard lock(mutex_);
    if (stop_.stop_requested() || mailboxOpen_ || mailboxWanted_) return false;
    filing_ = true;
    return true;
}

bool RefreshWorker::SessionWaiting() const {
    std::lock_guard lock(mutex_);
    return mailboxWanted_;
}

bool RefreshWorker::LetSessionIn() {
    std::unique_lock lock(mutex_);
    filing_ = false;
    changed_.notify_all();
    changed_.wait(lock, [this] { return stop_.stop_requested() || (!mailboxOpen_ && !mailboxWanted_); });
    if (stop_.stop_requested()) return false;
    filing_ = true;
    return true;
}

void RefreshWorker::Filed(const std::string& key, const RssHandlerPointer& handler) {
    {
        std::lock_guard lock(mutex_);
        filed_[key] = handler;
        filing_ = false;
    }
    changed_.notify_all();
}

void RefreshWorker::RefreshBefore(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (stop_.stop_requested()) return;
    // The refresh running now, or else the one asked for here.
    const std::uint64_t awaited = finished_ + 1;
    if (!running_) {
        requested_ = true;
        changed_.notify_all();
    }
    changed_.wait_until(lock, deadline,
                        [this, awaited] { return stop_.stop_requested() || finished_ >= awaited; });
}

std::unique_ptr<RefreshWorker::Claim> RefreshWorker::TryClaim(std::chrono::milliseconds grace) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, grace,
                      [this] { return stop_.stop_requested() || !claimed_ || releasing_; });
    changed_.wait(lock, [this] { return stop_.stop_requested() || !claimed_ || !releasing_; });
    if (claimed_ || stop_.stop_requested()) return nullptr;
    claimed_ = true;
    return std::make_unique<Claim>(*this);
}

Mailbox RefreshWorker::OpenMailbox() {
    std::unique_lock lock(mutex_);
    // A feed being filed right now gets to its next break first: the end of its filing,
    // or of a batch of its messages once they are chosen and its sentitems.xml is read.
    // No feed begins meanwhile.
    mailboxWanted_ = true;
    changed_.wait(lock, [this] { return stop_.stop_requested() || !filing_; });
    mailboxWanted_ = false;
    mailboxOpen_ = true;
    std::vector<Mailbox::Part> parts;
    std::set<std::string> included;
    parts.reserve(stores_.size());
    for (const auto& key : feedKeys_) {
        auto folder = folderOf_.find(key);
        if (folder == folderOf_.end() || !included.insert(folder->second).second) continue;
        auto store = stores_.find(folder->second);
        if (store != stores_.end()) parts.push_back(store->second->Part());
    }
    for (const auto& [folder, store] : stores_) {
        if (store->Empty() || !included.insert(folder).second) continue;
        parts.push_back(store->Part());
    }
    return Mailbox(std::move(parts));
}

void RefreshWorker::EndMailbox(bool opened) {
    {
        std::lock_guard lock(mutex_);
        if (opened) mailboxOpen_ = false;
        claimed_ = false;
        releasing_ = false;
    }
    changed_.notify_all();
}

void RefreshWorker::Releasing() {
    std::lock_guard lock(mutex_);
    releasing_ = true;
}

RefreshWorker::Claim::~Claim() { worker_.EndMailbox(opened_); }

Mailbox& RefreshWorker::Claim::Open() {
    if (!opened_) {
        mailbox_ = worker_.OpenMailbox();
        opened_ = true;
    }
    return mailbox_;
}

void RefreshWorker::FileFeedReport() {
    // Filed like a feed, never while a session's mailbox is open; a report that cannot go
    // now goes after a later refresh.
    if (!TryBeginFiling()) return;
    std::vector<ListedFeedFolder> feeds;
    for (const auto& handler : manager_.Handlers()) feeds.push_back({handler->GetFeed()->url, handler->FeedFolder()});
    const std::string folder =
        FileDueFeedReport(manager_.Context(), manager_.GetSettings(), feeds,
                          std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    {
        std::lock_guard lock(mutex_);
        if (!folder.empty()) {
            // Read again, with the new report.
            stores_.erase(folder);
            StoreFor(folder, kFeedReportUrl);
        }
        filing_ = false;
    }
    changed_.notify_all();
}
