#include "ConcurrentDownloader.h"

#include "LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace {
using namespace std::chrono_literals;

// Answers /N?delay=MS with the body "N" after MS milliseconds.
LoopbackHttpServer::Response Echo(const LoopbackHttpServer::Request& request) {
    LoopbackHttpServer::Response response;
    std::string target = request.target;
    size_t query = target.find("?delay=");
    if (query != std::string::npos) {
        response.delay = std::chrono::milliseconds(std::stoi(target.substr(query + 7)));
        target.resize(query);
    }
    response.body = target.substr(1);
    return response;
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

struct Outcome {
    std::string body;
    CURLcode result = CURLE_OK;
    int calls = 0;
};

// A job per URL that collects the body; finishOrder records the list index of each
// finished job, in finishing order.
std::vector<ConcurrentDownloader::Job> JobsFor(const std::vector<std::string>& urls,
                                               std::vector<Outcome>& outcomes,
                                               std::vector<size_t>& finishOrder,
                                               long timeoutMs = 10000) {
    outcomes.assign(urls.size(), {});
    std::vector<ConcurrentDownloader::Job> jobs;
    for (size_t i = 0; i < urls.size(); ++i) {
        ConcurrentDownloader::Job job;
        job.hostKey = ConcurrentDownloader::HostKey(urls[i]);
        job.start = [url = urls[i], &outcome = outcomes[i], timeoutMs]() -> CURL* {
            CURL* easy = curl_easy_init();
            curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, &outcome.body);
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
            return easy;
        };
        job.finish = [i, &outcome = outcomes[i], &finishOrder](CURL*, CURLcode result) {
            outcome.result = result;
            ++outcome.calls;
            finishOrder.push_back(i);
        };
        jobs.push_back(std::move(job));
    }
    return jobs;
}

TEST(ConcurrentDownloader, EveryJobFinishesOnceWithItsOwnBody) {
    LoopbackHttpServer server({"127.0.0.1", "127.0.0.2"}, Echo);
    std::vector<std::string> urls;
    for (int i = 0; i < 40; ++i) urls.push_back(server.Url(i % 2, "/" + std::to_string(i)));
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor(urls, outcomes, order);
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs);
    ASSERT_EQ(order.size(), urls.size());
    for (size_t i = 0; i < urls.size(); ++i) {
        EXPECT_EQ(outcomes[i].calls, 1) << i;
        EXPECT_EQ(outcomes[i].result, CURLE_OK) << i;
        EXPECT_EQ(outcomes[i].body, std::to_string(i));
    }
}

TEST(ConcurrentDownloader, NeverRunsMoreThanTheLimitsAllow) {
    struct Case {
        int maxTotal, maxPerHost, hosts;
        int expectPeak, expectPeakPerHost;
    };
    const Case cases[] = {
        {16, 4, 1, 4, 4},  // one host: the host limit binds
        {16, 4, 8, 16, 4}, // many hosts: the total limit binds
        {3, 4, 2, 3, 3},   // a total below the host limit
        {1, 4, 4, 1, 1},   // one at a time
    };
    std::vector<std::string> addresses;
    for (int i = 1; i <= 8; ++i) addresses.push_back("127.0.0." + std::to_string(i));
    for (const auto& c : cases) {
        LoopbackHttpServer server(addresses, Echo);
        std::vector<std::string> urls;
        for (int i = 0; i < 32; ++i) {
            urls.push_back(server.Url(static_cast<size_t>(i % c.hosts), "/" + std::to_string(i) + "?delay=40"));
        }
        std::vector<Outcome> outcomes;
        std::vector<size_t> order;
        auto jobs = JobsFor(urls, outcomes, order);
        ConcurrentDownloader(nullptr, c.maxTotal, std::min(c.maxPerHost, c.maxTotal)).Run(jobs);
        EXPECT_EQ(order.size(), urls.size());
        EXPECT_EQ(server.PeakInFlight(), c.expectPeak) << c.maxTotal << "/" << c.hosts;
        for (int h = 0; h < c.hosts; ++h) {
            EXPECT_LE(server.PeakInFlight(addresses[static_cast<size_t>(h)]), c.expectPeakPerHost);
        }
    }
}

TEST(ConcurrentDownloader, OneAtATimeRunsTheJobsInListOrder) {
    LoopbackHttpServer server({"127.0.0.1", "127.0.0.2", "127.0.0.3"}, Echo);
    std::vector<std::string> urls;
    for (int i = 0; i < 12; ++i) urls.push_back(server.Url(static_cast<size_t>(i % 3), "/" + std::to_string(i)));
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor(urls, outcomes, order);
    ConcurrentDownloader(nullptr, 1, 1).Run(jobs);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), urls.size());
    for (size_t i = 0; i < urls.size(); ++i) {
        EXPECT_EQ(requests[i].target, "/" + std::to_string(i));
        EXPECT_EQ(order[i], i);
    }
}

TEST(ConcurrentDownloader, ReusesConnectionsToAHostWithinARun) {
    LoopbackHttpServer server({"127.0.0.1"}, Echo);
    std::vector<std::string> urls;
    for (int i = 0; i < 30; ++i) urls.push_back(server.Url("/" + std::to_string(i) + "?delay=20"));
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor(urls, outcomes, order);
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs);
    EXPECT_EQ(order.size(), urls.size());
    EXPECT_LE(server.ConnectionsAccepted(), 4);
}

TEST(ConcurrentDownloader, ASlowFeedHoldsOnlyItsOwnSlot) {
    LoopbackHttpServer server({"127.0.0.1"}, Echo);
    // The first job hangs until its own time-out; the others are answered meanwhile.
    std::vector<std::string> urls = {server.Url("/0?delay=5000")};
    for (int i = 1; i < 10; ++i) urls.push_back(server.Url("/" + std::to_string(i)));
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor(urls, outcomes, order, /*timeoutMs=*/800);
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs);
    ASSERT_EQ(order.size(), urls.size());
    EXPECT_EQ(order.back(), 0u);
    EXPECT_EQ(outcomes[0].result, CURLE_OPERATION_TIMEDOUT);
    for (size_t i = 1; i < urls.size(); ++i) EXPECT_EQ(outcomes[i].result, CURLE_OK);
}

// Shutdown must not wait for a server that takes its time: the stop request ends the
// running transfer long before its own time-out would, and nothing else starts.
TEST(ConcurrentDownloader, AStopRequestAbortsTheRunningTransferAndStartsNoOther) {
    LoopbackHttpServer server({"127.0.0.1"}, Echo);
    const std::vector<std::string> urls = {server.Url("/0?delay=3000"), server.Url("/1"),
                                           server.Url("/2")};
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor(urls, outcomes, order, /*timeoutMs=*/2500);
    std::stop_source stop;
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(200ms);
        stop.request_stop();
    });
    ConcurrentDownloader(nullptr, 1, 1).Run(jobs, {}, stop.get_token());
    stopper.join();
    EXPECT_EQ(outcomes[0].result, CURLE_ABORTED_BY_CALLBACK);
    for (size_t i = 1; i < urls.size(); ++i) EXPECT_EQ(outcomes[i].result, CURLE_FAILED_INIT) << i;
    for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome.calls, 1);
}

TEST(ConcurrentDownloader, AJobThatCannotStartIsFinishedAndTheOthersRun) {
    LoopbackHttpServer server({"127.0.0.1"}, Echo);
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor({server.Url("/0"), server.Url("/1"), server.Url("/2")}, outcomes, order);
    jobs[1].start = [] { return static_cast<CURL*>(nullptr); };
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs);
    EXPECT_EQ(outcomes[1].result, CURLE_FAILED_INIT);
    EXPECT_EQ(outcomes[1].calls, 1);
    EXPECT_EQ(outcomes[0].body, "0");
    EXPECT_EQ(outcomes[2].body, "2");
}

TEST(ConcurrentDownloader, AnUnreachableHostFailsOnlyItsOwnJob) {
    LoopbackHttpServer server({"127.0.0.1"}, Echo);
    // Nothing listens on port 1 of loopback: the connection is refused at once.
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor({"http://127.0.0.1:1/x", server.Url("/1")}, outcomes, order);
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs);
    EXPECT_EQ(outcomes[0].result, CURLE_COULDNT_CONNECT);
    EXPECT_EQ(outcomes[1].body, "1");
}

TEST(ConcurrentDownloader, AJobThatIsNotReadyWaitsWithoutHoldingBackTheOthers) {
    LoopbackHttpServer server({"127.0.0.1", "127.0.0.2"}, Echo);
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor({server.Url(0, "/0?delay=150"), server.Url(1, "/1"), server.Url(1, "/2")},
                        outcomes, order);
    // Job 1 may start only once job 0 has finished; job 2 does not wait for either.
    jobs[1].ready = [&outcomes] { return outcomes[0].calls > 0; };
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs);
    ASSERT_EQ(order, (std::vector<size_t>{2, 0, 1}));
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].target, "/1");
    for (const auto& outcome : outcomes) EXPECT_EQ(outcome.result, CURLE_OK);
}

TEST(ConcurrentDownloader, WorkRunsBetweenRoundsUntilItIsDone) {
    LoopbackHttpServer server({"127.0.0.1"}, Echo);
    std::vector<Outcome> outcomes;
    std::vector<size_t> order;
    auto jobs = JobsFor({server.Url("/0?delay=100"), server.Url("/1?delay=100")}, outcomes, order);
    // The caller's work keeps going while transfers are in flight, and may go on after
    // the last one as long as it reports progress.
    int calls = 0;
    size_t finishedAtFirstCall = 99;
    ConcurrentDownloader(nullptr, 16, 4).Run(jobs, [&] {
        if (calls == 0) finishedAtFirstCall = order.size();
        ++calls;
        return calls < 5;
    });
    EXPECT_EQ(finishedAtFirstCall, 0u);
    EXPECT_GE(calls, 5);
    EXPECT_EQ(order.size(), 2u);
}

TEST(ConcurrentDownloader, HostKeyNamesSchemeHostAndPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://Example.COM/feed.rdf", "http://example.com:80"},
        {"https://example.com/a?b", "https://example.com:443"},
        {"http://127.0.0.2:8080/x", "http://127.0.0.2:8080"},
        {"http://user:pw@host:81/", "http://host:81"},
        {"not a url", "not a url"},
    };
    for (const auto& [url, key] : cases) EXPECT_EQ(ConcurrentDownloader::HostKey(url), key) << url;
}
}  // namespace
