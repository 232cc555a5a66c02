#pragma once

#include "GatewayContext.h"
#include "Mailbox.h"
#include "MessageStore.h"
#include "RssHandler.h"
#include "Settings.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Where storing one feed's new messages may let a session in: between two batches, each
// stored and synced whole.
class StoringBreaks {
public:
    virtual ~StoringBreaks() = default;
    // True when a session waits for the mailbox.
    virtual bool SessionWaiting() = 0;
    // Lets the waiting session have the mailbox until it ends; false when the refresh
    // stops instead (what is left is not stored now: the next refresh finds it again).
    virtual bool LetSessionIn() = 0;
};

// One feed folder's store of messages and what joins it to the refreshes and the
// sessions: every item a refresh finds that is neither delivered nor stored is stored
// once; a session is offered what is stored; QUIT records the deletions in sentitems.xml
// and only then removes their files. The refresh thread files and a session commits,
// never at once (the refresh worker keeps them apart).
class StoredFeed {
public:
    // feedFolder ends in "/"; url: the feed's URL when known ("": taken from the store).
    // The settings give the form of new messages, keep-days and the Maildir to deliver
    // into (see Settings).
    StoredFeed(GatewayContext& context, std::string feedFolder, std::string url, const Settings& settings);
    // The feed-list folders the feed is listed in, for its Maildir++ folder name.
    void SetListFolders(std::vector<std::string> folders) { listFolders_ = std::move(folders); }

    // Reads the store's index once; logs the files it skips and removes the messages
    // sentitems.xml already records.
    void Load();
    // After the handler's download: removes stored messages its document shows as
    // delivered and stores its new items, each composed once, in batches of at most
    // kBatch. A session waiting for the mailbox is let in between two batches (see
    // StoringBreaks): it sees the batches stored so far, the rest is stored after it.
    // Messages that cannot be stored are offered from memory; the failure is logged.
    void File(const RssHandlerPointer& handler, StoringBreaks* breaks = nullptr);
    static constexpr std::size_t kBatch = 1000;
    // This feed's part of a session's mailbox.
    Mailbox::Part Part();

    bool Empty() const { return store_.Messages().empty(); }
    const MessageStore& Store() const { return store_; }

private:
    RssHandlerPointer RecordsHandler();
    // Records the messages stored longer than keepDays as delivered, then removes them.
    void Expire();
    // Stores one batch, or delivers it into the settings' Maildir.
    void StoreBatch(std::vector<MessageStore::NewMessage> batch, bool& failureLogged);
    // Delivers the messages into the settings' Maildir and adds them to the records;
    // returns those that could not be delivered, for the store.
    std::vector<MessageStore::NewMessage> DeliverToMaildir(std::vector<MessageStore::NewMessage> messages);
    // Writes the records of the messages delivered into the Maildir since the last time.
    void RecordMaildirDeliveries();

    GatewayContext& context_;
    std::string url_;
    bool enableHtml_;
    MailCharset mailCharset_;
    int keepDays_;
    std::string maildir_;
    bool maildirFeedFolders_;
    std::vector<std::string> listFolders_;
    bool deliveriesUnrecorded_ = false;
    MessageStore store_;
    // The last download of the feed: its records and the items it recognised.
    RssHandlerPointer handler_;
};

using StoredFeedPointer = std::shared_ptr<StoredFeed>;
