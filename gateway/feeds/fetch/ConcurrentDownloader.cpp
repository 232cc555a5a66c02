#include "ConcurrentDownloader.h"

#include "TextUtil.h"

#include <algorithm>
#include <map>
#include <memory>

namespace {
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) return {};
    std::string result(text);
    curl_free(text);
    return result;
}
}  // namespace

ConcurrentDownloader::ConcurrentDownloader(CURLSH* share, int maxTotal, int maxPerHost)
    : share_(share), maxTotal_(std::max(1, maxTotal)), maxPerHost_(std::max(1, maxPerHost)) {}

std::string ConcurrentDownloader::HostKey(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return url;
    }
    const std::string host = ToLowerCopy(UrlPart(parsed.get(), CURLUPART_HOST, 0));
    if (host.empty()) return url;
    return UrlPart(parsed.get(), CURLUPART_SCHEME, 0) + "://" + host + ":" +
           UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
}

void ConcurrentDownloader::Run(std::vector<Job>& jobs, const std::function<bool()>& work,
                               std::stop_token stop) const {
    if (jobs.empty()) return;
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi) {
        for (auto& job : jobs) job.finish(nullptr, CURLE_OUT_OF_MEMORY);
        return;
    }
    // Our own scheduling keeps the limits; libcurl's host limit is a backstop for
    // redirects that lead to another host. Its total limit would count idle connections
    // too and close them, so it stays off. The idle-connection cache is larger than the
    // slots, so a host whose feeds alternate with another's keeps its connection.
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(maxPerHost_));
    curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, static_cast<long>(std::max(32, 2 * maxTotal_)));

    std::vector<size_t> waiting(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) waiting[i] = i;
    std::map<CURL*, size_t> running;
    std::map<std::string, int> perHost;

    // Starts waiting jobs in list order while there is room; a job whose host is busy
    // waits without holding back the jobs of other hosts behind it. A job finished
    // without a transfer may make an earlier one ready, so the scan then starts again.
    auto fill = [&] {
        for (bool rescan = true; rescan;) {
            rescan = false;
            for (auto it = waiting.begin();
                 it != waiting.end() && static_cast<int>(running.size()) < maxTotal_;) {
                Job& job = jobs[*it];
                if (perHost[job.hostKey] >= maxPerHost_ || (job.ready && !job.ready())) {
                    ++it;
                    continue;
                }
                size_t index = *it;
                it = waiting.erase(it);
                CURL* easy = job.start();
                if (easy && share_) curl_easy_setopt(easy, CURLOPT_SHARE, share_);
                if (easy && curl_multi_add_handle(multi.get(), easy) == CURLM_OK) {
                    running.emplace(easy, index);
                    ++perHost[job.hostKey];
                    continue;
                }
                job.finish(easy, CURLE_FAILED_INIT);
                if (easy) curl_easy_cleanup(easy);
                rescan = true;
                break;
            }
        }
    };

    // Finished transfers: their callbacks, their handles cleaned up. True when any.
    auto reap = [&] {
        bool any = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            CURL* easy = message->easy_handle;
            CURLcode result = message->data.result;
            curl_multi_remove_handle(multi.get(), easy);
            auto found = running.find(easy);
            if (found != running.end()) {
                Job& job = jobs[found->second];
                running.erase(found);
                --perHost[job.hostKey];
                job.finish(easy, result);
                any = true;
            }
            curl_easy_cleanup(easy);
        }
        return any;
    };

    // Ends the running transfers without waiting for their servers.
    auto abortRunning = [&] {
        for (const auto& [easy, index] : running) {
            curl_multi_remove_handle(multi.get(), easy);
            jobs[index].finish(easy, CURLE_ABORTED_BY_CALLBACK);
            curl_easy_cleanup(easy);
        }
        running.clear();
    };
    // Safe from any thread; the wait below returns at once. Declared after the multi
    // handle, so it is gone before the handle is.
    std::stop_callback wake(stop, [handle = multi.get()] { curl_multi_wakeup(handle); });

    int stillRunning = 0;
    if (!stop.stop_requested()) fill();
    for (;;) {
        if (stop.stop_requested()) {
            abortRunning();
            break;
        }
        if (!running.empty()) {
            curl_multi_perform(multi.get(), &stillRunning);
            if (reap()) {
                fill();
                // The new transfers connect and send their requests before any other work.
                curl_multi_perform(multi.get(), &stillRunning);
                if (reap()) fill();
            }
        }
        bool worked = work && work();
        // Handled work may make a waiting job ready.
        if (worked || running.empty()) fill();
        if (running.empty()) {
            if (worked) continue;
            break;  // nothing runs and nothing can start
        }
        if (!worked) curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
    // Only a ready() that never turns true leaves jobs here; they end without a transfer
    // rather than hold the refresh forever.
    for (size_t index : waiting) jobs[index].finish(nullptr, CURLE_FAILED_INIT);
}
