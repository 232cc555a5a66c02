#pragma once

#include "Feed.h"
#include "ItemIdentity.h"
#include "FeedMailbox.h"
#include "GatewayContext.h"
#include "MailData.h"
#include "Mailbox.h"
#include "SentItemsStore.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class InternetSession;
struct FeedTransferResult;

// One feed of the current refresh: its items as messages, pending (not delivered) or
// recognised as delivered, and its records in sentitems.xml, which QUIT rewrites with
// the messages deleted in the session (see StoredFeed).
class RssHandler {
public:
    // The context gives the feed folder and takes the log entries; it must outlive the
    // handler. today gives the date the records are stamped with (last-seen) and aged by.
    RssHandler(GatewayContext& context, std::string url, bool disableMessageBox, bool enableHtml,
               MailCharset mailCharset = MailCharset::Auto, TodayFunction today = SystemToday);

    // Loads sentitems.xml, fetches the feed, normalises its encoding and parses it.
    void Download(InternetSession& session);

    // Download in two steps, for refreshes that run the transfers of several feeds at
    // once: BeginDownload loads sentitems.xml and makes the feed folder; the caller runs
    // the transfer (FeedTransfer, see FeedDownload.h) on FeedFolder(); FinishDownload
    // handles its result -- log entries, flag, latest.xml, lastmodified.txt -- then
    // normalises and parses. Download is exactly Begin, one transfer, Finish.
    void BeginDownload();
    void FinishDownload(const FeedTransferResult& result);
    // The feed folder, ending in "/": data/ and the name given by UseFolder, else the
    // URL's own name (GetFeedFolderName).
    std::string FeedFolder() const;
    // The name of the folder the feed list gave this feed (AssignFeedFolders).
    void UseFolder(std::string name) { folderName_ = std::move(name); }

    // Loads the delivered records of sentitems.xml into the sent-items list. A file that
    // cannot be read is moved to sentitems.xml.bad and the records are taken from
    // sentitems.xml.bak, the file it replaced, when that one reads.
    void LoadSentItems();
    // Rewrites latest.xml to UTF-8 when its first line declares the encoding.
    void ConvertFromEucJp();
    void ConvertFromShiftJis();
    void ConvertFromIso2022Jp();
    // Turns the items of latest.xml into messages: pending, or deleted when delivered.
    void Parse();
    // The same for a document in memory (a reply just received, already normalised).
    void ParseDocument(std::string_view bytes, const std::string& contentType);

    // A stable unique id: the same item of the same feed gets the same id at every
    // refresh, so clients that leave mail on the server do not fetch it again.
    static std::string MakeUid(const std::string& feedUrl, const MailData& message);
    // The same over given subject and link texts (those an earlier version read).
    static std::string MakeUid(const std::string& feedUrl, const std::string& subject,
                               const std::string& link, const MailData& message);

    // The items of the last document, as messages filed pending or delivered.
    const FeedMailboxPointer& GetMailbox() const { return mailbox_; }
    // A 304 reply then files the items `previous` parsed from the same document again,
    // against the records as they are now, instead of reading and parsing latest.xml.
    void ReuseParseOf(std::shared_ptr<const RssHandler> previous) { previous_ = std::move(previous); }
    // QUIT in two steps, so that several feeds record all or nothing. Prepare writes and
    // syncs PreparedPath() (nothing when the deleted list is empty) and returns ""
    // or the reason it could not; Install puts it in place, keeping the file it replaces
    // as sentitems.xml.bak; Discard removes a prepared file that is not to be installed.
    // The records are the items of this document recognised as delivered and the
    // `deleted` ones (delivered in the session), seen today, then the loaded records no
    // item of this document matched, each with its last-seen day, unless that is more
    // than SentItemsStore::kKeepUnseenDays ago.
    std::string PrepareSentItems(const std::vector<SentRecord>& deleted = {});
    std::string InstallSentItems();
    void DiscardSentItems();
    // Records items delivered other than by a client (expired, or put into a Maildir):
    // every later prepare writes them too, seen today.
    void AddRecords(const std::vector<SentRecord>& records) { added_.insert(added_.end(), records.begin(), records.end()); }
    // The file a prepare writes beside sentitems.xml, for this handler only.
    std::string PreparedPath() const;
    // Prepare and install; false when either failed.
    bool SaveSentItems(const std::vector<SentRecord>& deleted = {});

    const FeedPointer& GetFeed() const { return feed_; }
    const std::vector<MailDataPointer>& Pending() const { return mailbox_->Pending(); }
    const std::vector<MailDataPointer>& Deleted() const { return mailbox_->Deleted(); }
    // The records loaded, read again from their file.
    std::vector<SentRecord> SentItems() const;
    // The identity of a message this handler made, "" for any other.
    std::string IdentityOf(const MailData& message) const;

private:
    // One message per item of the parsed feed, filed as pending or delivered.
    void FileItems(const Feed& parsed);
    void ConvertLatest(std::string_view encodingName, std::string_view converterOptions);
    // Whether a record of an earlier version says the item was delivered: matched by
    // one of the texts that version may have recorded for it (LegacyRecordTexts), with
    // the date (exact) or by subject and link alone.
    bool MatchLegacyRecord(const FeedItem& item, const MailData& message, bool exact);
    void LogParseFailure();
    // A log entry that also sets the context's feed-error flag.
    void LogFailure(const std::string& text);
    std::vector<SentRecord> FreshRecords(const std::vector<SentRecord>& deleted) const;

    GatewayContext& context_;
    FeedPointer feed_;
    std::string folderName_;
    bool disableMessageBox_;
    bool enableHtml_;
    MailCharset mailCharset_;
    FeedMailboxPointer mailbox_ = std::make_shared<FeedMailbox>();
    // The document as last parsed, kept so that a 304 needs no parse.
    std::shared_ptr<const Feed> parsed_;
    std::shared_ptr<const RssHandler> previous_;
    std::vector<SentRecord> added_;
    SentItemsStore sentItems_;
    TodayFunction today_;
    // A record without last-seen was written before it existed: seen on the day of loading.
    std::chrono::sys_days loadDay_{};
    // The identity key of every message made from the current document.
    std::unordered_map<const MailData*, std::string> identities_;
    // False when an unreadable sentitems.xml could not be moved aside: the next save
    // must not make it the previous good file.
    bool keepPrevious_ = true;
    bool prepared_ = false;
};

using RssHandlerPointer = std::shared_ptr<RssHandler>;
