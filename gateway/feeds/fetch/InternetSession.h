#pragma once

#include "FeedTransferLimits.h"

#include <string>

typedef void CURLSH;

// The internet session of one refresh: the user agent and what the downloads of the
// refresh share (connections, DNS cache) and the limits every one of them keeps.
class InternetSession {
public:
    explicit InternetSession(FeedTransferLimits limits = {}) : limits_(std::move(limits)) {}
    ~InternetSession();
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    bool Open(const std::string& agent);
    void Close();
    bool IsOpen() const { return share_ != nullptr; }

    const std::string& Agent() const { return agent_; }
    CURLSH* Share() const { return share_; }
    const FeedTransferLimits& Limits() const { return limits_; }

private:
    FeedTransferLimits limits_;
    std::string agent_;
    CURLSH* share_ = nullptr;
};
