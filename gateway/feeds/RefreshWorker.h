#pragma once

#include "FeedScheduler.h"
#include "Mailbox.h"
#include "RssHandler.h"
#include "StoredFeed.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class RssManager;

// Runs the refreshes on a thread of its own and keeps, for every feed folder, its store
// of messages (see StoredFeed) and the handler of its last finished download: the
// mailbox of a session is formed from the stores. One refresh runs at a time, so a feed
// is never downloaded twice at once.
//
// The mailbox is one: a session claims it, and while the claimed mailbox is open no
// feed is filed (its sentitems.xml read, its reply handled, its messages stored). So
// what a session sees never changes under it, and nothing it records at QUIT is read
// before it is written; the transfers go on meanwhile and their feeds are filed once the
// session ends. A session that opens the mailbox while a feed is being filed gets it at
// the feed's next break (see StoredFeed::File): its new messages are chosen by then, so
// none of those stored after the session can be one the session deleted.
class RefreshWorker {
public:
    class Claim;

    // The manager's settings and feed list are used from the worker thread; the
    // manager must outlive the worker. Every store in the feed folders is read here,
    // before any session, so a restart offers what was stored at once.
    explicit RefreshWorker(RssManager& manager);
    ~RefreshWorker();
    RefreshWorker(const RefreshWorker&) = delete;
    RefreshWorker& operator=(const RefreshWorker&) = delete;

    // Ends the running refresh (its transfers are aborted) and the thread, and wakes
    // every waiting session. Safe from any thread.
    void Stop();
    bool Stopped() const { return stop_.stop_requested(); }

    // True without a refresh interval: every connection asks for a refresh.
    bool RefreshesPerConnection() const { return interval_.count() == 0; }

    // Starts a refresh unless one is running, which is then joined, and waits until it
    // has finished, until `deadline` or until Stop, whichever comes first.
    void RefreshBefore(std::chrono::steady_clock::time_point deadline);

    // The mailbox for one session, or null when another session holds it. A session
    // that has had QUIT is waited for: its client may already be back. A holder is also
    // given up to `grace` to let go: a client that dropped its connection and dialled
    // again at once finds its old session still ending.
    std::unique_ptr<Claim> TryClaim(std::chrono::milliseconds grace = std::chrono::milliseconds(0));

    // Refreshes finished so far.
    std::uint64_t FinishedRefreshes() const;

private:
    void Loop();
    void RunOneRefresh();
    // After a refresh: the feed report, when one is due (see FileDueFeedReport).
    void FileFeedReport();
    // Waits until no session holds or wants the mailbox; false on Stop.
    bool BeginFiling();
    // The same without waiting: false while a session holds or wants the mailbox.
    bool TryBeginFiling();
    bool SessionWaiting() const;
    // A break in the filing of a feed: the waiting session has the mailbox until it
    // ends; false on Stop.
    bool LetSessionIn();
    void Filed(const std::string& key, const RssHandlerPointer& handler);
    Mailbox OpenMailbox();
    void EndMailbox(bool opened);
    void LoadStores();
    StoredFeedPointer StoreFor(const std::string& folder, const std::string& url);
    void Releasing();

    RssManager& manager_;
    const std::chrono::milliseconds greetingDeadline_;
    const std::chrono::minutes interval_;
    // Which feeds a refresh requests, and their fetch state (refresh thread only).
    FeedScheduler schedule_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::stop_source stop_;  // the running refresh watches its token
    bool requested_ = false;
    bool running_ = false;
    std::uint64_t finished_ = 0;
    bool claimed_ = false;
    bool releasing_ = false;  // the holder has had QUIT and is recording
    bool mailboxOpen_ = false;
    bool filing_ = false;  // a feed is being filed and is not at a break
    bool mailboxWanted_ = false;  // a session waits for the feed being filed to break
    // The feeds of the latest list, each as URL and occurrence ("url#2" for the second
    // listing), and the last filed handler of each.
    std::vector<std::string> feedKeys_;
    std::map<std::string, RssHandlerPointer> filed_;
    // Every feed folder's store, by folder path, listed or not; and the folder of each
    // feed key.
    std::map<std::string, StoredFeedPointer> stores_;
    std::map<std::string, std::string> folderOf_;
    std::thread thread_;
};

// A session's hold on the mailbox; ending it lets the feeds be filed again.
class RefreshWorker::Claim {
public:
    explicit Claim(RefreshWorker& worker) : worker_(worker) {}
    // A session's deletions are recorded only by its commit at QUIT; without one the
    // next session is offered every stored message again.
    ~Claim();
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

    // Forms the mailbox from the stores: feed by feed in list order, then the feeds no
    // longer listed, each in the order its messages arrived. From here until the claim
    // ends no feed is filed.
    Mailbox& Open();
    // QUIT arrived: the claim ends once the deleted lists are recorded.
    void Releasing() { worker_.Releasing(); }

private:
    RefreshWorker& worker_;
    Mailbox mailbox_;
    bool opened_ = false;
};
