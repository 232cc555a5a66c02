#pragma once

// A mailbox message whose text is given, for tests of the mailbox and the session.

#include "MailboxMessage.h"

#include <memory>
#include <string>

class TextMessage : public MailboxMessage {
public:
    TextMessage(std::string uid, std::string text, std::uint64_t dotLines)
        : MailboxMessage(std::move(uid), text.size(), dotLines), text_(std::move(text)) {}
    bool ReadText(std::string& text, std::string& error) const override {
        if (text_ == kUnreadable) {
            error = "gone";
            return false;
        }
        text = text_;
        return true;
    }
    // A message whose text cannot be read back.
    static constexpr const char* kUnreadable = "\x01unreadable";

private:
    std::string text_;
};

inline MailboxMessagePointer MakeTextMessage(const std::string& uid, const std::string& text) {
    std::uint64_t dots = !text.empty() && text[0] == '.';
    for (std::size_t at = text.find("\n."); at != std::string::npos; at = text.find("\n.", at + 1)) ++dots;
    return std::make_shared<TextMessage>(uid, text, dots);
}
