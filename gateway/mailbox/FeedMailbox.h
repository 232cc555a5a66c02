#pragma once

#include "MailData.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One feed's part of the mailbox. The pending messages are offered to the client; the
// deleted list holds the items recognised as delivered before plus the messages deleted
// in this session, and is what the commit records as delivered. Finding, deleting and
// undeleting a message take the same time however many there are.
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
    void KeepDeletions() { deletedInSession_.clear(); }

    // The pending messages in list order; valid until the next change.
    const std::vector<MailDataPointer>& Pending() const;
    std::size_t PendingCount() const { return pendingCount_; }
    const std::vector<MailDataPointer>& Deleted() const { return deleted_; }

private:
    // Every message filed as pending, in list order; gone_ marks those deleted since.
    std::vector<MailDataPointer> offered_;
    std::vector<bool> gone_;
    std::size_t pendingCount_ = 0;
    // The positions in offered_ of the messages numbered first_, first_ + 1, ...
    int first_ = 1;
    std::vector<std::uint32_t> numbered_;
    std::vector<MailDataPointer> deleted_;
    // Pending() as last made; remade after a change, when asked for (one session's
    // thread at a time uses a mailbox).
    mutable std::vector<MailDataPointer> pending_;
    mutable bool pendingStale_ = false;
    // Positions in offered_ of the messages this session deleted, in deletion order:
    // the last entries of deleted_. Delivered items are all filed before a session.
    std::vector<std::uint32_t> deletedInSession_;
};

using FeedMailboxPointer = std::shared_ptr<FeedMailbox>;
