#pragma once

#include "GatewayContext.h"
#include "SentItemsStore.h"

#include <chrono>
#include <string>
#include <vector>

// One feed's record of deliveries, sentitems.xml in its folder: loaded before each
// download of the feed and matched against its items (ItemFiler), rewritten at QUIT
// with the items the session deleted, and whenever items are delivered other than by a
// client.
class DeliveryRecords {
public:
    // The context takes the log entries and must outlive the records; feedUrl names the
    // feed in them. today gives the date the records are stamped with (last-seen) and
    // aged by.
    DeliveryRecords(GatewayContext& context, std::string feedUrl, TodayFunction today);
    DeliveryRecords(const DeliveryRecords&) = delete;
    DeliveryRecords& operator=(const DeliveryRecords&) = delete;

    // The folder sentitems.xml is in, ending in "/".
    void UseFolder(std::string folder) { folder_ = std::move(folder); }

    // Loads the records. A file that cannot be read is moved to sentitems.xml.bad and
    // the records are taken from sentitems.xml.bak, the file it replaced, when that one
    // reads; the log says so and the feed-error flag is set.
    void Load();
    // The records loaded, to match items against.
    SentItemsStore& Loaded() { return store_; }

    // Records items delivered other than by a client (expired, or put into a Maildir):
    // every later prepare writes them too, seen today.
    void Add(const std::vector<SentRecord>& records) { added_.insert(added_.end(), records.begin(), records.end()); }

    // QUIT in two steps, so that several feeds record all or nothing. Prepare writes and
    // syncs PreparedPath() (nothing when there is nothing new to record) and returns ""
    // or the reason it could not; Install puts it in place, keeping the file it replaces
    // as sentitems.xml.bak; Discard removes a prepared file that is not to be installed.
    // The file holds the `recognised` records (items of the feed's document found
    // delivered), the `deleted` ones (delivered in the session) and the added ones, all
    // seen today, then the loaded records no item matched, each with its last-seen day,
    // unless that is more than SentItemsStore::kKeepUnseenDays ago.
    std::string Prepare(const std::vector<SentRecord>& recognised, const std::vector<SentRecord>& deleted);
    std::string Install();
    void Discard();
    // The file a prepare writes beside sentitems.xml. A feed listed twice has two
    // handlers on one folder; each prepares its own file.
    std::string PreparedPath() const;

private:
    void LogFailure(const std::string& text);

    GatewayContext& context_;
    std::string feedUrl_;
    std::string folder_;
    TodayFunction today_;
    SentItemsStore store_;
    std::vector<SentRecord> added_;
    // A record without last-seen was written before it existed: seen on the day of loading.
    std::chrono::sys_days loadDay_{};
    // False when an unreadable sentitems.xml could not be moved aside: the next save
    // must not make it the previous good file.
    bool keepPrevious_ = true;
    bool prepared_ = false;
};
