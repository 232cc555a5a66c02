#pragma once

#include "MailData.h"

#include <cstddef>
#include <memory>
#include <vector>

// One feed's part of the mailbox. The pending messages are offered to the client; the
// deleted list holds the items recognised as delivered before plus the messages deleted
// in this session, and is what the commit records as delivered.
class FeedMailbox {
public:
    // The parser files each message as it is made, in feed order.
    void AddPending(MailDataPointer message);
    void AddDelivered(MailDataPointer message);

    // Gives the pending messages start, start + 1, ... in list order; returns the
    // number after the last one.
    int Number(int start);

    // The pending message numbered n, or null.
    MailDataPointer Find(int n) const;
    // Moves pending message n to the end of the deleted list; the others keep their
    // order and numbers. False, and nothing changes, when no pending message bears n.
    bool Delete(int n);
    // RSET: the messages deleted in this session go back to pending, in number order.
    void Undelete();
    // After a recorded QUIT: this session's deletions become delivered items, which a
    // later session's RSET no longer brings back.
    void KeepDeletions() { deletedInSession_ = 0; }

    const std::vector<MailDataPointer>& Pending() const { return pending_; }
    const std::vector<MailDataPointer>& Deleted() const { return deleted_; }

private:
    std::vector<MailDataPointer> pending_;
    std::vector<MailDataPointer> deleted_;
    // The last deletedInSession_ entries of deleted_ were deleted by this session;
    // delivered items are all filed before the session starts.
    std::size_t deletedInSession_ = 0;
};

using FeedMailboxPointer = std::shared_ptr<FeedMailbox>;
