#pragma once

#include "MailData.h"

#include <memory>
#include <vector>

// One feed's items as its last document gave them, each made a message: pending (not
// delivered yet) or delivered (a record in sentitems.xml says so), in feed order.
class FeedMailbox {
public:
    // The parser files each message as it is made, in feed order.
    void AddPending(MailDataPointer message) { pending_.push_back(std::move(message)); }
    void AddDelivered(MailDataPointer message) { deleted_.push_back(std::move(message)); }

    const std::vector<MailDataPointer>& Pending() const { return pending_; }
    // Lets every message go (see RssHandler::ReleaseMessages).
    void Clear() {
        pending_ = {};
        deleted_ = {};
    }
    const std::vector<MailDataPointer>& Deleted() const { return deleted_; }

private:
    std::vector<MailDataPointer> pending_;
    std::vector<MailDataPointer> deleted_;
};

using FeedMailboxPointer = std::shared_ptr<FeedMailbox>;
