#pragma once

#include <string>

typedef void CURLSH;

// The internet session of one refresh: the user agent and what the downloads of the
// refresh share (connections, DNS cache).
class InternetSession {
public:
    InternetSession() = default;
    ~InternetSession();
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    bool Open(const std::string& agent);
    void Close();
    bool IsOpen() const { return share_ != nullptr; }

    const std::string& Agent() const { return agent_; }
    CURLSH* Share() const { return share_; }

private:
    std::string agent_;
    CURLSH* share_ = nullptr;
};
