#pragma once

#include "FeedTransferLimits.h"
#include "GatewayContext.h"
#include "LoginThrottle.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class Pop3Connection;
class RefreshWorker;
class RssManager;
class TlsServerContext;

// The limits of the sessions.
struct ServerOptions {
    // A session with no command for this long ends like a dropped connection (RFC 1939
    // allows no less than 10 minutes).
    std::chrono::milliseconds idleTimeout = std::chrono::minutes(10);
    // A client that takes none of a reply's bytes for this long is dropped.
    std::chrono::milliseconds sendTimeout = std::chrono::seconds(60);
    // Sessions at once; a connection beyond them is told so and closed.
    int maxSessions = 100;
    // How long a new session waits for the mailbox of a session still ending, so a
    // client that reconnects at once is not served an empty mailbox.
    std::chrono::milliseconds claimGrace = std::chrono::milliseconds(500);
    // A TLS handshake, at STLS or on the implicit-TLS port, must be done within this.
    std::chrono::milliseconds handshakeTimeout = std::chrono::seconds(30);
    // A connection that has not logged in this long after its greeting is dropped:
    // it holds nothing, and must not keep a session thread either.
    std::chrono::milliseconds loginTimeout = std::chrono::seconds(60);
    // How long failed logins hold back the answers to their address.
    LoginDelays loginDelays{};
    // What every feed download keeps to.
    FeedTransferLimits transferLimits{};
};

// The server thread: owns the feed manager and the refresh worker, listens on the POP3
// port and serves every client on a session thread of its own. One session at a time
// holds the mailbox; the others are refused at their login with IN-USE. Without a
// password the mailbox goes to the first session to arrive, refreshed before its
// greeting; with one, to the first that logs in, refreshed before its +OK, so a client
// without the password holds nothing and costs no download.
class Pop3Server {
public:
    struct Hooks {
        // Ends the main loop (the hidden window's close); called on unusable settings,
        // on bind failure and after QUIT in once mode.
        std::function<void()> closeMainWindow;
        // Adds the tray icon once the settings are read, unless they disable it.
        std::function<void(RssManager&)> addTrayIcon;
    };

    // The context must outlive the server.
    Pop3Server(GatewayContext& context, Hooks hooks, ServerOptions options = {});
    ~Pop3Server();
    Pop3Server(const Pop3Server&) = delete;
    Pop3Server& operator=(const Pop3Server&) = delete;

    // The thread body; returns 0 once every session has ended, or 1 at once when the
    // settings cannot be used, a configured TLS certificate or key cannot be used or the
    // port cannot be bound (nothing is served then). The result is the exit status.
    int Run();

    // The exit command: clears the context's running flag and wakes the thread out of accept and
    // every session out of its wait. Safe from any thread.
    void Stop();

private:
    struct SessionThread {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    bool Listen(RssManager& manager);
    // With a certificate in the settings: loads it, then listens on the implicit-TLS
    // port. False when Quillo must stop; the reason has been reported.
    bool PrepareTls(RssManager& manager, bool& bindFailed);
    void AcceptLoop(RssManager& manager, RefreshWorker& worker);
    // peer: the client's IPv4 address, dotted.
    void Serve(RssManager& manager, RefreshWorker& worker, int client, bool implicitTls, const std::string& peer);
    void AfterQuit(RssManager& manager);
    // "<pid.counter@host>", a new one for every greeting.
    std::string NextApopTimestamp();
    void JoinFinishedSessions(bool all);

    GatewayContext& context_;
    Hooks hooks_;
    ServerOptions options_;
    int wakeFd_ = -1;     // readable once Stop has been called
    int listenFd_ = -1;
    int tlsListenFd_ = -1;                 // implicit TLS; -1 without
    std::unique_ptr<TlsServerContext> tls_;  // null: no STLS, no implicit TLS
    std::list<SessionThread> sessions_;  // touched by the server thread only
    const std::string hostName_;
    std::atomic<unsigned long long> greetings_{0};
    LoginThrottle throttle_;  // shared by the session threads
};
