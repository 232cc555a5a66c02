#include "RssHandler.h"

#include "EncodingNormaliser.h"
#include "FeedDownload.h"
#include "FeedFolder.h"
#include "FeedParser.h"
#include "ItemFiler.h"
#include "LatestDocument.h"
#include "Log.h"
#include "MailHeaders.h"
#include "Paths.h"
#include "SafeUrl.h"
#include "Trace.h"

namespace {

const char kUnexpectedFormat[] = "RSSの解析に失敗しました。\n予期しない書式です。\nURL: ";

}  // namespace

RssHandler::RssHandler(GatewayContext& context, std::string url, bool /*disableMessageBox*/, bool enableHtml,
                       MailCharset mailCharset, TodayFunction today)
    : context_(context),
      feed_(std::make_shared<Feed>()),
      enableHtml_(enableHtml),
      mailCharset_(mailCharset),
      records_(context, url, std::move(today)) {
    feed_->url = std::move(url);
    records_.UseFolder(FeedFolder());
}

std::string RssHandler::FeedFolder() const {
    if (folderName_.empty()) return GetFeedFolderPath(context_.Layout().stateDir, feed_->url);
    return JoinPath(context_.Layout().stateDir, "data/" + folderName_ + "/");
}

void RssHandler::UseFolder(std::string name) {
    folderName_ = std::move(name);
    records_.UseFolder(FeedFolder());
}

void RssHandler::LogFailure(const std::string& text) {
    context_.Log(text);
    context_.FeedFailed();
}

void RssHandler::BeginDownload() {
    LoadSentItems();
    MakeSureDirectoryPathExists(FeedFolder());
}

void RssHandler::FinishDownload(const FeedTransferResult& result) {
    using Outcome = FeedTransferResult::Outcome;
    // As the log shows it: without credentials, and as one line.
    const std::string url = LogPiece(UrlWithoutCredentials(feed_->url));
    switch (result.outcome) {
        case Outcome::NoConnection:
            Trace("hconnect==NULL");
            return;
        case Outcome::OpenFailed:
            LogFailure("HttpOpenRequestに失敗。\nURL: " + url + "\n\n");
            return;
        case Outcome::SendFailed:
            Trace("HttpSendRequest: " + result.detail + ": " + url);
            LogFailure("HttpSendRequest()に失敗。\nURL: " + url + "\n\n");
            return;
        case Outcome::Replied:
            break;
    }
    if (result.status == 304) {
        // The stored copy is still the feed. Its items as the last parse made them are
        // filed again against the records read now; only after a restart is it parsed.
        if (previous_ && previous_->parsed_) {
            parsed_ = previous_->parsed_;
            previous_.reset();
            FileItems(*parsed_);
        } else {
            ParseStoredCopy();
        }
        return;
    }
    if (result.status != 200 && result.status != 0) {
        LogFailure("HTTPステータス: " + std::to_string(result.status) + " " + LogPiece(result.statusText) +
                   "\nURLが正しいかどうか確認してください。\nURL: " + url + "\n\n");
        return;
    }
    previous_.reset();
    if (!result.lastModified.empty()) Trace("最終更新時刻[" + result.lastModified + "]");
    // The reply is normalised in memory, stored as latest.xml in the form it is parsed
    // in, and parsed from memory.
    std::string body = result.body;
    std::string repairNote;
    if (auto converted = NormaliseJapaneseEncoding(body, &repairNote)) body = std::move(*converted);
    std::string error;
    if (!LatestDocument(FeedFolder()).Replace(body, result.lastModified, result.etag, error)) {
        LogFailure("latest.xmlを保存できませんでした。\nURL: " + url + "\n\n");
        // The items of the reply are offered all the same, from memory; without the
        // copy no validators are kept, so the next check downloads again.
        if (!body.empty()) ParseDocument(body, result.contentType);
        return;
    }
    // Bytes the declared encoding has no character for became U+FFFD: a repair, logged.
    if (!repairNote.empty()) context_.Log("フィードを修復して読み込みました。\n" + repairNote + "\nURL: " + url + "\n\n");
    ParseDocument(body, result.contentType);
}

void RssHandler::ParseStoredCopy() {
    if (const std::optional<std::string> bytes = LatestDocument(FeedFolder()).Read()) ParseDocument(*bytes, "");
}

void RssHandler::ParseDocument(std::string_view bytes, const std::string& contentType) {
    FeedParseResult result = ParseFeed(bytes, FeedSource{feed_->url, contentType});
    const std::string url = LogPiece(UrlWithoutCredentials(feed_->url));
    if (!result.ok) {
        Trace("Parse Error! : " + UrlWithoutCredentials(feed_->url) + " (" + result.error + ")");
        // An rss element without a channel gives nothing, but is no format error.
        if (result.feed.format != FeedFormat::Rss2) LogFailure(kUnexpectedFormat + url + "\n\n");
        return;
    }
    if (!result.notes.empty()) {
        std::string entry = "フィードを修復して読み込みました。\n";
        for (const auto& note : result.notes) entry += LogPiece(note) + "\n";
        context_.Log(entry + "URL: " + url + "\n\n");
    }
    parsed_ = std::make_shared<const Feed>(std::move(result.feed));
    FileItems(*parsed_);
}

void RssHandler::FileItems(const Feed& parsed) {
    feed_->title = parsed.title;
    feed_->format = parsed.format;
    feed_->hints = parsed.hints;
    ItemMessageForm form;
    form.feedUrl = feed_->url;
    form.senderAddress = FeedSenderAddress(folderName_.empty() ? GetFeedFolderName(feed_->url) : folderName_);
    form.enableHtml = enableHtml_;
    form.mailCharset = mailCharset_;
    FiledItems filed = ItemFiler(std::move(form)).File(parsed, records_.Loaded());
    identities_ = std::move(filed.identities);
    for (auto& message : filed.delivered) mailbox_->AddDelivered(std::move(message));
    for (auto& message : filed.pending) mailbox_->AddPending(std::move(message));
}

std::string RssHandler::IdentityOf(const MailData& message) const {
    const auto found = identities_.find(&message);
    return found == identities_.end() ? std::string() : found->second;
}

void RssHandler::AppendDeliveredRecords(std::vector<SentRecord>& records) const {
    records.reserve(records.size() + mailbox_->Deleted().size());
    for (const auto& message : mailbox_->Deleted())
        records.push_back({message->GetSubject(), message->GetLink(), message->GetDate(), "", IdentityOf(*message)});
}

std::string RssHandler::PrepareSentItems(const std::vector<SentRecord>& deleted) {
    std::vector<SentRecord> recognised = released_;
    AppendDeliveredRecords(recognised);
    return records_.Prepare(recognised, deleted);
}

void RssHandler::ReleaseMessages() {
    AppendDeliveredRecords(released_);
    mailbox_->Clear();
    identities_ = {};
}
