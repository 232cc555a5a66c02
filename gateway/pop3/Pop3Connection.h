#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

class TlsServerContext;

// One step of I/O on a connection's transport.
struct TransportStep {
    enum class Kind { Done, WantRead, WantWrite, Closed, Failed };
    Kind kind = Kind::Failed;
    size_t bytes = 0;  // with Done: bytes read or written
};

// How the bytes travel over the socket: as they are, or inside TLS. A transport never
// waits; the connection polls when it asks for the socket to be readable or writable.
class Pop3Transport {
public:
    virtual ~Pop3Transport() = default;
    virtual TransportStep Write(const char* data, size_t size) = 0;
    virtual TransportStep Read(char* buffer, size_t size) = 0;
    // Bytes handed to the socket so far, records and handshake included.
    virtual long long BytesToSocket() const = 0;
    // Whether received bytes wait inside the transport, already out of the socket.
    virtual bool HasBuffered() const { return false; }
};

// The bytes of one client connection, with the limits that keep one client from
// holding a session thread: a send gives up when the client has taken nothing for
// sendTimeout, a receive at its deadline, a TLS handshake at its own; all give up at
// once when the server stops (wakeFd readable). Owns the socket. Starts in clear text;
// StartTls puts TLS under every later send and receive.
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
    // The TLS handshake as the server, finished before deadline; false when it failed,
    // timed out or the server stops, and the connection is then of no further use.
    // Whatever the client sent before its handshake is part of the handshake: clear text
    // received earlier must have been dropped by the caller.
    bool StartTls(const TlsServerContext& context, std::chrono::steady_clock::time_point deadline);
    bool TlsActive() const { return tls_; }
    // Waits until the time, reading nothing; false when the server stops first.
    bool Pause(std::chrono::steady_clock::time_point until) const;
    void Close();

private:
    // Whether the server stops; a stopping server takes no further command.
    bool Stopping() const;
    // Waits for the socket to become readable (or writable) until deadline, at most a
    // second; false when the deadline passed, the server stops or the socket failed.
    bool Wait(bool writable, std::chrono::steady_clock::time_point deadline) const;

    int socket_;
    int wakeFd_;
    std::chrono::milliseconds sendTimeout_;
    std::unique_ptr<Pop3Transport> transport_;
    bool tls_ = false;
    long long taken_ = 0;  // of the bytes to the socket, acknowledged by the client's end
};
