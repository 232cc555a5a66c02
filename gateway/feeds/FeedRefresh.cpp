#include "FeedRefresh.h"

#include "ConcurrentDownloader.h"
#include "FeedDownload.h"
#include "FeedFolder.h"
#include "InternetSession.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace {
struct PendingDownload {
    std::unique_ptr<FeedTransfer> transfer;
    FeedTransferResult result;
    bool transferred = false;
    bool handled = false;
};
}  // namespace

void DownloadFeeds(const std::vector<RssHandlerPointer>& handlers, InternetSession& session,
                   int concurrency, const RefreshControl& control) {
    concurrency = std::max(1, concurrency);
    std::vector<PendingDownload> downloads(handlers.size());
    auto stopped = [&control] { return control.stop.stop_requested(); };

    // Results are handled in list order as soon as every earlier feed is done, so the
    // parsing of early feeds overlaps the transfers of later ones. Loading sentitems.xml
    // comes first here, as in a one-feed download: its log entry keeps its place.
    size_t firstUnhandled = 0;
    size_t handledCount = 0;
    auto nextReady = [&]() -> size_t {
        while (firstUnhandled < downloads.size() && downloads[firstUnhandled].handled) ++firstUnhandled;
        if (firstUnhandled < downloads.size() && downloads[firstUnhandled].transferred) return firstUnhandled;
        if (std::chrono::steady_clock::now() < control.anyOrderFrom) return downloads.size();
        for (size_t i = firstUnhandled; i < downloads.size(); ++i) {
            if (downloads[i].transferred && !downloads[i].handled) return i;
        }
        return downloads.size();
    };
    auto handleNext = [&] {
        if (stopped()) return false;
        const size_t index = nextReady();
        if (index >= downloads.size()) return false;
        if (control.beginFiling && !control.beginFiling()) return false;
        PendingDownload& download = downloads[index];
        RssHandler& handler = *handlers[index];
        handler.BeginDownload();
        handler.FinishDownload(download.result);
        if (control.handled) control.handled(index, download.result);
        download.transfer.reset();
        download.handled = true;
        ++handledCount;
        if (control.filed) control.filed(index);
        if (control.progress) {
            control.progress->Report(static_cast<int>(handledCount),
                                     static_cast<int>(downloads.size()));
        }
        return true;
    };

    // Feeds that share a folder (the same URL listed twice, or URLs that differ only in
    // the scheme) read and write the same files: the later one starts only when the
    // earlier one's reply has been handled, so it sends the validators that reply stored.
    std::map<std::string, size_t> lastUserOfFolder;
    std::vector<ConcurrentDownloader::Job> jobs;
    jobs.reserve(handlers.size());
    for (size_t i = 0; i < handlers.size(); ++i) {
        const std::string url = handlers[i]->GetFeed()->url;
        const std::string folder = handlers[i]->FeedFolder();
        ConcurrentDownloader::Job job;
        job.hostKey = ConcurrentDownloader::HostKey(url);
        job.start = [&downloads, &session, &control, i, url, folder]() -> CURL* {
            if (control.stop.stop_requested()) return nullptr;
            PendingDownload& download = downloads[i];
            MakeSureDirectoryPathExists(folder);
            download.transfer = std::make_unique<FeedTransfer>(url, folder);
            if (!download.transfer->Setup(session)) return nullptr;
            download.transfer->KeepHandleAfterComplete();
            return download.transfer->Handle();
        };
        job.finish = [&downloads, i](CURL*, CURLcode code) {
            PendingDownload& download = downloads[i];
            if (download.transfer) download.result = download.transfer->Complete(code);
            download.transferred = true;
        };
        auto previous = lastUserOfFolder.find(folder);
        if (previous != lastUserOfFolder.end()) {
            job.ready = [&downloads, earlier = previous->second] { return downloads[earlier].handled; };
        }
        lastUserOfFolder[folder] = i;
        jobs.push_back(std::move(job));
    }

    ConcurrentDownloader(session.Share(), concurrency,
                         std::min(concurrency, ConcurrentDownloader::kDefaultMaxPerHost))
        .Run(jobs, handleNext, control.stop);
    for (;;) {
        while (handleNext()) {
        }
        if (handledCount == downloads.size() || stopped()) break;
        if (!control.waitToFile || !control.waitToFile()) break;
    }
}
