#include "Pop3Server.h"

#include "Mailbox.h"
#include "Pop3Connection.h"
#include "Pop3Session.h"
#include "RefreshWorker.h"
#include "Settings.h"
#include "TlsServerContext.h"
#include "Trace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
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

// Connections the kernel keeps waiting for accept; a burst of clients all get in.
constexpr int kBacklog = 128;

constexpr const char* kTooManySessions = "-ERR [SYS/TEMP] too many sessions, try again later\r\n";

constexpr const char* kSaveFailure = "データの出力中にエラーが発生しました";

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

// The host part of the APOP timestamps: the host name with anything that could end
// the timestamp or the greeting line replaced.
std::string ApopHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    std::string host = name;
    for (char& c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>' || c == '@') c = '_';
    }
    return host;
}

bool IsLoopback(const std::string& address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

// Whether a client must start TLS before it may log in (RFC 2595): with a certificate,
// as require-tls says; auto trusts loopback, where nothing leaves the machine.
bool LoginNeedsTls(RequireTls rule, const std::string& peer) {
    switch (rule) {
        case RequireTls::Always: return true;
        case RequireTls::Never: return false;
        case RequireTls::Auto: return !IsLoopback(peer);
    }
    return true;
}

// Every start says it again, in the log and on standard error: without a password
// anyone who can reach the port reads and deletes the items.
void WarnIfOpenWithoutPassword(const GatewayContext& context, const Settings& settings) {
    if (!settings.password.empty() || IsLoopback(settings.listenAddress)) return;
    context.Log("警告: listen-address " + settings.listenAddress +
                " はループバックアドレスではありませんが、passwordが設定されていません。"
                "このポートに届く誰もが記事を読み、削除できます。\n\n");
    std::fprintf(stderr,
                 "Quillo: warning: listening on %s without a password; anyone who can reach port %d "
                 "can read and delete the items (set password in Quillo.xml)\n",
                 settings.listenAddress.c_str(), settings.port);
}

// Where implicit TLS listens when the settings name no port.
constexpr int kDefaultTlsPort = 995;

// A listening socket on address:port, or -1.
int OpenListener(const std::string& address, int port) {
    in_addr binary{};
    inet_pton(AF_INET, address.c_str(), &binary);
    // Port 0 would bind to a random port nobody could find; it counts as a failure.
    if (port <= 0 || port > 65535) return -1;
    // Non-blocking: a client that gave up between poll and accept leaves accept nothing.
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    // A restart right after exit can bind at once; a running instance still blocks it.
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    local.sin_addr = binary;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(fd, kBacklog) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A TLS set-up that keeps Quillo from starting: to the log, to standard error and in
// the error box, so it is seen however Quillo was started.
void ReportTlsFailure(const GatewayContext& context, const std::string& reason) {
    const std::string text = "TLSの設定を使えないため、Quilloを終了します。\r\n" + reason;
    context.Log(text + "\n\n");
    context.ReportFatalError(text, /*showBox=*/true);
}

}  // namespace

Pop3Server::Pop3Server(GatewayContext& context, Hooks hooks, ServerOptions options)
    : context_(context),
      hooks_(std::move(hooks)),
      options_(options),
      hostName_(ApopHostName()),
      throttle_(options.loginDelays) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Pop3Server::~Pop3Server() {
    JoinFinishedSessions(true);
    if (listenFd_ >= 0) close(listenFd_);
    if (tlsListenFd_ >= 0) close(tlsListenFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

void Pop3Server::Stop() {
    context_.StopRunning();
    // Never drained: once stopped, every later poll of every thread wakes at once.
    uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

bool Pop3Server::ListenForPop3() {
    const int port = settings_->port;
    listenFd_ = OpenListener(settings_->listenAddress, port);
    if (listenFd_ < 0) {
        // Shown even with boxes disabled; the log keeps it for a service that nobody
        // watches start.
        context_.Log(BindFailureText(port) + "\r\n\r\n");
        context_.ShowErrorBox(BindFailureText(port));
        return false;
    }
    if (TraceEnabled())
        Trace("listening on " + settings_->listenAddress + ":" + std::to_string(port));
    return true;
}

bool Pop3Server::PrepareTls() {
    const Settings& settings = *settings_;
    if (settings.tlsCertificate.empty()) {
        // Half a TLS set-up is a mistake, not a request for clear text.
        if (!settings.tlsKey.empty() || settings.tlsPort) {
            ReportTlsFailure(context_, "tls-key and tls-port need a tls-certificate.");
            return false;
        }
        // Nobody could ever log in.
        if (settings.requireTls == RequireTls::Always) {
            ReportTlsFailure(context_, "require-tls always needs a tls-certificate.");
            return false;
        }
        return true;
    }
    std::string error;
    const std::string& key = settings.tlsKey.empty() ? settings.tlsCertificate : settings.tlsKey;
    tls_ = TlsServerContext::Load(settings.tlsCertificate, key, error);
    if (!tls_) {
        ReportTlsFailure(context_, error);
        return false;
    }
    const int port = settings.tlsPort.value_or(kDefaultTlsPort);
    tlsListenFd_ = OpenListener(settings.listenAddress, port);
    if (tlsListenFd_ < 0 && settings.tlsPort) {
        context_.ShowErrorBox(BindFailureText(port));
        return false;
    }
    if (tlsListenFd_ < 0) {
        // 995 needs root and may be taken; STLS on the POP3 port still works.
        context_.Log("TLSのポート " + std::to_string(port) +
                     " で待ち受けできません。STLSだけを受け付けます。\n\n");
        if (TraceEnabled()) Trace("implicit TLS: port " + std::to_string(port) + " unavailable");
    } else if (TraceEnabled()) {
        Trace("listening for TLS on " + settings.listenAddress + ":" + std::to_string(port));
    }
    return true;
}

bool Pop3Server::Listen(const Settings& settings) {
    settings_ = &settings;
    WarnIfOpenWithoutPassword(context_, settings);
    // A TLS set-up that cannot be used, or its port that cannot be bound, ends Quillo
    // like the POP3 port; each failure is reported where it happens.
    if (!PrepareTls()) return false;
    if (ListenForPop3()) return true;
    if (tlsListenFd_ >= 0) close(tlsListenFd_);
    tlsListenFd_ = -1;
    return false;
}

void Pop3Server::Run(RefreshWorker& worker) {
    AcceptLoop(worker);
    if (listenFd_ >= 0) close(listenFd_);
    listenFd_ = -1;
    if (tlsListenFd_ >= 0) close(tlsListenFd_);
    tlsListenFd_ = -1;
    // Sessions waiting for the refresh wake here, the others through wakeFd_.
    worker.Stop();
    JoinFinishedSessions(true);
}

void Pop3Server::AcceptLoop(RefreshWorker& worker) {
    while (context_.Running()) {
        // A negative descriptor (no implicit TLS) is skipped by poll.
        pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {tlsListenFd_, POLLIN, 0}};
        int ready = poll(fds, 3, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[0].revents & POLLIN) || !context_.Running()) break;
        bool failed = false;
        for (int i = 1; i < 3 && !failed; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            const bool implicitTls = i == 2;
            // Every read and write of a connection waits in poll, never in the socket.
            sockaddr_in peerAddress{};
            socklen_t peerLength = sizeof peerAddress;
            int client = accept4(fds[i].fd, reinterpret_cast<sockaddr*>(&peerAddress), &peerLength,
                                 SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client < 0) {
                // A client that gave up before we took it is no reason to stop serving.
                failed = !(errno == ECONNABORTED || errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK);
                continue;
            }
            // Replies and TLS records go out at once instead of waiting for the client's
            // delayed acknowledgement of the previous segment.
            int yes = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            JoinFinishedSessions(false);
            if (static_cast<int>(sessions_.size()) >= options_.maxSessions) {
                // Clear text on the TLS port would be noise to the client: it is just closed.
                if (implicitTls) {
                    close(client);
                } else {
                    Pop3Connection(client, wakeFd_, options_.sendTimeout).Send(kTooManySessions);
                }
                continue;
            }
            char peerText[INET_ADDRSTRLEN] = "0.0.0.0";
            inet_ntop(AF_INET, &peerAddress.sin_addr, peerText, sizeof peerText);
            SessionThread& session = sessions_.emplace_back();
            session.thread = std::thread([this, &worker, &session, client, implicitTls,
                                          peer = std::string(peerText)] {
                Serve(worker, client, implicitTls, peer);
                session.done = true;
            });
        }
        if (failed) break;
    }
}

void Pop3Server::JoinFinishedSessions(bool all) {
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (all || it->done) {
            if (it->thread.joinable()) it->thread.join();
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
}

void Pop3Server::Serve(RefreshWorker& worker, int client, bool implicitTls, const std::string& peer) {
    using Clock = std::chrono::steady_clock;
    Pop3Connection connection(client, wakeFd_, options_.sendTimeout);
    // The handshake comes first: a client that cannot make it claims no mailbox.
    if (implicitTls && !connection.StartTls(*tls_, Clock::now() + options_.handshakeTimeout)) return;
    const Settings& settings = *settings_;
    std::unique_ptr<RefreshWorker::Claim> claim;
    // Only the session that gets the mailbox waits for a refresh; a connection already
    // closed by its client costs none.
    const auto claimAndRefresh = [&] {
        claim = worker.TryClaim(options_.claimGrace);
        if (claim && worker.RefreshesPerConnection() && !connection.PeerClosed())
            worker.RefreshBefore(Clock::now() + std::chrono::seconds(settings.greetingDeadlineSeconds));
    };
    // Anyone may log in without a password, so the first to come has the mailbox, as
    // fresh as the greeting deadline allows. With a password nothing is claimed or
    // downloaded before it was given.
    const bool claimAtLogin = !settings.password.empty();
    if (!claimAtLogin) claimAndRefresh();
    if (!context_.Running() || worker.Stopped() || connection.PeerClosed()) return;
    Pop3SessionOptions sessionOptions;
    sessionOptions.password = settings.password;
    sessionOptions.apopTimestamp = NextApopTimestamp();
    sessionOptions.tlsOffered = tls_ != nullptr;
    sessionOptions.loginNeedsTls = tls_ != nullptr && LoginNeedsTls(settings.requireTls, peer);
    sessionOptions.secretChecked = [this, &connection, &peer](bool correct) {
        const Clock::time_point answer = throttle_.Checked(peer, correct, Clock::now());
        // The address and how often, never what was tried.
        if (!correct)
            context_.Log("POP3のログインに失敗しました。アドレス: " + peer + " (このアドレスから" +
                         std::to_string(throttle_.Failures(peer)) + "回目)\n\n");
        connection.Pause(answer);
    };
    sessionOptions.openMailbox = [&]() -> Mailbox* {
        if (!claim && claimAtLogin) claimAndRefresh();
        if (!claim || !context_.Running() || worker.Stopped()) return nullptr;
        return &claim->Open();
    };
    bool commitFailed = false;
    // Runs at QUIT in TRANSACTION, so with the claim, before the client has its answer:
    // +OK promises the records are written. A failure leaves the deletions unrecorded,
    // so a later session offers those items again.
    sessionOptions.commit = [this, &claim, &commitFailed] {
        std::string reason = claim->Open().Commit();
        if (!reason.empty()) {
            commitFailed = true;
            context_.Log("QUITで配信済みの記録を保存できませんでした: " + reason +
                         "\n削除された記事は次の接続で再び届きます。\n\n");
        }
        return reason;
    };
    Pop3Session session(std::move(sessionOptions));
    if (implicitTls) session.TlsStarted();
    bool alive = connection.Send(session.Greeting());
    // Counted from the greeting, which may have waited for a refresh.
    const Clock::time_point loginDeadline = Clock::now() + options_.loginTimeout;
    // The idle time counts from the last command, not the last byte: a client that
    // trickles bytes without ever ending a line cannot hold the session either.
    auto idleDeadline = Clock::now() + options_.idleTimeout;
    while (alive && !session.Over()) {
        const bool loggedIn = session.CurrentState() != Pop3Session::State::Authorization;
        const std::string received = connection.Receive(loggedIn ? idleDeadline : std::min(idleDeadline, loginDeadline));
        // Time-out, exit command, close or failure: the session ends without commit.
        if (received.empty()) break;
        std::string replies = session.Receive(received);
        // Before the client has its answer to QUIT: it may reconnect at once and must
        // then wait for this session's claim to end, not be told the mailbox is in use.
        if (session.QuitReceived() && claim) claim->Releasing();
        if (replies.empty()) continue;
        idleDeadline = Clock::now() + options_.idleTimeout;
        alive = connection.Send(replies);
        if (alive && session.TlsRequested()) {
            alive = connection.StartTls(*tls_, Clock::now() + options_.handshakeTimeout);
            session.TlsStarted();
            idleDeadline = Clock::now() + options_.idleTimeout;
        }
    }
    // A QUIT without the mailbox (a client that never logged in, with a password set)
    // ends nothing but its own connection.
    if (!session.QuitReceived() || !claim) return;
    claim.reset();
    connection.Close();
    // Shown whatever disable-messagebox says: records were lost. The client has its -ERR
    // and the mailbox is free again, so the box keeps nobody waiting but the user.
    if (commitFailed)
        context_.Boxes()->Show(kSaveFailure, "", Notifier::Icon::None, Notifier::Buttons::Ok);
    AfterQuit();
}

std::string Pop3Server::NextApopTimestamp() {
    return "<" + std::to_string(getpid()) + "." + std::to_string(++greetings_) + "@" + hostName_ + ">";
}

void Pop3Server::AfterQuit() {
    if (context_.HadFeedError() && !settings_->disableMessageBox) {
        auto answer = context_.Boxes()->Show(kLogPrompt, "エラー", Notifier::Icon::Exclamation,
                                             Notifier::Buttons::YesNo);
        if (answer == Notifier::Answer::Yes) context_.OpenLog();
    }
    if (context_.Once()) {
        Stop();
        if (hooks_.closeMainWindow) hooks_.closeMainWindow();
    }
}
