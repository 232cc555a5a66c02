// Turning a feed document into messages: the parse library reads the bytes into a Feed
// value; each of its items becomes one message, filed as pending or as delivered.
#include "RssHandler.h"

#include "FeedFolder.h"
#include "FeedParser.h"
#include "Log.h"
#include "MailHeaders.h"
#include "SafeUrl.h"
#include "Trace.h"

#include <fstream>
#include <iterator>
#include <unordered_set>

namespace {

const char kUnexpectedFormat[] = "RSSの解析に失敗しました。\n予期しない書式です。\nURL: ";

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

void RssHandler::LogParseFailure() {
    LogFailure(kUnexpectedFormat + LogPiece(UrlWithoutCredentials(feed_->url)) + "\n\n");
}

void RssHandler::Parse() {
    std::ifstream file(FeedFolder() + "latest.xml", std::ios::binary);
    if (!file) return;
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    ParseDocument(bytes, "");
}

void RssHandler::ParseDocument(std::string_view bytes, const std::string& contentType) {
    FeedParseResult result = ParseFeed(bytes, FeedSource{feed_->url, contentType});
    if (!result.ok) {
        Trace("Parse Error! : " + UrlWithoutCredentials(feed_->url) + " (" + result.error + ")");
        // An rss element without a channel gives nothing, but is no format error.
        if (result.feed.format != FeedFormat::Rss2) LogParseFailure();
        return;
    }
    if (!result.notes.empty()) {
        std::string entry = "フィードを修復して読み込みました。\n";
        for (const auto& note : result.notes) entry += LogPiece(note) + "\n";
        context_.Log(entry + "URL: " + LogPiece(UrlWithoutCredentials(feed_->url)) + "\n\n");
    }
    parsed_ = std::make_shared<const Feed>(std::move(result.feed));
    FileItems(*parsed_);
}

void RssHandler::FileItems(const Feed& parsed) {
    feed_->title = parsed.title;
    feed_->format = parsed.format;
    feed_->hints = parsed.hints;
    // Atom entries are recognised by their date too; RSS items only when dated by time.
    const bool compareDate = parsed.format == FeedFormat::Atom;
    // One address per feed folder, so that a reader can sort and filter by feed.
    const std::string address = FeedSenderAddress(folderName_.empty() ? GetFeedFolderName(feed_->url) : folderName_);
    const std::string host = HostName(feed_->url);
    struct Filing {
        const FeedItem* item;
        MailDataPointer message;
        bool withDate;
        bool delivered;
    };
    std::vector<Filing> filings;
    filings.reserve(parsed.items.size());
    identities_.clear();
    identities_.reserve(parsed.items.size());
    std::unordered_set<std::string> identities;
    identities.reserve(parsed.items.size());
    for (const FeedItem& item : parsed.items) {
        ItemIdentity identity = IdentifyItem(item);
        // An item the document gives twice is one item: offered and recorded once.
        if (!identities.insert(identity.key).second) continue;
        auto message = std::make_shared<MailData>(enableHtml_, mailCharset_);
        message->SetSender(item.channelTitle.empty() ? host : item.channelTitle);
        message->SetSenderAddress(address);
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
        message->SetUid(MakeUid(feed_->url, uidTitle,
                                item.rawLink.empty() ? item.link : item.rawLink, *message));
        // Subject and link always; the date too for Atom entries and for dated RSS items.
        const bool withDate = compareDate || message->HasTime();
        // A record of this version knows the item by its identity only; one of an
        // earlier version by its texts, the same date first.
        const bool delivered = sentItems_.MatchIdentity(identity.key) || MatchLegacyRecord(item, *message, true);
        identities_.emplace(message.get(), std::move(identity.key));
        filings.push_back({&item, std::move(message), withDate, delivered});
    }
    // Then, for items whose date earlier versions did not compare, a record with the
    // same subject and link that no item of the same date took.
    for (Filing& filing : filings) {
        if (!filing.delivered && !filing.withDate)
            filing.delivered = MatchLegacyRecord(*filing.item, *filing.message, false);
    }
    for (Filing& filing : filings) {
        if (filing.delivered) {
            mailbox_->AddDelivered(std::move(filing.message));
        } else {
            mailbox_->AddPending(std::move(filing.message));
        }
    }
}
