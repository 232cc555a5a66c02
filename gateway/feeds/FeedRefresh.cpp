#include "FeedRefresh.h"

#include "ConcurrentDownloader.h"
#include "FeedDownload.h"
#include "FeedFolder.h"
#include "InternetSession.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

// What the transfer thread keeps of each feed.
struct PendingDownload {
    std::unique_ptr<FeedTransfer> transfer;
    FeedTransferResult result;
    bool started = false;
    bool transferred = false;
    bool handedOver = false;
};

// The replies the transfer thread hands to the handling thread, and which feeds are
// handled; safe from both.
class Handoff {
public:
    explicit Handoff(std::size_t feeds) : handled_(feeds, false) {}

    void Push(std::size_t index, FeedTransferResult result) {
        {
            std::lock_guard lock(mutex_);
            queue_.emplace_back(index, std::move(result));
        }
        changed_.notify_all();
    }
    // Nothing more is handed over.
    void Close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }
    // The next reply to handle; nullopt once the queue is closed and empty.
    std::optional<std::pair<std::size_t, FeedTransferResult>> Take() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) return std::nullopt;
        auto next = std::move(queue_.front());
        queue_.pop_front();
        return next;
    }
    // Returns the number of feeds handled so far.
    std::size_t Handled(std::size_t index) {
        std::size_t count = 0;
        {
            std::lock_guard lock(mutex_);
            handled_[index] = true;
            count = ++handledCount_;
        }
        changed_.notify_all();
        return count;
    }
    bool IsHandled(std::size_t index) {
        std::lock_guard lock(mutex_);
        return handled_[index];
    }
    std::size_t HandledCount() {
        std::lock_guard lock(mutex_);
        return handledCount_;
    }
    // Waits until more than `seen` feeds are handled, or until a stop request.
    void WaitForMoreThan(std::size_t seen, std::stop_token stop) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, stop, [this, seen] { return handledCount_ > seen; });
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::pair<std::size_t, FeedTransferResult>> queue_;
    std::vector<bool> handled_;
    std::size_t handledCount_ = 0;
    bool closed_ = false;
};

}  // namespace

void DownloadFeeds(const std::vector<RssHandlerPointer>& handlers, InternetSession& session,
                   int concurrency, const RefreshControl& control) {
    concurrency = std::max(1, concurrency);
    std::vector<PendingDownload> downloads(handlers.size());
    auto stopped = [&control] { return control.stop.stop_requested(); };
    Handoff handoff(handlers.size());

    // Results are handed over in list order as soon as every earlier feed is, so the
    // handling of early feeds overlaps the transfers of later ones.
    std::size_t firstWaiting = 0;
    std::size_t handedOver = 0;
    std::size_t started = 0;
    std::size_t startedAndFinished = 0;
    std::size_t handledSeen = 0;
    auto nextReady = [&]() -> std::size_t {
        while (firstWaiting < downloads.size() && downloads[firstWaiting].handedOver) ++firstWaiting;
        if (firstWaiting < downloads.size() && downloads[firstWaiting].transferred) return firstWaiting;
        if (std::chrono::steady_clock::now() < control.anyOrderFrom) return downloads.size();
        for (std::size_t i = firstWaiting; i < downloads.size(); ++i) {
            if (downloads[i].transferred && !downloads[i].handedOver) return i;
        }
        return downloads.size();
    };
    auto handOverNext = [&] {
        const std::size_t index = nextReady();
        if (index >= downloads.size()) return false;
        PendingDownload& download = downloads[index];
        download.transfer.reset();
        download.handedOver = true;
        ++handedOver;
        handoff.Push(index, std::move(download.result));
        return true;
    };
    // The downloader's work between two rounds of transfers. A feed handled meanwhile
    // may let a waiting transfer of its folder start, so that counts as work too.
    auto work = [&] {
        if (stopped()) return false;
        if (handOverNext()) return true;
        std::size_t handled = handoff.HandledCount();
        if (handled != handledSeen) {
            handledSeen = handled;
            return true;
        }
        // Nothing transfers, and the transfers left wait for an earlier feed of their
        // folder to be handled: without this wait the downloader would end them.
        if (started == startedAndFinished && started < downloads.size() && handedOver > handled) {
            handoff.WaitForMoreThan(handled, control.stop);
            handledSeen = handoff.HandledCount();
            return true;
        }
        return false;
    };

    // Feeds that share a folder (the same URL listed twice, or URLs that differ only in
    // the scheme) read and write the same files: the later one starts only when the
    // earlier one's reply has been handled, so it sends the validators that reply stored.
    std::map<std::string, std::size_t> lastUserOfFolder;
    std::vector<ConcurrentDownloader::Job> jobs;
    jobs.reserve(handlers.size());
    for (std::size_t i = 0; i < handlers.size(); ++i) {
        const std::string url = handlers[i]->GetFeed()->url;
        const std::string folder = handlers[i]->FeedFolder();
        ConcurrentDownloader::Job job;
        job.hostKey = ConcurrentDownloader::HostKey(url);
        job.start = [&downloads, &session, &control, &started, i, url, folder]() -> CURL* {
            PendingDownload& download = downloads[i];
            download.started = true;
            ++started;
            if (control.stop.stop_requested()) return nullptr;
            MakeSureDirectoryPathExists(folder);
            download.transfer = std::make_unique<FeedTransfer>(url, folder);
            if (!download.transfer->Setup(session)) return nullptr;
            download.transfer->KeepHandleAfterComplete();
            return download.transfer->Handle();
        };
        job.finish = [&downloads, &startedAndFinished, i](CURL*, CURLcode code) {
            PendingDownload& download = downloads[i];
            if (download.transfer) download.result = download.transfer->Complete(code);
            download.transferred = true;
            if (download.started) ++startedAndFinished;
        };
        auto previous = lastUserOfFolder.find(folder);
        if (previous != lastUserOfFolder.end()) {
            job.ready = [&handoff, earlier = previous->second] { return handoff.IsHandled(earlier); };
        }
        lastUserOfFolder[folder] = i;
        jobs.push_back(std::move(job));
    }

    // The transfers run on a thread of their own; the replies are handled here, one feed
    // after another, in the order they are handed over. The caller's thread lasts from
    // one refresh to the next, and so does its malloc arena: what a refresh parses and
    // stores takes the room the last one freed. (A new handling thread per refresh could
    // be given a fresh arena and leave that room unused: 20-40 MB more at 1,000 feeds.)
    std::thread transfers([&] {
        ConcurrentDownloader(session.Share(), concurrency,
                             std::min(concurrency, ConcurrentDownloader::kDefaultMaxPerHost))
            .Run(jobs, work, control.stop);
        while (!stopped() && handOverNext()) {
        }
        handoff.Close();
    });
    // Loading sentitems.xml comes first, as in a one-feed download: its log entry keeps
    // its place.
    while (auto next = handoff.Take()) {
        const auto& [index, result] = *next;
        if (!stopped()) {
            if (control.handle) {
                control.handle(index, result);
            } else {
                handlers[index]->BeginDownload();
                handlers[index]->FinishDownload(result);
            }
        }
        const std::size_t count = handoff.Handled(index);
        if (control.progress && !stopped())
            control.progress->Report(static_cast<int>(count), static_cast<int>(downloads.size()));
    }
    transfers.join();
}
