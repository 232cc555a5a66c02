#pragma once

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
class TlsServerContext;
struct Settings;

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
};

// The POP3 server: listens on the port of the settings it is given and serves every
// client on a session thread of its own, from the mailbox of the refresh worker it is
// handed. One session at a time holds the mailbox; the others are refused at their
// login with IN-USE. Without a password the mailbox goes to the first session to
// arrive, refreshed before its greeting; with one, to the first that logs in, refreshed
// before its +OK, so a client without the password holds nothing and costs no download.
class Pop3Server {
public:
    struct Hooks {
        // Ends the main loop (the hidden window's close) after QUIT in once mode.
        std::function<void()> closeMainWindow;
    };

    // The context must outlive the server.
    Pop3Server(GatewayContext& context, Hooks hooks, ServerOptions options = {});
    ~Pop3Server();
    Pop3Server(const Pop3Server&) = delete;
    Pop3Server& operator=(const Pop3Server&) = delete;

    // Opens the POP3 port and, with a certificate, the implicit-TLS one, as the settings
    // say; the sessions follow them too, so they must outlive the server. False when
    // Quillo must stop, the reason reported: the TLS set-up cannot be used or a port
    // cannot be bound. Nothing is served then.
    bool Listen(const Settings& settings);
    // Serves every client until Stop, from the worker's mailbox; then stops the worker,
    // so no session waits for a refresh, and returns once every session has ended.
    void Run(RefreshWorker& worker);

    // The exit command: clears the context's running flag and wakes the thread out of accept and
    // every session out of its wait. Safe from any thread.
    void Stop();

private:
    struct SessionThread {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    bool ListenForPop3();
    // With a certificate in the settings: loads it, then listens on the implicit-TLS
    // port. False when Quillo must stop; the reason has been reported.
    bool PrepareTls();
    void AcceptLoop(RefreshWorker& worker);
    // peer: the client's IPv4 address, dotted.
    void Serve(RefreshWorker& worker, int client, bool implicitTls, const std::string& peer);
    void AfterQuit();
    // "<pid.counter@host>", a new one for every greeting.
    std::string NextApopTimestamp();
    void JoinFinishedSessions(bool all);

    GatewayContext& context_;
    Hooks hooks_;
    ServerOptions options_;
    const Settings* settings_ = nullptr;  // from Listen on
    int wakeFd_ = -1;     // readable once Stop has been called
    int listenFd_ = -1;
    int tlsListenFd_ = -1;                 // implicit TLS; -1 without
    std::unique_ptr<TlsServerContext> tls_;  // null: no STLS, no implicit TLS
    std::list<SessionThread> sessions_;  // touched by the server thread only
    const std::string hostName_;
    std::atomic<unsigned long long> greetings_{0};
    LoginThrottle throttle_;  // shared by the session threads
};
