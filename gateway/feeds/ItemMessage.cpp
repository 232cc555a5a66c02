#include "ItemMessage.h"

#include "ItemUid.h"
#include "SafeUrl.h"

#include <string_view>
#include <vector>

namespace {

// "enclosure: URL (type, N bytes)", one line per enclosure, after the body.
std::string EnclosureLines(const std::vector<FeedEnclosure>& enclosures) {
    std::string lines;
    for (const auto& enclosure : enclosures) {
        // Resolved against the feed's URL, it may carry the feed's user name and password.
        lines += "\nenclosure: " + UrlWithoutCredentials(enclosure.url);
        std::string details = enclosure.type;
        if (enclosure.length >= 0) {
            if (!details.empty()) details += ", ";
            details += std::to_string(enclosure.length) + " bytes";
        }
        if (!details.empty()) lines += " (" + details + ")";
    }
    return lines.empty() ? lines : "\n" + lines;
}

// The host of a URL, for a feed without a title: no scheme, user, port or path.
std::string HostName(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
    url = url.substr(0, url.find_first_of("/?#"));
    const std::size_t user = url.rfind('@');
    if (user != std::string_view::npos) url.remove_prefix(user + 1);
    if (url.starts_with('[')) return std::string(url.substr(0, url.find(']') + 1));
    return std::string(url.substr(0, url.find(':')));
}

}  // namespace

MailDataPointer MakeItemMessage(const FeedItem& item, const ItemMessageForm& form) {
    auto message = std::make_shared<MailData>(form.enableHtml, form.mailCharset);
    message->SetSender(item.channelTitle.empty() ? HostName(form.feedUrl) : item.channelTitle);
    message->SetSenderAddress(form.senderAddress);
    message->SetSubject(item.title);
    message->SetRawSubject(item.rawTitle);
    message->SetLink(item.link);
    for (const FeedDate& date : item.dates) {
        if (date.w3c) {
            message->ParseW3cDate(date.text);
        } else {
            message->SetDate(date.text);
        }
    }
    for (const FeedBodyPiece& piece : item.body) message->AddBody(piece.text, piece.isHtml);
    if (!item.enclosures.empty()) message->AddBody(EnclosureLines(item.enclosures), false);
    // The id stays what it was before links were resolved and before items had an
    // identity, so a client that leaves mail on the server does not fetch one twice.
    const std::string& uidTitle = !item.legacyTitle.empty() ? item.legacyTitle
                                  : item.rawTitle ? *item.rawTitle
                                                  : item.title;
    message->SetUid(MakeItemUid(form.feedUrl, uidTitle, item.rawLink.empty() ? item.link : item.rawLink, *message));
    return message;
}
