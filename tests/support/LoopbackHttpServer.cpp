#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace {
std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}
}  // namespace

std::string LoopbackHttpServer::Request::Header(const std::string& name) const {
    auto it = headers.find(Lower(name));
    return it == headers.end() ? std::string() : it->second;
}

LoopbackHttpServer::LoopbackHttpServer(std::vector<std::string> addresses, Handler handler)
    : handler_(std::move(handler)), listeners_(addresses.size()) {
    if (pipe(stopPipe_) != 0) throw std::runtime_error("pipe");
    for (size_t i = 0; i < addresses.size(); ++i) {
        Listener& listener = listeners_[i];
        listener.address = addresses[i];
        listener.fd = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(listener.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        inet_pton(AF_INET, listener.address.c_str(), &where.sin_addr);
        if (bind(listener.fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
            listen(listener.fd, 128) != 0) {
            throw std::runtime_error("cannot listen on " + listener.address);
        }
        socklen_t length = sizeof where;
        getsockname(listener.fd, reinterpret_cast<sockaddr*>(&where), &length);
        listener.port = ntohs(where.sin_port);
    }
    for (auto& listener : listeners_) {
        listener.thread = std::thread([this, &listener] { AcceptLoop(listener); });
    }
}

LoopbackHttpServer::~LoopbackHttpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int fd : connectionFds_) shutdown(fd, SHUT_RDWR);
    }
    stopped_.notify_all();
    char byte = 0;
    (void)!write(stopPipe_[1], &byte, 1);
    for (auto& listener : listeners_) {
        if (listener.thread.joinable()) listener.thread.join();
        close(listener.fd);
    }
    // No new connection threads start once the accept loops have ended.
    for (auto& thread : connections_) thread.join();
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::string LoopbackHttpServer::Url(size_t addressIndex, const std::string& path) const {
    const Listener& listener = listeners_.at(addressIndex);
    return "http://" + listener.address + ":" + std::to_string(listener.port) + path;
}

int LoopbackHttpServer::PeakInFlight() const {
    std::lock_guard lock(mutex_);
    return peakInFlight_;
}

int LoopbackHttpServer::PeakInFlight(const std::string& address) const {
    std::lock_guard lock(mutex_);
    auto it = peakInFlightAt_.find(address);
    return it == peakInFlightAt_.end() ? 0 : it->second;
}

int LoopbackHttpServer::ConnectionsAccepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackHttpServer::ResetCounters() {
    std::lock_guard lock(mutex_);
    peakInFlight_ = inFlight_;
    peakInFlightAt_ = inFlightAt_;
    accepted_ = 0;
    requests_.clear();
}

void LoopbackHttpServer::AcceptLoop(Listener& listener) {
    for (;;) {
        pollfd fds[2] = {{listener.fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        int fd = accept(listener.fd, nullptr, nullptr);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            close(fd);
            return;
        }
        ++accepted_;
        connectionFds_.push_back(fd);
        connections_.emplace_back([this, fd, address = listener.address] { Serve(fd, address); });
    }
}

bool LoopbackHttpServer::Wait(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, delay, [this] { return stopping_; });
}

void LoopbackHttpServer::Serve(int fd, std::string address) {
    std::string buffer;
    char chunk[4096];
    for (bool open = true; open;) {
        size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            ssize_t got = recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0) {
                open = false;
                break;
            }
            buffer.append(chunk, static_cast<size_t>(got));
        }
        if (!open) break;
        std::string head = buffer.substr(0, end);
        buffer.erase(0, end + 4);

        Request request;
        request.address = address;
        size_t lineEnd = head.find("\r\n");
        std::string requestLine = head.substr(0, lineEnd);
        size_t space1 = requestLine.find(' ');
        size_t space2 = requestLine.find(' ', space1 + 1);
        request.method = requestLine.substr(0, space1);
        request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
        while (lineEnd != std::string::npos) {
            size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            std::string line = head.substr(start, lineEnd - start);
            size_t colon = line.find(':');
            if (colon != std::string::npos) {
                request.headers[Lower(line.substr(0, colon))] = Trim(line.substr(colon + 1));
            }
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            peakInFlight_ = std::max(peakInFlight_, ++inFlight_);
            peakInFlightAt_[address] = std::max(peakInFlightAt_[address], ++inFlightAt_[address]);
        }
        Response response = handler_(request);
        bool running = Wait(response.delay);
        {
            std::lock_guard lock(mutex_);
            --inFlight_;
            --inFlightAt_[address];
        }
        if (!running) break;

        std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " " +
                            response.reason + "\r\n";
        for (const auto& [name, value] : response.headers) reply += name + ": " + value + "\r\n";
        bool bodyless = response.status == 304 || request.method == "HEAD";
        if (!bodyless) reply += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
        if (response.close) reply += "Connection: close\r\n";
        reply += "\r\n";
        if (!bodyless) {
            size_t count = response.cutAfter >= 0
                               ? std::min(response.body.size(), static_cast<size_t>(response.cutAfter))
                               : response.body.size();
            reply.append(response.body, 0, count);
        }
        if (!SendAll(fd, reply.data(), reply.size())) break;
        if (response.close || response.cutAfter >= 0 ||
            Lower(request.Header("connection")) == "close") {
            break;
        }
    }
    std::lock_guard lock(mutex_);
    connectionFds_.erase(std::find(connectionFds_.begin(), connectionFds_.end(), fd));
    close(fd);
}
