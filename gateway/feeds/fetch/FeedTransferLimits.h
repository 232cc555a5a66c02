#pragma once

#include <chrono>
#include <string>

// Limits that keep a stalled or hostile server from holding the refresh or filling the
// disk. Tests shorten them.
struct FeedTransferLimits {
    std::chrono::milliseconds connectTimeout{30000};
    std::chrono::milliseconds totalTimeout{120000};
    long long maxBodyBytes = 64LL * 1024 * 1024;
    long maxRedirects = 10;
    // Certificates are checked against the system's CA store; tests name their own CA.
    std::string caFile;
};
