#include "RefreshWorker.h"

#include "FeedRefresh.h"
#include "InternetSession.h"
#include "RssManager.h"

#include <algorithm>

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
      interval_(manager.GetSettings().refreshIntervalMinutes) {
    thread_ = std::thread([this] { Loop(); });
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
    const std::vector<RssHandlerPointer> handlers = manager_.Handlers();
    const std::vector<std::string> keys = FeedKeys(handlers);
    {
        std::lock_guard lock(mutex_);
        feedKeys_ = keys;
        for (auto it = filed_.begin(); it != filed_.end();) {
            it = std::find(keys.begin(), keys.end(), it->first) == keys.end() ? filed_.erase(it) : std::next(it);
        }
    }
    InternetSession session(manager_.TransferLimits());
    if (!manager_.OpenInternetSession(session, static_cast<int>(handlers.size()))) return;
    RefreshProgress& progress = manager_.Context().Progress();
    RefreshControl control;
    control.anyOrderFrom = start + std::max(std::chrono::milliseconds(0), greetingDeadline_ - kAnyOrderLead);
    control.beginFiling = [this] { return BeginFiling(); };
    control.filed = [this, &keys, &handlers](std::size_t index) { Filed(keys[index], handlers[index]); };
    control.waitToFile = [this] { return WaitToFile(); };
    control.stop = stop_.get_token();
    control.progress = &progress;
    DownloadFeeds(handlers, session, manager_.GetSettings().downloadConcurrency, control);
    session.Close();
    progress.Finished();
}

bool RefreshWorker::BeginFiling() {
    std::lock_guard lock(mutex_);
    if (stop_.stop_requested() || mailboxOpen_) return false;
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

bool RefreshWorker::WaitToFile() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_.stop_requested() || !mailboxOpen_; });
    return !stop_.stop_requested();
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
    // A feed being filed right now is finished first: its sentitems.xml was read before
    // anything this session could record.
    changed_.wait(lock, [this] { return stop_.stop_requested() || !filing_; });
    mailboxOpen_ = true;
    std::vector<Mailbox::Part> parts;
    parts.reserve(feedKeys_.size());
    for (const auto& key : feedKeys_) {
        auto found = filed_.find(key);
        if (found == filed_.end()) continue;
        RssHandlerPointer handler = found->second;
        parts.push_back(SentItemsPart(handler));
    }
    return Mailbox(std::move(parts));
}

void RefreshWorker::EndMailbox(Mailbox& mailbox, bool opened, bool committed) {
    {
        std::lock_guard lock(mutex_);
        if (opened) {
            // The handlers serve the next session too: as recorded, or as before this one.
            if (committed) {
                mailbox.KeepDeletions();
            } else {
                mailbox.Reset();
            }
            mailboxOpen_ = false;
        }
        claimed_ = false;
        releasing_ = false;
    }
    changed_.notify_all();
}

void RefreshWorker::Releasing() {
    std::lock_guard lock(mutex_);
    releasing_ = true;
}

RefreshWorker::Claim::~Claim() { worker_.EndMailbox(mailbox_, opened_, committed_); }

Mailbox& RefreshWorker::Claim::Open() {
    if (!opened_) {
        mailbox_ = worker_.OpenMailbox();
        opened_ = true;
    }
    return mailbox_;
}
