#pragma once

#include <functional>
#include <mutex>

// How far the running refresh has got, for the tray icon's tool tip. Safe from any
// thread; without a tray (headless) nothing listens and the calls cost nothing.
//
// The refresh calls Report(0, N) before its first download, again with the number of
// feeds done as each one finishes, and Finished at the end (also when it stops early).
class RefreshProgress {
public:
    // `total` is 0 once the refresh has finished. The sink is called on the reporting
    // thread and must hand the value over itself.
    using Sink = std::function<void(int done, int total)>;

    void Report(int done, int total);
    void Finished();
    // The tray shell listens here; an empty function removes the listener.
    void Listen(Sink sink);

private:
    std::mutex mutex_;
    Sink sink_;
};
