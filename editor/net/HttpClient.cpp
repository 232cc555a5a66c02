#include "HttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <curl/curl.h>

#include <atomic>
#include <algorithm>
#include <mutex>
#include <thread>

namespace {

std::once_flag g_curlInit;

void EnsureCurlInitialised() {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct BodySink {
    QByteArray* body;
    long long limit;
    bool overflow = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t bytes = size * count;
    if (static_cast<long long>(sink->body->size()) + static_cast<long long>(bytes) > sink->limit) {
        sink->overflow = true;
        return 0;  // makes curl stop with a write error
    }
    sink->body->append(data, static_cast<qsizetype>(bytes));
    return bytes;
}

// The status line of the final answer, e.g. "HTTP/1.1 404 Not Found", becomes
// the error text of a failed status, the way users know it from browsers.
size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
    auto* statusLine = static_cast<std::string*>(user);
    const size_t bytes = size * count;
    std::string line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        *statusLine = line;
    }
    return bytes;
}

// Both tokens are asked while curl waits or moves data, at least once a second;
// a non-zero answer makes curl end the transfer.
struct StopWatch {
    const std::stop_token* client;
    const std::stop_token* request;
};

int CheckStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* watch = static_cast<const StopWatch*>(user);
    return watch->client->stop_requested() || watch->request->stop_requested() ? 1 : 0;
}

void LockShare(CURL*, curl_lock_data, curl_lock_access, void* user) {
    static_cast<std::mutex*>(user)->lock();
}

void UnlockShare(CURL*, curl_lock_data, void* user) {
    static_cast<std::mutex*>(user)->unlock();
}

}  // namespace

HttpClient::HttpClient() {
    EnsureCurlInitialised();
    CURLSH* share = curl_share_init();
    if (share != nullptr) {
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, LockShare);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, UnlockShare);
        curl_share_setopt(share, CURLSHOPT_USERDATA, &shareMutex_);
    }
    cookieShare_ = share;
}

HttpClient::~HttpClient() {
    if (cookieShare_ != nullptr) curl_share_cleanup(static_cast<CURLSH*>(cookieShare_));
}

HttpResult HttpClient::Get(const std::string& url, std::stop_token stop) {
    return Perform(url, false, std::move(stop));
}

HttpResult HttpClient::Head(const std::string& url, std::stop_token stop) {
    return Perform(url, true, std::move(stop));
}

HttpResult HttpClient::Perform(const std::string& url, bool head, std::stop_token stop) {
    // Without an event loop (command-line tools, early start-up) run inline.
    if (QCoreApplication::instance() == nullptr ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return RunTransfer(url, head, stop);
    }
    HttpResult result;
    std::atomic<bool> done{false};
    // The request's own token, also stopped when the application leaves its
    // event loops (quit) while the transfer runs.
    std::stop_source local;
    const std::stop_callback chain(stop, [&local] { local.request_stop(); });
    QEventLoop loop;
    std::thread worker([&, token = local.get_token()] {
        result = RunTransfer(url, head, token);
        done.store(true);
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // Paint and timers go on; clicks and keys wait until the command ends, so
    // no second command can start while this one is running.
    while (!done.load()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!done.load()) {
            // Not our quit: the application is closing. The transfer stops soon.
            local.request_stop();
            break;
        }
    }
    worker.join();
    return result;
}

HttpResult HttpClient::RunTransfer(const std::string& url, bool head, const std::stop_token& stop) {
    HttpResult result;
    const std::stop_token clientStop = stop_.get_token();
    if (clientStop.stop_requested() || stop.stop_requested()) {
        result.errorMessage = kCancelledMessage;
        return result;
    }
    StopWatch watch{&clientStop, &stop};
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        result.errorMessage = "HTTP client could not be initialised";
        return result;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    BodySink sink{&result.body, maxBodyBytes_};
    std::string statusLine;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Connection: Close");
    headers = curl_slist_append(headers, "Accept: text/html, */*");

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent_.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    // An empty proxy name overrides http_proxy and friends from the environment.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, readTimeoutMs_);
    // A read time-out: the transfer fails when nothing arrives for that long.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, (readTimeoutMs_ + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // cookie engine on, memory only
    if (cookieShare_ != nullptr) curl_easy_setopt(curl, CURLOPT_SHARE, cookieShare_);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &statusLine);
    if (head) curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckStop);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        if (code == CURLE_ABORTED_BY_CALLBACK) {
            result.errorMessage = kCancelledMessage;
        } else if (sink.overflow) {
            result.errorMessage = "The answer is too large";
        } else {
            result.errorMessage = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
        }
        result.body.clear();
    } else {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
        char* location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        if (location != nullptr) result.location = location;
        const bool success = result.status >= 200 && result.status < 300;
        const bool redirect = result.status >= 300 && result.status < 400 && !result.location.empty();
        result.ok = success || redirect;
        if (!result.ok) {
            result.errorMessage = statusLine.empty() ? "HTTP " + std::to_string(result.status) : statusLine;
        }
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result;
}
