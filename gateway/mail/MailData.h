#pragma once

#include <memory>
#include <string>
#include <string_view>

// One mail message built from one feed item. Text fields hold UTF-8; the body holds
// text already converted to ISO-2022-JP.
class MailData {
public:
    explicit MailData(bool htmlEnabled);

    void SetSender(std::string_view sender) { sender_ = sender; }
    void SetUid(std::string_view uid) { uid_ = uid; }
    void SetSubject(std::string_view subject) { subject_ = subject; }
    void SetLink(std::string_view link) { link_ = link; }
    // Verbatim date text (an RFC 822 pubDate, or a stored record); has-time is kept.
    void SetDate(std::string_view date) { date_ = date; }
    // Renders a W3C-DTF value into the date text; may set has-time.
    void ParseW3cDate(std::string_view value);

    std::string GetSender() const { return sender_; }
    std::string GetUid() const { return uid_; }
    std::string GetSubject() const { return subject_; }
    std::string GetLink() const { return link_; }
    std::string GetDate() const { return date_; }
    bool HasTime() const { return hasTime_; }

    int GetNumber() const { return number_; }
    void SetNumber(int number) { number_ = number; }

    // Appends one body piece; HTML pieces are reduced to plain text unless HTML mail is on.
    void AddBody(std::string_view text, bool isHtml);

    // The complete message as RETR sends it, ending in ".\r\n". Composed once, then cached.
    const std::string& GetText();
    int GetSize() { return static_cast<int>(GetText().size()); }

private:
    bool htmlEnabled_;
    bool htmlSeen_ = false;
    std::string date_;
    std::string text_;
    bool hasTime_ = false;
    std::string sender_;
    std::string uid_;
    std::string subject_;
    std::string link_;
    std::string body_;
    int number_ = 0;
};

using MailDataPointer = std::shared_ptr<MailData>;
