#pragma once

#include "Feed.h"
#include "MailData.h"

#include <memory>
#include <string>
#include <vector>

class InternetSession;

// One feed of the current refresh. Its pending messages are its part of the mailbox;
// the deleted list holds items recognised as delivered plus messages deleted in the
// session, and is what QUIT records in sentitems.xml.
class RssHandler {
public:
    RssHandler(std::string url, bool disableMessageBox, bool enableHtml);

    // Loads sentitems.xml, fetches the feed, normalises its encoding and parses it.
    void Download(InternetSession& session);

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
    FeedPointer feed_;
    bool disableMessageBox_;
    bool enableHtml_;
    std::vector<MailDataPointer> pending_;
    std::vector<MailDataPointer> deleted_;
    std::vector<MailDataPointer> sentItems_;
    // How many entries at the end of deleted_ were deleted by DELE in this session.
    size_t deletedInSession_ = 0;
};

using RssHandlerPointer = std::shared_ptr<RssHandler>;
