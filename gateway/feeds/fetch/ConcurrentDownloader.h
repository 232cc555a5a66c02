#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include <curl/curl.h>

// Runs the transfers of one refresh on one libcurl multi handle, so connections to a
// host are kept and reused from one feed to the next. Transfers are started in list
// order as slots free up: at most maxTotal at once and at most maxPerHost per scheme,
// host and port. A transfer's own time-outs run from its start, so a slow or failing
// server holds only its own slot and never delays the other feeds beyond that.
//
// Only the transfers overlap. Everything a job's finish callback does must be limited
// to recording the outcome; the caller handles the outcomes afterwards, in list order.
class ConcurrentDownloader {
public:
    struct Job {
        // Scheduling key, from HostKey(url); jobs with the same key share the host limit.
        std::string hostKey;
        // Makes and configures the easy handle when the job's turn comes (so 1,000 feeds
        // never hold 1,000 handles or open files at once). nullptr: the job could not
        // start; finish is called with nullptr and CURLE_FAILED_INIT.
        std::function<CURL*()> start;
        // Called once with the finished handle (still valid: read its info here) and
        // the transfer's result. The downloader cleans the handle up afterwards. Keep
        // it short: slots are refilled only after it returns; heavy work goes in work().
        std::function<void(CURL*, CURLcode)> finish;
        // Optional: while it answers false the job waits, keeping its place in the list
        // (for a job that must not start before an earlier one's outcome is handled).
        std::function<bool()> ready;
    };

    // share: DNS and TLS session cache of the internet session (may be null).
    ConcurrentDownloader(CURLSH* share, int maxTotal, int maxPerHost);

    // Runs every job to its finish callback and returns when all are done. Between
    // rounds of the transfer loop -- after finished slots are refilled and new requests
    // are on their way -- work() is called to do one piece of the caller's own work
    // (handling a finished result); it answers whether it did any. So that work
    // overlaps the waits for the servers instead of holding back the next transfers.
    //
    // A stop request wakes the loop at once, whatever it waits for: the running
    // transfers finish with CURLE_ABORTED_BY_CALLBACK, the jobs not started yet with
    // CURLE_FAILED_INIT, and Run returns.
    void Run(std::vector<Job>& jobs, const std::function<bool()>& work = {},
             std::stop_token stop = {}) const;

    // "scheme://host:port" of a URL, lower-cased by libcurl; the URL itself when it
    // cannot be parsed (such a transfer fails at once anyway).
    static std::string HostKey(const std::string& url);

    // The default limits of a refresh.
    static constexpr int kDefaultMaxTotal = 16;
    static constexpr int kDefaultMaxPerHost = 4;

private:
    CURLSH* share_;
    int maxTotal_;
    int maxPerHost_;
};
