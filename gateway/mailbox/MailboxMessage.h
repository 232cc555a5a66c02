#pragma once

#include <cstdint>
#include <memory>
#include <string>

// One message as a session's mailbox offers it: its id and what LIST and STAT need,
// known without reading the text, which is read only for RETR and TOP.
class MailboxMessage {
public:
    // size: bytes of the text; dotLines: its lines that begin with ".".
    MailboxMessage(std::string uid, std::uint64_t size, std::uint64_t dotLines)
        : uid_(std::move(uid)), size_(size), dotLines_(dotLines) {}
    virtual ~MailboxMessage() = default;

    const std::string& Uid() const { return uid_; }
    std::uint64_t Size() const { return size_; }
    std::uint64_t DotLines() const { return dotLines_; }

    // The message text: every line ends in CR LF, nothing stuffed, no terminating line.
    // False with the reason when it cannot be read.
    virtual bool ReadText(std::string& text, std::string& error) const = 0;

private:
    std::string uid_;
    std::uint64_t size_;
    std::uint64_t dotLines_;
};

using MailboxMessagePointer = std::shared_ptr<const MailboxMessage>;
