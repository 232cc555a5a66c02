#pragma once

#include "DeliveryRecords.h"
#include "Feed.h"
#include "FeedMailbox.h"
#include "GatewayContext.h"
#include "MailData.h"
#include "SentItemsStore.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct FeedTransferResult;

// One feed of one refresh: joins the reply of its download, the copy of its document
// kept in its folder (LatestDocument), the parse, the filing of its items as messages,
// pending or recognised as delivered (ItemFiler), and its record of deliveries
// (DeliveryRecords), which QUIT rewrites with the messages deleted in the session (see
// StoredFeed).
class RssHandler {
public:
    // The context gives the feed folder and takes the log entries; it must outlive the
    // handler. today gives the date the records are stamped with (last-seen) and aged by.
    RssHandler(GatewayContext& context, std::string url, bool disableMessageBox, bool enableHtml,
               MailCharset mailCharset = MailCharset::Auto, TodayFunction today = SystemToday);
    RssHandler(const RssHandler&) = delete;
    RssHandler& operator=(const RssHandler&) = delete;

    // A download in two steps, for refreshes that run the transfers of several feeds at
    // once: BeginDownload loads sentitems.xml and makes the feed folder; the caller runs
    // the transfer (FeedTransfer, see FeedDownload.h) on FeedFolder(); FinishDownload
    // handles its result -- log entries, flag, latest.xml and its validators -- then
    // normalises, parses and files the items.
    void BeginDownload();
    void FinishDownload(const FeedTransferResult& result);
    // The feed folder, ending in "/": data/ and the name given by UseFolder, else the
    // URL's own name (GetFeedFolderName).
    std::string FeedFolder() const;
    // The name of the folder the feed list gave this feed (AssignFeedFolders).
    void UseFolder(std::string name);

    // Loads the delivered records of sentitems.xml (see DeliveryRecords::Load).
    void LoadSentItems() { records_.Load(); }

    // The items of the last document, as messages filed pending or delivered.
    const FeedMailboxPointer& GetMailbox() const { return mailbox_; }
    // Once the feed's store holds the pending messages (StoredFeed::File), only the
    // records QUIT writes of the delivered ones are still needed: the messages and their
    // identities go, so a refresh of many feeds holds no item twice. The mailbox is then
    // empty; PrepareSentItems writes the same records as before.
    void ReleaseMessages();
    // A 304 reply then files the items `previous` parsed from the same document again,
    // against the records as they are now, instead of reading and parsing latest.xml.
    void ReuseParseOf(std::shared_ptr<const RssHandler> previous) { previous_ = std::move(previous); }
    // QUIT in two steps (see DeliveryRecords::Prepare): the records are the items of
    // this document recognised as delivered and the `deleted` ones (delivered in the
    // session), then the added ones and the loaded records no item matched.
    std::string PrepareSentItems(const std::vector<SentRecord>& deleted = {});
    std::string InstallSentItems() { return records_.Install(); }
    void DiscardSentItems() { records_.Discard(); }
    // Records items delivered other than by a client (see DeliveryRecords::Add).
    void AddRecords(const std::vector<SentRecord>& records) { records_.Add(records); }

    const FeedPointer& GetFeed() const { return feed_; }
    // The identity of a message this handler made, "" for any other.
    std::string IdentityOf(const MailData& message) const;

private:
    // The stored copy: read from the folder, parsed and filed.
    void ParseStoredCopy();
    // A document in memory (a reply just received, already normalised): parsed and filed.
    void ParseDocument(std::string_view bytes, const std::string& contentType);
    // One message per item of the parsed feed, filed as pending or delivered.
    void FileItems(const Feed& parsed);
    // The items of the mailbox recognised as delivered, as QUIT records them.
    void AppendDeliveredRecords(std::vector<SentRecord>& records) const;
    // A log entry that also sets the context's feed-error flag.
    void LogFailure(const std::string& text);

    GatewayContext& context_;
    FeedPointer feed_;
    std::string folderName_;
    bool enableHtml_;
    MailCharset mailCharset_;
    FeedMailboxPointer mailbox_ = std::make_shared<FeedMailbox>();
    // The document as last parsed, kept so that a 304 needs no parse.
    std::shared_ptr<const Feed> parsed_;
    std::shared_ptr<const RssHandler> previous_;
    DeliveryRecords records_;
    // The identity key of every message made from the current document.
    std::unordered_map<const MailData*, std::string> identities_;
    // The delivered items of the document as records, once their messages have gone.
    std::vector<SentRecord> released_;
};

using RssHandlerPointer = std::shared_ptr<RssHandler>;
