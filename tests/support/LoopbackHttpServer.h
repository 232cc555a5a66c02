#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on loopback addresses for download tests. Every request is
// answered by a handler the test gives; the server keeps connections alive, can hold a
// reply back, and counts what the tests check: requests in flight (overall and per
// address), connections accepted and the requests in arrival order.
class LoopbackHttpServer {
public:
    struct Request {
        std::string address;  // the loopback address the request came in on
        std::string method;
        std::string target;
        std::map<std::string, std::string> headers;  // names lower-cased
        std::string Header(const std::string& name) const;
    };
    struct Response {
        int status = 200;
        std::string reason = "OK";
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        std::chrono::milliseconds delay{0};  // held back this long before replying
        bool close = false;                  // close the connection after the reply
        // Send the headers and this many body bytes, then close (a cut-off transfer).
        long long cutAfter = -1;
    };
    using Handler = std::function<Response(const Request&)>;

    // Listens on each address (for example 127.0.0.1 and 127.0.0.2), each on a port of
    // its own.
    LoopbackHttpServer(std::vector<std::string> addresses, Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // "http://address:port" + path.
    std::string Url(size_t addressIndex, const std::string& path) const;
    std::string Url(const std::string& path) const { return Url(0, path); }

    int PeakInFlight() const;
    int PeakInFlight(const std::string& address) const;
    int ConnectionsAccepted() const;
    std::vector<Request> Requests() const;
    void ResetCounters();

private:
    struct Listener {
        std::string address;
        int port = 0;
        int fd = -1;
        std::thread thread;
    };
    void AcceptLoop(Listener& listener);
    void Serve(int fd, std::string address);
    bool Wait(std::chrono::milliseconds delay);  // false when the server stops

    Handler handler_;
    std::vector<Listener> listeners_;
    int stopPipe_[2] = {-1, -1};

    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::vector<std::thread> connections_;
    std::vector<int> connectionFds_;
    int inFlight_ = 0;
    int peakInFlight_ = 0;
    std::map<std::string, int> inFlightAt_;
    std::map<std::string, int> peakInFlightAt_;
    int accepted_ = 0;
    std::vector<Request> requests_;
};
