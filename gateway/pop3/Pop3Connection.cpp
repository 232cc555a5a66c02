#include "Pop3Connection.h"

#include "TlsServerContext.h"
#include "Trace.h"

#include <linux/sockios.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;
using Kind = TransportStep::Kind;

int PollTimeout(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

class PlainTransport : public Pop3Transport {
public:
    explicit PlainTransport(int socket) : socket_(socket) {}
    TransportStep Write(const char* data, size_t size) override {
        for (;;) {
            ssize_t n = send(socket_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                written_ += n;
                return {Kind::Done, static_cast<size_t>(n)};
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {Kind::WantWrite};
            return {Kind::Failed};
        }
    }
    TransportStep Read(char* buffer, size_t size) override {
        for (;;) {
            ssize_t n = recv(socket_, buffer, size, MSG_DONTWAIT);
            if (n > 0) return {Kind::Done, static_cast<size_t>(n)};
            if (n == 0) return {Kind::Closed};
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return {Kind::WantRead};
            return {Kind::Failed};
        }
    }
    long long BytesToSocket() const override { return written_; }

private:
    int socket_;
    long long written_ = 0;
};

// The socket under OpenSSL, written with MSG_NOSIGNAL like the clear text: a client gone
// away is a failed write, never a SIGPIPE.
int SocketOf(BIO* bio) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

int SocketBioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    for (;;) {
        ssize_t n = send(SocketOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_write(bio);
        return -1;
    }
}

int SocketBioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    for (;;) {
        ssize_t n = recv(SocketOf(bio), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_read(bio);
        return -1;
    }
}

long SocketBioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

// One method table for every connection, made on first use.
const BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quillo socket");
        BIO_meth_set_write(m, SocketBioWrite);
        BIO_meth_set_read(m, SocketBioRead);
        BIO_meth_set_ctrl(m, SocketBioControl);
        BIO_meth_set_create(m, [](BIO* bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
        return m;
    }();
    return method;
}

BIO* SocketBio(int socket) {
    BIO* bio = BIO_new(SocketBioMethod());
    if (bio) BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socket)));
    return bio;
}

class TlsTransport : public Pop3Transport {
public:
    TlsTransport(SSL* ssl, long long clearBytes) : ssl_(ssl), clearBytes_(clearBytes) {}
    ~TlsTransport() override {
        // A close_notify the client may read or not; it never waits for the client's.
        if (SSL_is_init_finished(ssl_)) SSL_shutdown(ssl_);
        ERR_clear_error();
        SSL_free(ssl_);
    }

    TransportStep Handshake() { return Step(SSL_accept(ssl_)); }
    TransportStep Write(const char* data, size_t size) override {
        return Step(SSL_write(ssl_, data, static_cast<int>(std::min<size_t>(size, INT_MAX))));
    }
    TransportStep Read(char* buffer, size_t size) override {
        return Step(SSL_read(ssl_, buffer, static_cast<int>(std::min<size_t>(size, INT_MAX))));
    }
    // The clear text before the handshake stays counted: the kernel's unsent queue
    // holds both kinds of bytes.
    long long BytesToSocket() const override {
        return clearBytes_ + static_cast<long long>(BIO_number_written(SSL_get_wbio(ssl_)));
    }
    bool HasBuffered() const override { return SSL_pending(ssl_) > 0; }

private:
    TransportStep Step(int result) {
        if (result > 0) return {Kind::Done, static_cast<size_t>(result)};
        int error = SSL_get_error(ssl_, result);
        // Errors of this connection only; none may be left for the next one of this thread.
        ERR_clear_error();
        switch (error) {
        case SSL_ERROR_WANT_READ: return {Kind::WantRead};
        case SSL_ERROR_WANT_WRITE: return {Kind::WantWrite};
        case SSL_ERROR_ZERO_RETURN: return {Kind::Closed};
        default: return {Kind::Failed};
        }
    }

    SSL* ssl_;
    long long clearBytes_;
};

}  // namespace

Pop3Connection::Pop3Connection(int socket, int wakeFd, std::chrono::milliseconds sendTimeout)
    : socket_(socket), wakeFd_(wakeFd), sendTimeout_(sendTimeout),
      transport_(std::make_unique<PlainTransport>(socket)) {}

Pop3Connection::~Pop3Connection() { Close(); }

void Pop3Connection::Close() {
    transport_.reset();
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
}

bool Pop3Connection::Stopping() const {
    pollfd wake{wakeFd_, POLLIN, 0};
    return poll(&wake, 1, 0) > 0;
}

bool Pop3Connection::Wait(bool writable, Clock::time_point deadline) const {
    for (;;) {
        pollfd fds[2] = {{socket_, static_cast<short>(writable ? POLLOUT : POLLIN), 0}, {wakeFd_, POLLIN, 0}};
        // Woken at least once a second so a sender can see whether the client took anything.
        int ready = poll(fds, 2, std::min(1000, PollTimeout(deadline)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & POLLIN)) return false;
        // An error or hang-up is left for the next read or write to report.
        return ready > 0 || Clock::now() < deadline;
    }
}

bool Pop3Connection::Pause(Clock::time_point until) const {
    for (;;) {
        pollfd wake{wakeFd_, POLLIN, 0};
        const int ready = poll(&wake, 1, PollTimeout(until));
        if (ready < 0 && errno == EINTR) continue;
        if (ready != 0) return false;
        if (Clock::now() >= until) return true;
    }
}

bool Pop3Connection::Send(std::string_view bytes) {
    if (socket_ < 0 || !transport_) return false;
    if (TraceEnabled()) Trace("send: " + std::string(bytes));
    size_t sent = 0;
    // The time counts from the last byte the client took, so a slow reader is served.
    // Taken means acknowledged by the client's end, not accepted into our queue, which
    // the kernel keeps growing for a while; over TLS the same count, of record bytes.
    Clock::time_point deadline = Clock::now() + sendTimeout_;
    while (sent < bytes.size()) {
        TransportStep step = transport_->Write(bytes.data() + sent, bytes.size() - sent);
        if (step.kind == Kind::Done) {
            sent += step.bytes;
            continue;
        }
        if (step.kind != Kind::WantWrite && step.kind != Kind::WantRead) return false;
        int queued = 0;
        const long long written = transport_->BytesToSocket();
        if (ioctl(socket_, SIOCOUTQ, &queued) == 0 && written - queued > taken_) {
            taken_ = written - queued;
            deadline = Clock::now() + sendTimeout_;
        }
        if (Clock::now() >= deadline) {
            // The client reads nothing: the close resets the connection instead of
            // keeping the unsent reply queued for it.
            linger reset{1, 0};
            setsockopt(socket_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            return false;
        }
        if (!Wait(step.kind == Kind::WantWrite, deadline) && Clock::now() < deadline) return false;
    }
    return true;
}

std::string Pop3Connection::Receive(Clock::time_point deadline) {
    char buffer[4096];
    while (socket_ >= 0 && transport_) {
        if (Clock::now() >= deadline || Stopping()) return {};
        TransportStep step = transport_->Read(buffer, sizeof buffer);
        if (step.kind == Kind::Done) return std::string(buffer, step.bytes);
        if (step.kind != Kind::WantRead && step.kind != Kind::WantWrite) return {};
        if (!Wait(step.kind == Kind::WantWrite, deadline)) return {};
    }
    return {};
}

bool Pop3Connection::PeerClosed() const {
    if (socket_ < 0) return true;
    if (transport_ && transport_->HasBuffered()) return false;
    char byte;
    for (;;) {
        ssize_t n = recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        // Bytes waiting mean a client that is there, even one that has half-closed.
        if (n > 0) return false;
        if (n == 0) return true;
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
}

bool Pop3Connection::StartTls(const TlsServerContext& context, Clock::time_point deadline) {
    if (socket_ < 0 || !transport_ || tls_) return false;
    SSL* ssl = SSL_new(context.Context());
    if (!ssl) {
        ERR_clear_error();
        return false;
    }
    BIO* bio = SocketBio(socket_);
    if (!bio) {
        SSL_free(ssl);
        ERR_clear_error();
        return false;
    }
    SSL_set_bio(ssl, bio, bio);
    auto tls = std::make_unique<TlsTransport>(ssl, transport_->BytesToSocket());
    transport_.reset();
    for (;;) {
        TransportStep step = tls->Handshake();
        if (step.kind == Kind::Done) break;
        if (step.kind != Kind::WantRead && step.kind != Kind::WantWrite) return false;
        if (Clock::now() >= deadline || !Wait(step.kind == Kind::WantWrite, deadline)) return false;
    }
    if (TraceEnabled()) Trace(std::string("TLS: ") + SSL_get_version(ssl) + " " + SSL_get_cipher_name(ssl));
    transport_ = std::move(tls);
    tls_ = true;
    return true;
}
