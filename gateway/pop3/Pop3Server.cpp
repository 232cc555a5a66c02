#include "Pop3Server.h"

#include "Log.h"
#include "Mailbox.h"
#include "Notifier.h"
#include "Pop3Session.h"
#include "ProcessFlags.h"
#include "RssManager.h"
#include "Trace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kBacklog = 5;

constexpr const char* kLogPrompt =
    "RSSの取得、解析中にエラーがありました。\r\n詳細な情報はlog.txtを参照してください。\r\n\r\n"
    "log.txtを開きますか？";

std::string BindFailureText(int port) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "ソケットのバインドに失敗しました。(ポート: %d)\r\n"
                  "Quilloがすでに起動しているか、他のアプリケーションがこのポートを使用しています。\r\n"
                  "他のアプリケーションがこのポートを使用している場合は、ポート番号を変えて、再度起動してみてください。",
                  port);
    return text;
}

int PollTimeout(std::chrono::milliseconds timeout) {
    return timeout.count() > 0x7fffffff ? -1 : static_cast<int>(timeout.count());
}

}  // namespace

Pop3Server::Pop3Server(Hooks hooks) : hooks_(std::move(hooks)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Pop3Server::~Pop3Server() {
    if (listenFd_ >= 0) close(listenFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

void Pop3Server::Stop() {
    g_running = false;
    // Never drained: once stopped, every later poll of the thread wakes at once.
    uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

bool Pop3Server::Listen(RssManager& manager) {
    int port = manager.GetPort();
    in_addr address{};
    inet_pton(AF_INET, manager.GetListenAddress().c_str(), &address);
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = listenFd_ >= 0;
    if (ok) {
        // A restart right after exit can bind at once; a running instance still blocks it.
        int yes = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    }
    // Port 0 would bind to a random port nobody could find; it counts as a failure.
    ok = ok && port > 0 && port <= 65535;
    if (ok) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(static_cast<uint16_t>(port));
        local.sin_addr = address;
        ok = bind(listenFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    }
    ok = ok && listen(listenFd_, kBacklog) == 0;
    if (!ok) {
        if (listenFd_ >= 0) close(listenFd_);
        listenFd_ = -1;
        ShowErrorBox(BindFailureText(port));
        return false;
    }
    if (TraceEnabled())
        Trace("listening on " + manager.GetListenAddress() + ":" + std::to_string(port));
    return true;
}

int Pop3Server::Run() {
    auto manager = std::make_shared<RssManager>();
    manager->LoadSettings();
    if (!manager->IsTrayIconDisabled() && hooks_.addTrayIcon) hooks_.addTrayIcon(*manager);

    if (!Listen(*manager)) {
        if (hooks_.closeMainWindow) hooks_.closeMainWindow();
        return 0;
    }
    while (g_running) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & POLLIN) || !g_running) break;
        if (!(fds[0].revents & POLLIN)) continue;
        int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            // A client that gave up before we took it is no reason to stop serving.
            if (errno == ECONNABORTED || errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        Serve(*manager, client);
    }
    if (listenFd_ >= 0) close(listenFd_);
    listenFd_ = -1;
    manager.reset();
    return 0;
}

bool Pop3Server::SendAll(int client, const std::string& bytes) {
    if (TraceEnabled()) Trace("send: " + bytes);
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A client that stops reading is given the idle time, not forever.
            pollfd fds[2] = {{client, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
            int ready = poll(fds, 2, PollTimeout(idleTimeout_));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0 || (fds[1].revents & POLLIN)) return false;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
            continue;
        }
        return false;
    }
    return true;
}

void Pop3Server::Serve(RssManager& manager, int client) {
    Mailbox& mailbox = manager.Refresh();
    Pop3Session session(mailbox);
    bool alive = SendAll(client, Pop3Session::kGreeting);
    char buffer[4096];
    // The idle time counts from the last command, not the last byte: a client that
    // trickles bytes without ever ending a line cannot hold the service either.
    auto deadline = std::chrono::steady_clock::now() + idleTimeout_;
    while (alive && !session.QuitReceived()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fds[2] = {{client, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = poll(fds, 2, PollTimeout(left));
        if (ready < 0 && errno == EINTR) continue;
        // Time-out, exit command or failure: the session ends without commit.
        if (ready <= 0 || (fds[1].revents & POLLIN)) break;
        ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::string replies = session.Receive(std::string_view(buffer, static_cast<size_t>(n)));
        if (replies.empty()) continue;
        deadline = std::chrono::steady_clock::now() + idleTimeout_;
        alive = SendAll(client, replies);
    }
    if (session.QuitReceived()) {
        // The client has its "+OK" before the commit starts; a failure while saving is
        // never reported to it.
        if (!mailbox.Commit() && TraceEnabled()) Trace("commit: a feed's delivered items were not saved");
        close(client);
        AfterQuit(manager);
        return;
    }
    close(client);
}

void Pop3Server::AfterQuit(RssManager& manager) {
    if (g_feedError && !manager.IsMessageBoxDisabled()) {
        auto answer = CurrentNotifier().Show(kLogPrompt, "エラー", Notifier::Icon::Exclamation,
                                             Notifier::Buttons::YesNo);
        if (answer == Notifier::Answer::Yes) OpenLogFile();
    }
    if (g_once) {
        g_running = false;
        if (listenFd_ >= 0) close(listenFd_);
        listenFd_ = -1;
        if (hooks_.closeMainWindow) hooks_.closeMainWindow();
    }
}
