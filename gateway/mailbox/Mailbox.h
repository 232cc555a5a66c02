#pragma once

#include "FeedMailbox.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The largest id length a POP3 client must accept.
constexpr std::size_t kMaxUidLength = 70;

// The mailbox of one session: the pending messages of its parts, part by part in
// order. Message numbers are fixed when it is formed; DELE leaves a gap, never renumbers.
class Mailbox {
public:
    // How a part records its deleted list at QUIT, in two steps so that the parts record
    // all or nothing: prepare writes the new records beside the old ones and returns ""
    // or the reason it failed; install puts them in place ("" or the reason); discard
    // drops what prepare wrote. A part without prepare records nothing.
    struct Part {
        FeedMailboxPointer messages;
        std::function<std::string()> prepare = {};
        std::function<std::string()> install = {};
        std::function<void()> discard = {};
    };

    Mailbox() = default;
    // Numbers the pending messages from 1 across the parts and makes their ids unique.
    explicit Mailbox(std::vector<Part> parts);
    Mailbox(Mailbox&&) = default;
    Mailbox& operator=(Mailbox&&) = default;
    // One mailbox per session: a copy would share the parts without their owner knowing.
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    int Count() const;
    long long TotalSize() const;
    // Every pending message in mailbox order.
    std::vector<MailDataPointer> Messages() const;
    // The pending message numbered n, or null.
    MailDataPointer Find(int n) const;

    // False, and nothing changes, when no pending message bears n.
    bool Delete(int n);
    // RSET: every message deleted in this session is pending again with its number.
    void Reset();
    // After a recorded QUIT, for a mailbox whose parts serve a later session too.
    void KeepDeletions();
    // Records every part's deleted list: "" when all are recorded, else the reason (one
    // line). Every part prepares first; when one fails, the prepared ones are discarded
    // and nothing is recorded. Then every part installs; a part whose install fails
    // (a rename beside the file, after its data is on disk) is discarded and its reason
    // returned, while the parts installed keep their deletions, so a reset after the
    // failure brings back only what was not recorded.
    std::string Commit();

private:
    // The part that numbers n, if any part can.
    const Part* PartOf(int n) const;

    std::vector<Part> parts_;
    // The first number of each part, in part order.
    std::vector<int> starts_;
};

// The octets RETR sends for the message, its terminating ".CRLF" line not counted: the
// size LIST and STAT give (RFC 1939).
long long MessageOctets(MailData& message);

// Printable ASCII without space, at most kMaxUidLength bytes, never empty.
std::string CleanUid(std::string uid);
