#include "FeedDownload.h"

#include "FetchState.h"
#include "InternetSession.h"
#include "TextUtil.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kMaxStoredLastModified = 1000;

// Only http and https are fetched; a URL without a scheme is taken as http.
bool HasFetchableScheme(const std::string& url) {
    auto pos = url.find("://");
    if (pos == std::string::npos) return true;
    std::string scheme = ToLowerCopy(url.substr(0, pos));
    return scheme == "http" || scheme == "https";
}

// The first bytes of a stored validator file, up to its first NUL: a line end in it
// must never start a header line of its own.
std::string ReadStoredValidator(std::ifstream& file) {
    std::string text(kMaxStoredLastModified, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    return text.substr(0, text.find_first_of(std::string("\0\r\n", 3)));
}

}  // namespace

FeedTransfer::FeedTransfer(std::string url, std::string folder)
    : url_(std::move(url)), folder_(std::move(folder)) {}

FeedTransfer::~FeedTransfer() {
    if (curl_) curl_easy_cleanup(curl_);
    if (headers_) curl_slist_free_all(headers_);
}

std::string FeedTransfer::ConditionalHeader(const std::string& folder) {
    std::ifstream file(folder + "lastmodified.txt", std::ios::binary);
    if (!file) return "";
    return "If-Modified-Since: " + ReadStoredValidator(file);
}

std::string FeedTransfer::EntityTagHeader(const std::string& folder) {
    std::ifstream file(folder + "etag.txt", std::ios::binary);
    if (!file) return "";
    std::string tag = ReadStoredValidator(file);
    return tag.empty() ? "" : "If-None-Match: " + tag;
}

bool FeedTransfer::Setup(const InternetSession& session) {
    setupDone_ = true;
    // A feed that moved is asked for at its new address, in its own folder.
    const FetchStateRead state = ReadFetchState(folder_);
    if (!state.state.movedTo.empty()) url_ = state.state.movedTo;
    if (!HasFetchableScheme(url_)) {
        openFailed_ = true;
        return false;
    }
    curl_ = curl_easy_init();
    if (!curl_) {
        initFailed_ = true;
        return false;
    }
    const FeedTransferLimits& limits = session.Limits();
    maxBodyBytes_ = limits.maxBodyBytes;
    curl_easy_setopt(curl_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(curl_, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    curl_easy_setopt(curl_, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(limits.maxBodyBytes));
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.caFile.empty()) curl_easy_setopt(curl_, CURLOPT_CAINFO, limits.caFile.c_str());
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, session.Agent().c_str());
    if (session.Share()) curl_easy_setopt(curl_, CURLOPT_SHARE, session.Share());
    // Many servers send only an ETag; without If-None-Match they answer every refresh
    // with the whole feed.
    for (const std::string& header : {ConditionalHeader(folder_), EntityTagHeader(folder_)}) {
        if (!header.empty()) headers_ = curl_slist_append(headers_, header.c_str());
    }
    if (headers_) curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
    // Every coding libcurl can decode is offered; the body arrives decoded.
    curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &FeedTransfer::OnHeader);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &FeedTransfer::OnBody);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this);
    return true;
}

FeedTransferResult FeedTransfer::Perform() {
    if (!curl_) return Complete(CURLE_FAILED_INIT);
    return Complete(curl_easy_perform(curl_));
}

size_t FeedTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
    static_cast<FeedTransfer*>(self)->HeaderLine(std::string(data, size * count));
    return size * count;
}

size_t FeedTransfer::OnBody(char* data, size_t size, size_t count, void* self) {
    return static_cast<FeedTransfer*>(self)->Body(data, size * count);
}

void FeedTransfer::HeaderLine(std::string line) {
    if (line.compare(0, 5, "HTTP/") == 0) {
        // Each reply of a redirect chain starts afresh; only the final one counts.
        lastModified_.clear();
        etag_.clear();
        contentType_.clear();
        retryAfter_.clear();
        cacheControl_.clear();
        expires_.clear();
        date_.clear();
        statusText_.clear();
        std::string rest(Trim(line));
        const std::size_t codeAt = rest.find(' ');
        const long code = codeAt == std::string::npos ? 0 : std::atol(rest.c_str() + codeAt + 1);
        // The URL this reply answers; an interim 1xx reply is no hop of the chain.
        if (code >= 200) {
            char* effective = nullptr;
            if (curl_) curl_easy_getinfo(curl_, CURLINFO_EFFECTIVE_URL, &effective);
            hops_.emplace_back(code, effective ? effective : url_);
        }
        auto space = rest.find(' ');
        if (space != std::string::npos) {
            auto reason = rest.find(' ', space + 1);
            if (reason != std::string::npos) statusText_ = Trim(std::string_view(rest).substr(reason + 1));
        }
        // A body written for an earlier reply of the chain is not the document.
        body_.clear();
        bodyBytes_ = 0;
        return;
    }
    auto colon = line.find(':');
    if (colon == std::string::npos) return;
    std::string name = ToLowerCopy(Trim(std::string_view(line).substr(0, colon)));
    if (name == "last-modified")
        lastModified_ = Trim(std::string_view(line).substr(colon + 1));
    else if (name == "etag")
        etag_ = Trim(std::string_view(line).substr(colon + 1));
    else if (name == "content-type")
        contentType_ = Trim(std::string_view(line).substr(colon + 1));
    else if (name == "retry-after")
        retryAfter_ = Trim(std::string_view(line).substr(colon + 1));
    else if (name == "cache-control")
        cacheControl_ = cacheControl_.empty() ? std::string(Trim(std::string_view(line).substr(colon + 1)))
                                              : cacheControl_ + ", " + std::string(Trim(std::string_view(line).substr(colon + 1)));
    else if (name == "expires")
        expires_ = Trim(std::string_view(line).substr(colon + 1));
    else if (name == "date")
        date_ = Trim(std::string_view(line).substr(colon + 1));
}

size_t FeedTransfer::Body(const char* data, size_t size) {
    if (bodyBytes_ + static_cast<long long>(size) > maxBodyBytes_) {
        tooBig_ = true;
        return 0;
    }
    body_.append(data, size);
    bodyBytes_ += static_cast<long long>(size);
    return size;
}

void FeedTransfer::ReleaseCurl() {
    if (curl_ && !keepHandle_) curl_easy_cleanup(curl_);
    curl_ = nullptr;
}

FeedTransferResult FeedTransfer::Complete(CURLcode code) {
    FeedTransferResult result;
    result.requestedUrl = url_;
    if (!setupDone_ || initFailed_) return result;
    if (openFailed_) {
        result.outcome = FeedTransferResult::Outcome::OpenFailed;
        return result;
    }
    long status = 0;
    if (curl_) curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    ReleaseCurl();
    if (code == CURLE_URL_MALFORMAT) {
        // The URL itself cannot be requested (a blank in it, a bad port number).
        result.outcome = FeedTransferResult::Outcome::OpenFailed;
        return result;
    }
    if (code != CURLE_OK) {
        result.outcome = FeedTransferResult::Outcome::SendFailed;
        result.detail = tooBig_ ? "body larger than the limit" : curl_easy_strerror(code);
        return result;
    }
    result.outcome = FeedTransferResult::Outcome::Replied;
    result.status = status;
    result.statusText = statusText_;
    result.lastModified = lastModified_;
    result.etag = etag_;
    result.contentType = contentType_;
    result.retryAfter = retryAfter_;
    result.cacheControl = cacheControl_;
    result.expires = expires_;
    result.date = date_;
    for (std::size_t i = 0; i + 1 < hops_.size() && (hops_[i].first == 301 || hops_[i].first == 308); ++i)
        result.movedTo = hops_[i + 1].second;
    result.body = std::move(body_);
    return result;
}
