#pragma once

#include "MailBody.h"
#include "MailDate.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One mail message built from one feed item. Text fields hold UTF-8, as the parser gave
// them: the delivered-items records compare subject, link and date text, so those stay
// exactly as read (the date as its RFC 5322 form). Only the composed text renders them
// for mail readers, without control characters (but TAB, CR and LF).
class MailData {
public:
    // firstSeen is the moment the item was first seen: the date of an item that has none
    // of its own, in the machine's time zone.
    explicit MailData(bool htmlEnabled, MailCharset charset = MailCharset::Auto,
                      std::time_t firstSeen = std::time(nullptr));

    // The display name of From: the feed's title.
    void SetSender(std::string_view sender) { sender_ = sender; }
    // The address of From (see FeedSenderAddress); without one, a hash of the sender.
    void SetSenderAddress(std::string_view address) { senderAddress_ = address; }
    void SetUid(std::string_view uid) { uid_ = uid; }
    void SetSubject(std::string_view subject) { subject_ = subject; }
    void SetLink(std::string_view link) { link_ = link; }
    // An RSS pubDate (RFC 822); has-time is kept. A date that cannot be read leaves the
    // Date as it was (a later one does not undo an earlier one that could be read).
    void SetDate(std::string_view pubDate);
    // A W3C-DTF value (dc:date, Atom, JSON Feed); sets has-time when it has a time part.
    void ParseW3cDate(std::string_view value);

    std::string GetSender() const { return sender_; }
    std::string GetUid() const { return uid_; }
    std::string GetSubject() const { return subject_; }
    std::string GetLink() const { return link_; }
    // The Date field's value: "Wed, 09 Dec 2026 16:00:00 +0900", the item's time in its
    // own offset, or the time first seen in the machine's zone.
    std::string GetMailDate() const { return mailDate_; }
    // The date text delivered records hold: the Date when a date of the feed could be
    // read, else the last date element as the feed wrote it (so that it stays the same
    // from one check to the next), else the Date of the time first seen.
    std::string GetDate() const { return dateRead_ || date_.empty() ? mailDate_ : date_; }
    bool HasTime() const { return hasTime_; }

    // Texts versions before this one recorded for the item, which their delivered records
    // hold. The date text as they wrote it: a pubDate verbatim, a W3C-DTF value cut at
    // fixed places ("09 Dec 2026 07:00:00Z"), the local clock labelled "+0900".
    std::string GetLegacyDate() const { return legacyDate_; }
    // The title as the version before this one read it (the element's first child node
    // as written: untrimmed, an html title's markup), when it differs from the subject.
    void SetRawSubject(std::optional<std::string> subject) { rawSubject_ = std::move(subject); }
    const std::optional<std::string>& GetRawSubject() const { return rawSubject_; }

    // Appends one body piece. HTML pieces are rendered as text; with HTML mail on, the
    // message also carries the HTML, cleaned, as the alternative a reader may show.
    void AddBody(std::string_view text, bool isHtml);

    // The complete message: 7-bit, every line ending in CR LF, the last one too. Lines
    // that begin with "." are not stuffed and there is no terminating line: that is the
    // POP3 server's wire form, not the message. Composed once, then cached.
    const std::string& GetText();
    // Lets the cached text go once it is stored elsewhere; GetText composes it again.
    void DropText() { std::string().swap(text_); }

private:
    struct BodyPiece {
        std::string text;
        bool isHtml;
    };

    void TakeDate(std::string_view text, const std::optional<MailInstant>& instant);
    // The body as plain text, in UTF-8 with LF line ends: the link line, the pieces
    // (HTML ones rendered) and the list of the links they refer to.
    std::string PlainBody(const std::string& link) const;
    // The body as cleaned HTML, for the alternative part.
    std::string HtmlBody(const std::string& link) const;

    bool htmlEnabled_;
    bool htmlSeen_ = false;
    MailCharset charset_;
    std::string mailDate_;
    std::string date_;  // the last date element as written, "" while there is none
    bool dateRead_ = false;
    std::string legacyDate_;
    std::string text_;
    bool hasTime_ = false;
    std::optional<std::string> rawSubject_;
    std::string sender_;
    std::string senderAddress_;
    std::string uid_;
    std::string subject_;
    std::string link_;
    std::vector<BodyPiece> body_;
};

using MailDataPointer = std::shared_ptr<MailData>;

// The lines of a message text that begin with "." (the POP3 server stuffs each with
// one more), counted once when the message is stored.
std::uint64_t LinesBeginningWithDot(std::string_view text);
