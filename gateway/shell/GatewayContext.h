#pragma once

#include "AppDirectory.h"
#include "Notifier.h"
#include "RefreshProgress.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// What the parts of one running gateway share, made once at start and passed by
// reference to the server, the feed manager, the refresh and every feed handler:
// where the files are, where log entries and boxes go, the refresh progress the tray
// shows, and the state the main thread and the server thread share. Tests make their
// own, on a temporary directory.
class GatewayContext {
public:
    // once: "-once", the gateway ends after the first QUIT.
    explicit GatewayContext(AppLayout layout, bool once = false);
    GatewayContext(const GatewayContext&) = delete;
    GatewayContext& operator=(const GatewayContext&) = delete;

    const AppLayout& Layout() const { return layout_; }
    // Folder + "/" + name, for each kind of file.
    std::string ConfigFile(std::string_view name) const;
    std::string StateFile(std::string_view name) const;
    std::string ProgramFile(std::string_view name) const;

    // An entry in log.txt.
    void Log(std::string_view text) const;
    void OpenLog() const;

    // The boxes: standard error until the tray shell puts in its own. The notifier is
    // kept alive by the caller's copy while a box is shown.
    std::shared_ptr<Notifier> Boxes() const;
    void UseNotifier(std::shared_ptr<Notifier> notifier);
    // The common box: title "error", error icon, OK.
    void ShowErrorBox(const std::string& text) const;
    // A failure that ends the gateway: always on standard error (a service's journal
    // keeps it), and also in an error box when showBox is set and boxes are shown.
    void ReportFatalError(const std::string& text, bool showBox) const;

    RefreshProgress& Progress() { return progress_; }

    // Cleared by the exit command or by QUIT in once mode, never set again.
    bool Running() const { return running_; }
    void StopRunning() { running_ = false; }
    bool Once() const { return once_; }
    // Set by any download or parse failure; never cleared, so the box after QUIT
    // offers the log.
    void FeedFailed() { feedError_ = true; }
    bool HadFeedError() const { return feedError_; }

private:
    const AppLayout layout_;
    const bool once_;
    std::atomic<bool> running_{true};
    std::atomic<bool> feedError_{false};
    mutable std::mutex notifierMutex_;
    std::shared_ptr<Notifier> notifier_;
    RefreshProgress progress_;
};
