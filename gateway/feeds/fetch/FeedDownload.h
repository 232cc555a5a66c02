#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <curl/curl.h>

class InternetSession;

// What one conditional GET of a feed came to. A 304 is a result, not an error: the
// caller branches on the outcome.
struct FeedTransferResult {
    enum class Outcome {
        NoConnection,  // no transfer could be set up at all
        OpenFailed,    // the URL cannot be requested (scheme other than http and https)
        SendFailed,    // no complete reply: refused, unresolvable, time-out, cut off, too big
        Replied,       // a complete reply; see status
    };
    Outcome outcome = Outcome::NoConnection;
    // Status code of the final reply after redirects; 0 when none could be read.
    long status = 0;
    std::string statusText;    // reason phrase of the final reply ("" for HTTP/2)
    std::string lastModified;  // Last-Modified of the final reply, trimmed
    std::string etag;          // ETag of the final reply, trimmed
    std::string contentType;   // Content-Type of the final reply, trimmed
    // What the final reply says about when to ask again, trimmed (see HttpReplyHeaders.h).
    std::string retryAfter;
    std::string cacheControl;
    std::string expires;
    std::string date;
    // The address requested: the feed's, or the one it moved to (see FetchState).
    std::string requestedUrl;
    // Where the 301 and 308 replies at the start of the redirect chain led: the feed's
    // new address. "" when the chain did not start with one; 302 and 307 are followed
    // and not remembered, and a permanent redirect after a temporary one is not either.
    std::string movedTo;
    // The complete body of the final reply. It is held in memory, not in the feed
    // folder, so a full disk does not keep its items from being offered.
    std::string body;
    std::string detail;  // libcurl's reason for a failure, for the trace
};

// One conditional GET of a feed into its folder. Setup makes and configures the easy
// handle (the URL, or the address the feed moved to as its fetchstate.txt records;
// If-Modified-Since from lastmodified.txt, redirects, the session's limits); the
// handle can be performed here (Perform) or on a multi handle by the
// caller, who then calls Complete with libcurl's result. The transfer must outlive
// the handle's use.
class FeedTransfer {
public:
    FeedTransfer(std::string url, std::string folder);
    ~FeedTransfer();
    FeedTransfer(const FeedTransfer&) = delete;
    FeedTransfer& operator=(const FeedTransfer&) = delete;

    // False when the transfer cannot start; Complete then gives the reason.
    bool Setup(const InternetSession& session);
    CURL* Handle() const { return curl_; }
    // For a driver that cleans the handle up itself (a multi handle): Complete then
    // reads the handle's info but leaves it alone.
    void KeepHandleAfterComplete() { keepHandle_ = true; }
    // Runs the transfer on this thread and completes it.
    FeedTransferResult Perform();
    // The result of a finished transfer, its body moved into it; frees the handle.
    FeedTransferResult Complete(CURLcode code);

    // "If-Modified-Since: ..." from lastmodified.txt as stored, or "" when there is none.
    static std::string ConditionalHeader(const std::string& folder);
    // "If-None-Match: ..." from etag.txt as stored, or "" when there is none.
    static std::string EntityTagHeader(const std::string& folder);

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    void HeaderLine(std::string line);
    size_t Body(const char* data, size_t size);
    void ReleaseCurl();

    std::string url_;
    std::string folder_;
    CURL* curl_ = nullptr;
    struct curl_slist* headers_ = nullptr;
    std::string body_;
    bool setupDone_ = false;
    bool initFailed_ = false;
    bool keepHandle_ = false;
    bool openFailed_ = false;
    bool tooBig_ = false;
    long long bodyBytes_ = 0;
    long long maxBodyBytes_ = 0;
    std::string statusText_;
    std::string lastModified_;
    std::string etag_;
    std::string contentType_;
    std::string retryAfter_;
    std::string cacheControl_;
    std::string expires_;
    std::string date_;
    // Status and URL of each reply of the redirect chain, in order.
    std::vector<std::pair<long, std::string>> hops_;
};
