#include "FeedRefresh.h"

#include "ConcurrentDownloader.h"
#include "FeedDownload.h"
#include "FeedFolder.h"
#include "InternetSession.h"
#include "RefreshProgress.h"

#include <algorithm>
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
                   int concurrency) {
    concurrency = std::max(1, concurrency);
    std::vector<PendingDownload> downloads(handlers.size());

    // Results are handled in list order as soon as every earlier feed is done, so the
    // parsing of early feeds overlaps the transfers of later ones. Loading sentitems.xml
    // comes first here, as in a one-feed download: its log entry keeps its place.
    size_t nextToHandle = 0;
    auto handleNext = [&] {
        if (nextToHandle >= downloads.size() || !downloads[nextToHandle].transferred) return false;
        PendingDownload& download = downloads[nextToHandle];
        RssHandler& handler = *handlers[nextToHandle];
        handler.BeginDownload();
        handler.FinishDownload(download.result);
        download.transfer.reset();
        download.handled = true;
        ++nextToHandle;
        ReportRefreshProgress(static_cast<int>(nextToHandle), static_cast<int>(downloads.size()));
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
        job.start = [&downloads, &session, i, url, folder]() -> CURL* {
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
        .Run(jobs, handleNext);
    while (handleNext()) {
    }
}
