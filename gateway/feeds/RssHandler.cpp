#include "RssHandler.h"

#include "AtomicFile.h"
#include "EncodingNormaliser.h"
#include "FeedDownload.h"
#include "FeedFolder.h"
#include "InternetSession.h"
#include "Log.h"
#include "Paths.h"
#include "SafeUrl.h"
#include "Trace.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), {});
    return !file.bad();
}

void AppendField(std::string& out, const std::string& field) {
    // Length first, so that no two field lists run together into the same bytes.
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

}  // namespace

RssHandler::RssHandler(GatewayContext& context, std::string url, bool disableMessageBox,
                       bool enableHtml, MailCharset mailCharset, TodayFunction today)
    : context_(context),
      feed_(std::make_shared<Feed>()),
      disableMessageBox_(disableMessageBox),
      enableHtml_(enableHtml),
      mailCharset_(mailCharset),
      today_(std::move(today)) {
    feed_->url = std::move(url);
}

std::string RssHandler::FeedFolder() const {
    if (folderName_.empty()) return GetFeedFolderPath(context_.Layout().stateDir, feed_->url);
    return JoinPath(context_.Layout().stateDir, "data/" + folderName_ + "/");
}

void RssHandler::LogFailure(const std::string& text) {
    context_.Log(text);
    context_.FeedFailed();
}

void RssHandler::Download(InternetSession& session) {
    BeginDownload();
    FeedTransfer transfer(feed_->url, FeedFolder());
    transfer.Setup(session);
    FinishDownload(transfer.Perform());
}

void RssHandler::BeginDownload() {
    LoadSentItems();
    MakeSureDirectoryPathExists(FeedFolder());
}

void RssHandler::FinishDownload(const FeedTransferResult& result) {
    using Outcome = FeedTransferResult::Outcome;
    // As the log shows it: without credentials, and as one line.
    const std::string url = LogPiece(UrlWithoutCredentials(feed_->url));
    const std::string folder = FeedFolder();
    const std::string latest = folder + "latest.xml";
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
            Parse();
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
    std::string error;
    std::string repairNote;
    if (auto converted = NormaliseJapaneseEncoding(body, &repairNote)) body = std::move(*converted);
    // Synced like the validators below: a latest.xml lost in a crash while its
    // validators survive would be answered with 304 and its items never offered.
    const bool stored = ReplaceFileAtomically(latest, body, error);
    if (!stored) {
        LogFailure("latest.xmlを保存できませんでした。\nURL: " + url + "\n\n");
        // The items of the reply are offered all the same, from memory if need be;
        // without the copy no validators are kept, so the next check downloads again.
        std::remove((folder + "lastmodified.txt").c_str());
        std::remove((folder + "etag.txt").c_str());
        if (!body.empty()) ParseDocument(body, result.contentType);
        return;
    }
    if (!result.lastModified.empty())
        ReplaceFileAtomically(folder + "lastmodified.txt", result.lastModified, error);
    // The ETag names the copy just stored; a reply without one leaves none to send back.
    if (!result.etag.empty())
        ReplaceFileAtomically(folder + "etag.txt", result.etag, error);
    else
        std::remove((folder + "etag.txt").c_str());
    // Bytes the declared encoding has no character for became U+FFFD: a repair, logged.
    if (!repairNote.empty()) context_.Log("フィードを修復して読み込みました。\n" + repairNote + "\nURL: " + url + "\n\n");
    ParseDocument(body, result.contentType);
}

void RssHandler::ConvertLatest(std::string_view encodingName, std::string_view converterOptions) {
    const std::string latest = FeedFolder() + "latest.xml";
    std::string bytes;
    if (!ReadWholeFile(latest, bytes)) return;
    std::string error;
    if (auto converted = NormaliseEncoding(bytes, encodingName, converterOptions))
        ReplaceFileAtomically(latest, *converted, error);
}

void RssHandler::ConvertFromEucJp() { ConvertLatest("EUC-JP", "-Ew"); }

void RssHandler::ConvertFromShiftJis() { ConvertLatest("SHIFT-JIS", "-Sw"); }

void RssHandler::ConvertFromIso2022Jp() { ConvertLatest("ISO-2022-JP", "-Jw"); }

std::string RssHandler::MakeUid(const std::string& feedUrl, const MailData& message) {
    return MakeUid(feedUrl, message.GetSubject(), message.GetLink(), message);
}

std::string RssHandler::MakeUid(const std::string& feedUrl, const std::string& subject,
                                const std::string& link, const MailData& message) {
    std::string key;
    AppendField(key, feedUrl);
    AppendField(key, subject);
    AppendField(key, link);
    // An undated item keeps its id when only the construction time of its date changes.
    // The date text is the one earlier versions wrote, so that ids stay as they were.
    if (message.HasTime()) AppendField(key, message.GetLegacyDate());
    char uid[48];
    std::snprintf(uid, sizeof uid, "%020llu%020llu", HashText(key, 1), HashText(key, 2));
    return uid;
}
