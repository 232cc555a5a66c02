#pragma once

#include <chrono>
#include <string>
#include <string_view>

// The bytes of one client connection, with the limits that keep one client from
// holding a session thread: a send gives up when the client has read nothing for
// sendTimeout, a receive at its deadline; both give up at once when the server stops
// (wakeFd readable). Owns the socket.
class Pop3Connection {
public:
    Pop3Connection(int socket, int wakeFd, std::chrono::milliseconds sendTimeout);
    ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // False when the bytes could not all be sent; the session is then over.
    bool Send(std::string_view bytes);
    // The next bytes received before deadline; empty when the client closed, the
    // receive failed, the deadline passed or the server stops.
    std::string Receive(std::chrono::steady_clock::time_point deadline);
    // Whether the client has already closed or reset the connection, without waiting
    // and without taking any of its bytes.
    bool PeerClosed() const;
    void Close();

private:
    int socket_;
    int wakeFd_;
    std::chrono::milliseconds sendTimeout_;
    long long written_ = 0;  // bytes handed to the kernel
    long long taken_ = 0;    // of those, acknowledged by the client's end
};
