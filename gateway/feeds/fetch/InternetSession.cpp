#include "InternetSession.h"

#include <curl/curl.h>

#include <mutex>

namespace {
void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
}  // namespace

InternetSession::~InternetSession() { Close(); }

bool InternetSession::Open(const std::string& agent) {
    InitCurlOnce();
    Close();
    share_ = curl_share_init();
    if (!share_) return false;
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    agent_ = agent;
    return true;
}

void InternetSession::Close() {
    if (share_) curl_share_cleanup(share_);
    share_ = nullptr;
}
