#include "Pop3Server.h"

#include "Log.h"
#include "Mailbox.h"
#include "Notifier.h"
#include "Pop3Connection.h"
#include "Pop3Session.h"
#include "ProcessFlags.h"
#include "RefreshWorker.h"
#include "RssManager.h"
#include "Settings.h"
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

// Every start says it again, in the log and on standard error: without a password
// anyone who can reach the port reads and deletes the items.
void WarnIfOpenWithoutPassword(const Settings& settings) {
    if (!settings.password.empty() || IsLoopback(settings.listenAddress)) return;
    WriteLog("警告: listen-address " + settings.listenAddress +
             " はループバックアドレスではありませんが、passwordが設定されていません。"
             "このポートに届く誰もが記事を読み、削除できます。\n\n");
    std::fprintf(stderr,
                 "Quillo: warning: listening on %s without a password; anyone who can reach port %d "
                 "can read and delete the items (set password in Quillo.xml)\n",
                 settings.listenAddress.c_str(), settings.port);
}

}  // namespace

Pop3Server::Pop3Server(Hooks hooks, ServerOptions options)
    : hooks_(std::move(hooks)), options_(options), hostName_(ApopHostName()) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Pop3Server::~Pop3Server() {
    JoinFinishedSessions(true);
    if (listenFd_ >= 0) close(listenFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

void Pop3Server::Stop() {
    g_running = false;
    // Never drained: once stopped, every later poll of every thread wakes at once.
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
        // Shown even with boxes disabled; the log keeps it for a service that nobody
        // watches start.
        WriteLog(BindFailureText(port) + "\r\n\r\n");
        ShowErrorBox(BindFailureText(port));
        return false;
    }
    if (TraceEnabled())
        Trace("listening on " + manager.GetListenAddress() + ":" + std::to_string(port));
    return true;
}

int Pop3Server::Run() {
    auto manager = std::make_shared<RssManager>();
    // Both failures were reported where they happened; 1 becomes the exit status.
    if (!manager->LoadSettings()) {
        if (hooks_.closeMainWindow) hooks_.closeMainWindow();
        return 1;
    }
    WarnIfOpenWithoutPassword(manager->GetSettings());
    if (!manager->IsTrayIconDisabled() && hooks_.addTrayIcon) hooks_.addTrayIcon(*manager);

    if (!Listen(*manager)) {
        if (hooks_.closeMainWindow) hooks_.closeMainWindow();
        return 1;
    }
    {
        RefreshWorker worker(*manager);
        AcceptLoop(*manager, worker);
        if (listenFd_ >= 0) close(listenFd_);
        listenFd_ = -1;
        // Sessions waiting for the refresh wake here, the others through wakeFd_.
        worker.Stop();
        JoinFinishedSessions(true);
    }
    manager.reset();
    return 0;
}

void Pop3Server::AcceptLoop(RssManager& manager, RefreshWorker& worker) {
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
        JoinFinishedSessions(false);
        if (static_cast<int>(sessions_.size()) >= options_.maxSessions) {
            Pop3Connection(client, wakeFd_, options_.sendTimeout).Send(kTooManySessions);
            continue;
        }
        SessionThread& session = sessions_.emplace_back();
        session.thread = std::thread([this, &manager, &worker, &session, client] {
            Serve(manager, worker, client);
            session.done = true;
        });
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

void Pop3Server::Serve(RssManager& manager, RefreshWorker& worker, int client) {
    Pop3Connection connection(client, wakeFd_, options_.sendTimeout);
    std::unique_ptr<RefreshWorker::Claim> claim = worker.TryClaim(options_.claimGrace);
    // Only the session that gets the mailbox waits for a refresh; a connection already
    // closed by its client costs none.
    if (claim && worker.RefreshesPerConnection() && !connection.PeerClosed()) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(manager.GetSettings().greetingDeadlineSeconds);
        worker.RefreshBefore(deadline);
    }
    if (!g_running || worker.Stopped() || connection.PeerClosed()) return;
    Mailbox none;
    Mailbox& mailbox = claim ? claim->Open() : none;
    Pop3SessionOptions sessionOptions;
    sessionOptions.password = manager.GetSettings().password;
    sessionOptions.apopTimestamp = NextApopTimestamp();
    sessionOptions.mailboxInUse = !claim;
    bool commitFailed = false;
    if (claim) {
        // Runs at QUIT, before the client has its answer: +OK promises the records are
        // written. A failure leaves the deletions undone when the claim ends, so a later
        // session offers those items again.
        sessionOptions.commit = [&mailbox, &claim, &commitFailed] {
            std::string reason = mailbox.Commit();
            if (reason.empty()) {
                claim->Committed();
            } else {
                commitFailed = true;
                WriteLog("QUITで配信済みの記録を保存できませんでした: " + reason +
                         "\n削除された記事は次の接続で再び届きます。\n\n");
            }
            return reason;
        };
    }
    Pop3Session session(mailbox, std::move(sessionOptions));
    bool alive = connection.Send(session.Greeting());
    // The idle time counts from the last command, not the last byte: a client that
    // trickles bytes without ever ending a line cannot hold the session either.
    auto deadline = std::chrono::steady_clock::now() + options_.idleTimeout;
    while (alive && !session.QuitReceived()) {
        const std::string received = connection.Receive(deadline);
        // Time-out, exit command, close or failure: the session ends without commit.
        if (received.empty()) break;
        std::string replies = session.Receive(received);
        // Before the client has its answer to QUIT: it may reconnect at once and must
        // then wait for this session's claim to end, not be told the mailbox is in use.
        if (session.QuitReceived() && claim) claim->Releasing();
        if (replies.empty()) continue;
        deadline = std::chrono::steady_clock::now() + options_.idleTimeout;
        alive = connection.Send(replies);
    }
    if (!session.QuitReceived() || !claim) return;
    // The client has its -ERR already; the box waits for the user, so it comes last.
    if (commitFailed && !manager.IsMessageBoxDisabled())
        CurrentNotifier().Show(kSaveFailure, "", Notifier::Icon::None, Notifier::Buttons::Ok);
    claim.reset();
    connection.Close();
    AfterQuit(manager);
}

std::string Pop3Server::NextApopTimestamp() {
    return "<" + std::to_string(getpid()) + "." + std::to_string(++greetings_) + "@" + hostName_ + ">";
}

void Pop3Server::AfterQuit(RssManager& manager) {
    if (g_feedError && !manager.IsMessageBoxDisabled()) {
        auto answer = CurrentNotifier().Show(kLogPrompt, "エラー", Notifier::Icon::Exclamation,
                                             Notifier::Buttons::YesNo);
        if (answer == Notifier::Answer::Yes) OpenLogFile();
    }
    if (g_once) {
        Stop();
        if (hooks_.closeMainWindow) hooks_.closeMainWindow();
    }
}
