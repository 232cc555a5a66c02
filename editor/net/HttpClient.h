#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

// The outcome of one request. A request succeeds when the server answered with
// a 2xx status, or with a 3xx status that names a Location (redirects are
// reported, never followed). Everything else is a failure with a message:
// no connection, a time-out, 304 and every 4xx and 5xx.
struct HttpResult {
    bool ok = false;
    long status = 0;            // 0 when no answer arrived
    QByteArray body;
    std::string location;       // Location header of a redirect answer
    std::string errorMessage;   // set when !ok
};

// The editor's one HTTP client. Requests block the calling command, as the
// commands expect, but the transfer runs on a worker thread while the window
// thread keeps painting (user input is held back), so the window never looks
// hung and never waits longer than the read time-out per read. Every transfer
// watches the client's stop token and the request's own: once either is stopped
// it ends within a moment with kCancelledMessage.
class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    void SetUserAgent(const std::string& userAgent) { userAgent_ = userAgent; }
    const std::string& UserAgent() const { return userAgent_; }
    // Longest silence allowed while connecting or reading, in milliseconds.
    void SetReadTimeoutMs(long ms) { readTimeoutMs_ = ms; }
    long ReadTimeoutMs() const { return readTimeoutMs_; }
    // Bodies beyond this size fail rather than exhaust memory.
    void SetMaxBodyBytes(long long bytes) { maxBodyBytes_ = bytes; }

    HttpResult Get(const std::string& url, std::stop_token stop = {});
    HttpResult Head(const std::string& url, std::stop_token stop = {});

    // Ends the running request and fails every later one; safe from any thread.
    // Closing the window does this, so no request outlives it.
    void RequestStop() { stop_.request_stop(); }
    bool StopRequested() const { return stop_.stop_requested(); }

    static constexpr const char* kCancelledMessage = "The request was cancelled";

    static constexpr const char* kDefaultUserAgent =
        "Mozilla/3.0 (compatible; Corvane 1.1.3; Powered by Indy Library)";

private:
    HttpResult Perform(const std::string& url, bool head, std::stop_token stop);
    HttpResult RunTransfer(const std::string& url, bool head, const std::stop_token& stop);

    std::string userAgent_ = kDefaultUserAgent;
    long readTimeoutMs_ = 30000;
    long long maxBodyBytes_ = 64LL * 1024 * 1024;
    // Cookies live in this handle's cookie engine for the whole run, in memory; the
    // mutex guards it while transfers on worker threads use it.
    std::mutex shareMutex_;
    void* cookieShare_ = nullptr;
    std::stop_source stop_;
};
