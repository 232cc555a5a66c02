#pragma once

#include "MailboxMessage.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The largest id length a POP3 client must accept.
constexpr std::size_t kMaxUidLength = 70;

// The mailbox of one session: the messages of its parts (one per feed), part by part in
// order. Message numbers are fixed when it is formed; DELE leaves a gap, never renumbers.
class Mailbox {
public:
    // How a part records the messages deleted in the session at QUIT, in two steps so
    // that the parts record all or nothing: prepare writes the new records beside the
    // old ones and returns "" or the reason it failed; install puts them in place (""
    // or the reason); discard drops what prepare wrote. Once installed, delivered is
    // told which messages are now recorded, so their stored copies can go. A part
    // without prepare records nothing.
    using MessageList = std::vector<MailboxMessagePointer>;
    struct Part {
        MessageList messages;
        std::function<std::string(const MessageList& deleted)> prepare = {};
        std::function<std::string()> install = {};
        std::function<void()> discard = {};
        std::function<void(const MessageList& deleted)> delivered = {};
    };
    // One numbered message: number n is entry n - 1.
    struct Entry {
        MailboxMessagePointer message;
        std::string uid;  // unique in the mailbox
        std::size_t part = 0;  // kRecorded once its deletion is recorded
        bool deleted = false;
    };

    static constexpr std::size_t kRecorded = static_cast<std::size_t>(-1);

    Mailbox() = default;
    // Numbers the messages from 1 across the parts and makes their ids unique.
    explicit Mailbox(std::vector<Part> parts);
    Mailbox(Mailbox&&) = default;
    Mailbox& operator=(Mailbox&&) = default;
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // Messages not deleted.
    int Count() const { return count_; }
    // Every entry, deleted ones included, in number order.
    const std::vector<Entry>& Entries() const { return entries_; }
    // The message numbered n, or null when there is none or it is deleted.
    const Entry* Find(int n) const;

    // False, and nothing changes, when no message bears n.
    bool Delete(int n);
    // RSET: every message deleted in this session is there again with its number.
    void Reset();
    // Records every part's deletions: "" when all are recorded, else the reason (one
    // line). Every part prepares first; when one fails, the prepared ones are discarded
    // and nothing is recorded. Then every part installs; a part whose install fails
    // (a rename beside the file, after its data is on disk) is discarded and its reason
    // returned, while the parts installed keep their deletions.
    std::string Commit();

private:
    MessageList DeletedOf(std::size_t part) const;

    std::vector<Part> parts_;
    std::vector<Entry> entries_;
    int count_ = 0;
};

// Printable ASCII without space, at most kMaxUidLength bytes, never empty.
std::string CleanUid(std::string uid);
