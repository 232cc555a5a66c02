#pragma once

#include <chrono>
#include <functional>

class RssManager;

// The server thread: owns the feed manager, listens on the POP3 port and serves one
// client at a time, refreshing every feed before each greeting.
class Pop3Server {
public:
    struct Hooks {
        // Ends the main loop (the hidden window's close); called on bind failure and
        // after QUIT in once mode.
        std::function<void()> closeMainWindow;
        // Adds the tray icon once the settings are read, unless they disable it.
        std::function<void(RssManager&)> addTrayIcon;
    };

    // A session with no command for this long ends like a dropped connection.
    static constexpr std::chrono::milliseconds kIdleTimeout = std::chrono::minutes(10);

    explicit Pop3Server(Hooks hooks);
    ~Pop3Server();
    Pop3Server(const Pop3Server&) = delete;
    Pop3Server& operator=(const Pop3Server&) = delete;

    // The thread body; returns 0.
    int Run();

    // The exit command: clears the running flag and wakes the thread out of accept (and
    // out of an idle session). Safe from any thread.
    void Stop();

    void SetIdleTimeoutForTesting(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }

private:
    bool Listen(RssManager& manager);
    void Serve(RssManager& manager, int client);
    bool SendAll(int client, const std::string& bytes);
    void AfterQuit(RssManager& manager);

    Hooks hooks_;
    int wakeFd_ = -1;     // readable once Stop has been called
    int listenFd_ = -1;
    std::chrono::milliseconds idleTimeout_ = kIdleTimeout;
};
