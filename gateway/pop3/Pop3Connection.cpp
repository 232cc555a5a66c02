#include "Pop3Connection.h"

#include "Trace.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;

int PollTimeout(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

}  // namespace

Pop3Connection::Pop3Connection(int socket, int wakeFd, std::chrono::milliseconds sendTimeout)
    : socket_(socket), wakeFd_(wakeFd), sendTimeout_(sendTimeout) {}

Pop3Connection::~Pop3Connection() { Close(); }

void Pop3Connection::Close() {
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
}

bool Pop3Connection::Send(std::string_view bytes) {
    if (socket_ < 0) return false;
    if (TraceEnabled()) Trace("send: " + std::string(bytes));
    size_t sent = 0;
    // The time counts from the last byte the client took, so a slow reader is served.
    // Taken means acknowledged by the client's end, not accepted into our queue, which
    // the kernel keeps growing for a while.
    Clock::time_point deadline = Clock::now() + sendTimeout_;
    while (sent < bytes.size()) {
        ssize_t n = send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            written_ += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int queued = 0;
            if (ioctl(socket_, SIOCOUTQ, &queued) == 0 && written_ - queued > taken_) {
                taken_ = written_ - queued;
                deadline = Clock::now() + sendTimeout_;
            }
            if (Clock::now() >= deadline) {
                // The client reads nothing: the close resets the connection instead of
                // keeping the unsent reply queued for it.
                linger reset{1, 0};
                setsockopt(socket_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                return false;
            }
            pollfd fds[2] = {{socket_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
            // Woken at least once a second to see whether the client took anything.
            int ready = poll(fds, 2, std::min(1000, PollTimeout(deadline)));
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0 || (fds[1].revents & POLLIN)) return false;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
            continue;
        }
        return false;
    }
    return true;
}

std::string Pop3Connection::Receive(Clock::time_point deadline) {
    char buffer[4096];
    while (socket_ >= 0) {
        if (Clock::now() >= deadline) return {};
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = poll(fds, 2, PollTimeout(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (fds[1].revents & POLLIN)) return {};
        ssize_t n = recv(socket_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        return std::string(buffer, static_cast<size_t>(n));
    }
    return {};
}

bool Pop3Connection::PeerClosed() const {
    if (socket_ < 0) return true;
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
