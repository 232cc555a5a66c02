#pragma once

#include "Feed.h"
#include "MailData.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class InternetSession;
struct FeedTransferResult;

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class DOMElement;
class DOMNode;
XERCES_CPP_NAMESPACE_END

// One feed of the current refresh. Its pending messages are its part of the mailbox;
// the deleted list holds items recognised as delivered plus messages deleted in the
// session, and is what QUIT records in sentitems.xml.
class RssHandler {
public:
    RssHandler(std::string url, bool disableMessageBox, bool enableHtml);

    // Loads sentitems.xml, fetches the feed, normalises its encoding and parses it.
    void Download(InternetSession& session);

    // Download in two steps, for refreshes that run the transfers of several feeds at
    // once: BeginDownload loads sentitems.xml and makes the feed folder; the caller runs
    // the transfer (FeedTransfer, see FeedDownload.h) on FeedFolder(); FinishDownload
    // handles its result -- log entries, flag, latest.xml, lastmodified.txt -- then
    // normalises and parses. Download is exactly Begin, one transfer, Finish.
    void BeginDownload();
    void FinishDownload(const FeedTransferResult& result);
    // The feed folder, ending in "/".
    std::string FeedFolder() const;

    // Loads the delivered records of sentitems.xml into the sent-items list.
    void LoadSentItems();
    // Rewrites latest.xml to UTF-8 when its first line declares the encoding.
    void ConvertFromEucJp();
    void ConvertFromShiftJis();
    void ConvertFromIso2022Jp();
    // Turns the items of latest.xml into messages: pending, or deleted when delivered.
    void Parse();

    // A stable unique id: the same item of the same feed gets the same id at every
    // refresh, so clients that leave mail on the server do not fetch it again.
    static std::string MakeUid(const std::string& feedUrl, const MailData& message);

    // Mailbox operations. Numbers are fixed at refresh; DELE leaves a gap.
    int NumberMessages(int start);
    int GetMessageCount() const;
    long long GetTotalSize() const;
    bool HasMessage(int n) const;
    int GetMessageSize(int n) const;
    std::string GetMessageText(int n) const;
    void DeleteMessage(int n);
    // RSET: the messages deleted in this session return to the pending list in number order.
    void UndeleteMessages();
    // QUIT: rewrites sentitems.xml from the deleted list (untouched when it is empty).
    void SaveSentItems();

    const FeedPointer& GetFeed() const { return feed_; }
    const std::vector<MailDataPointer>& Pending() const { return pending_; }
    const std::vector<MailDataPointer>& Deleted() const { return deleted_; }
    const std::vector<MailDataPointer>& SentItems() const { return sentItems_; }

    // Test and library seam: files a message as pending, as the parser does for a new item.
    void AddPendingForTesting(MailDataPointer message) { pending_.push_back(std::move(message)); }

private:
    bool IsRss2(const XERCES_CPP_NAMESPACE::DOMDocument* document) const;
    bool IsAtom(const XERCES_CPP_NAMESPACE::DOMDocument* document) const;
    void ParseRss1(const XERCES_CPP_NAMESPACE::DOMDocument* document);
    void ParseRss2(const XERCES_CPP_NAMESPACE::DOMDocument* document);
    void ParseAtom(const XERCES_CPP_NAMESPACE::DOMDocument* document);
    void ReadFeedTitle(const XERCES_CPP_NAMESPACE::DOMNode* element);
    void ParseRssItem(const XERCES_CPP_NAMESPACE::DOMNode* item, const std::string& feedTitle);
    void ParseAtomEntry(const XERCES_CPP_NAMESPACE::DOMNode* entry, const std::string& feedTitle);
    // Files a finished message: deleted when a record says it was delivered, else pending.
    void FileMessage(MailDataPointer message, bool compareDate);
    void LogParseFailure();
    void IndexSentItems();

    FeedPointer feed_;
    bool disableMessageBox_;
    bool enableHtml_;
    std::vector<MailDataPointer> pending_;
    std::vector<MailDataPointer> deleted_;
    std::vector<MailDataPointer> sentItems_;
    // How many entries at the end of deleted_ were deleted by DELE in this session.
    size_t deletedInSession_ = 0;
    // Sent-items records by subject and link, each bucket in file order, so a lookup
    // finds the same first match as a walk of the whole list.
    std::unordered_map<std::string, std::vector<size_t>> sentIndex_;
};

using RssHandlerPointer = std::shared_ptr<RssHandler>;
