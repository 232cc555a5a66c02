#include "StoredFeed.h"

#include "MaildirFolderName.h"
#include "SentItemsStore.h"

#include <ctime>
#include <unordered_set>
#include <utility>

StoredFeed::StoredFeed(GatewayContext& context, std::string feedFolder, std::string url, const Settings& settings)
    : context_(context),
      url_(std::move(url)),
      enableHtml_(settings.enableHtml),
      mailCharset_(settings.mailCharset),
      keepDays_(settings.keepDays),
      maildir_(settings.maildir),
      maildirFeedFolders_(settings.maildirFeedFolders),
      store_(std::move(feedFolder)) {}

void StoredFeed::Load() {
    const std::string folder = store_.Path().substr(0, store_.Path().size() - 4);
    SentItemsStore records;
    if (records.Load(folder + "sentitems.xml").status == SentItemsStore::LoadStatus::Unreadable)
        records.Load(folder + "sentitems.xml.bak");
    // A QUIT that recorded its deletions but ended before their files went.
    const std::vector<std::string> problems = store_.Load([&records](const StoredMessage& message) {
        const auto& facts = message.GetFacts();
        return records.MatchIdentity(facts.key).has_value() ||
               records.Match(facts.record.subject, facts.record.link, facts.record.date, facts.compareDate);
    });
    if (url_.empty()) url_ = store_.FeedUrl();
    if (!problems.empty()) {
        std::string entry = "保存したメッセージのうち読めないものを飛ばしました。\n";
        for (const auto& problem : problems) entry += problem + "\n";
        context_.Log(entry + "\n");
    }
    // A feed no longer listed is never filed again: its messages expire here.
    Expire();
}

void StoredFeed::File(const RssHandlerPointer& handler, StoringBreaks* breaks) {
    handler_ = handler;
    if (url_.empty()) url_ = handler->GetFeed()->url;
    const FeedMailbox& filed = *handler->GetMailbox();
    // A message recorded as delivered whose file is still stored (QUIT ended between the
    // record and the removal) goes now.
    std::vector<StoredMessagePointer> recorded;
    for (const auto& message : filed.Deleted()) {
        if (StoredMessagePointer stored = store_.Find(handler->IdentityOf(*message))) recorded.push_back(std::move(stored));
    }
    if (!recorded.empty()) store_.Remove(recorded);
    Expire();

    // The new items are chosen before the first batch: a message a session deletes
    // between two batches is stored already, never among those stored after it.
    std::vector<std::pair<MailDataPointer, std::string>> fresh;
    std::unordered_set<std::string> keys;
    for (const auto& message : filed.Pending()) {
        std::string key = handler->IdentityOf(*message);
        if (store_.Contains(key) || !keys.insert(key).second) continue;
        fresh.emplace_back(message, std::move(key));
    }
    std::vector<MessageStore::NewMessage> batch;
    bool failureLogged = false;
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        MailData& message = *fresh[i].first;
        StoredMessage::Facts facts;
        facts.key = std::move(fresh[i].second);
        facts.uid = message.GetUid();
        facts.feedUrl = url_;
        facts.record = {message.GetSubject(), message.GetLink(), message.GetDate(), "", facts.key};
        facts.compareDate = handler->GetFeed()->format == FeedFormat::Atom || message.HasTime();
        batch.push_back({std::move(facts), std::make_shared<const std::string>(message.GetText())});
        // The store (or the Maildir) keeps the text from here on.
        message.DropText();
        const bool last = i + 1 == fresh.size();
        const bool sessionWaiting = !last && breaks && breaks->SessionWaiting();
        if (!last && !sessionWaiting && batch.size() < kBatch) continue;
        StoreBatch(std::move(batch), failureLogged);
        batch.clear();
        if (sessionWaiting) {
            RecordMaildirDeliveries();
            if (!breaks->LetSessionIn()) {
                handler->ReleaseMessages();
                return;
            }
        }
    }
    RecordMaildirDeliveries();
    // The store (or the Maildir) has every new message now.
    handler->ReleaseMessages();
}

void StoredFeed::StoreBatch(std::vector<MessageStore::NewMessage> batch, bool& failureLogged) {
    if (!maildir_.empty()) batch = DeliverToMaildir(std::move(batch));
    const std::string failure = store_.Add(std::move(batch));
    if (!failure.empty() && !failureLogged) {
        failureLogged = true;
        context_.Log("メッセージを保存できませんでした。この実行中はメモリから配信します。\n" + failure +
                     "\nURL: " + url_ + "\n\n");
        context_.FeedFailed();
    }
}

void StoredFeed::Expire() {
    if (keepDays_ <= 0 || url_.empty()) return;
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) - std::int64_t{keepDays_} * 86400;
    const std::vector<StoredMessagePointer> old = store_.StoredBefore(before);
    if (old.empty()) return;
    RecordsHandler();
    // Recorded first: an expired item still in the feed is not stored again.
    std::vector<SentRecord> records;
    records.reserve(old.size());
    for (const auto& message : old) records.push_back(message->GetFacts().record);
    handler_->AddRecords(records);
    std::string reason = handler_->PrepareSentItems();
    if (reason.empty()) reason = handler_->InstallSentItems();
    if (!reason.empty()) {
        handler_->DiscardSentItems();
        context_.Log("保存期間を過ぎたメッセージを配信済みとして記録できませんでした。\n" + reason + "\nURL: " + url_ + "\n\n");
        return;
    }
    store_.Remove(old);
    context_.Log("保存期間(" + std::to_string(keepDays_) + "日)を過ぎた未配信のメッセージを" +
                 std::to_string(old.size()) + "件削除しました。\nURL: " + url_ + "\n\n");
}

namespace {

// A Maildir on Linux holds LF lines, as Dovecot and mutt write them themselves.
std::string WithLfLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace

std::vector<MessageStore::NewMessage> StoredFeed::DeliverToMaildir(std::vector<MessageStore::NewMessage> messages) {
    std::string error;
    std::optional<Maildir> target = Maildir::Create(maildir_, error);
    if (target && maildirFeedFolders_) {
        std::vector<std::string> names{"Feeds"};
        names.insert(names.end(), listFolders_.begin(), listFolders_.end());
        const std::string title = handler_ ? handler_->GetFeed()->title : std::string();
        names.push_back(title.empty() ? url_ : title);
        target = target->CreateSubfolder(MaildirPlusPlusFolder(names), error);
    }
    if (!target) {
        context_.Log("Maildirに配信できませんでした。POP3で配信します。\n" + error + "\nURL: " + url_ + "\n\n");
        context_.FeedFailed();
        return messages;
    }
    std::vector<std::string> texts;
    std::vector<MaildirMessage> batch;
    texts.reserve(messages.size());
    batch.reserve(messages.size());
    for (const auto& message : messages) texts.push_back(WithLfLines(*message.text));
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const std::string& key = messages[i].facts.key;
        batch.push_back({texts[i], IsMaildirKey(key) ? key : std::string()});
    }
    const std::vector<MaildirDelivery> results = target->DeliverAll(batch);
    std::vector<MessageStore::NewMessage> left;
    std::vector<SentRecord> delivered;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        // A message in new/ whose folder sync failed is there all the same: not sent twice.
        if (results[i].name.empty()) {
            if (error.empty()) error = results[i].error;
            left.push_back(std::move(messages[i]));
        } else {
            delivered.push_back(messages[i].facts.record);
        }
    }
    if (!left.empty()) {
        context_.Log("Maildirに配信できなかったメッセージはPOP3で配信します。\n" + error + "\nURL: " + url_ + "\n\n");
        context_.FeedFailed();
    }
    if (!delivered.empty() && handler_) {
        // Delivered first, recorded then: a crash between the two delivers an item twice,
        // never loses it.
        handler_->AddRecords(delivered);
        deliveriesUnrecorded_ = true;
    }
    return left;
}

void StoredFeed::RecordMaildirDeliveries() {
    if (!deliveriesUnrecorded_) return;
    deliveriesUnrecorded_ = false;
    std::string reason = handler_->PrepareSentItems();
    if (reason.empty()) reason = handler_->InstallSentItems();
    if (!reason.empty()) {
        handler_->DiscardSentItems();
        context_.Log("Maildirに配信したメッセージを記録できませんでした。\n" + reason + "\nURL: " + url_ + "\n\n");
        context_.FeedFailed();
    }
}

RssHandlerPointer StoredFeed::RecordsHandler() {
    if (handler_) return handler_;
    // A feed stored before this start and not downloaded since: its records alone, in
    // this folder (a URL whose name another feed took has a folder of another name).
    handler_ = std::make_shared<RssHandler>(context_, url_, true, enableHtml_, mailCharset_);
    const std::string folder = store_.Path().substr(0, store_.Path().size() - 5);  // without "/mail"
    handler_->UseFolder(folder.substr(folder.rfind('/') + 1));
    handler_->LoadSentItems();
    return handler_;
}

Mailbox::Part StoredFeed::Part() {
    Mailbox::Part part;
    part.messages.assign(store_.Messages().begin(), store_.Messages().end());
    if (url_.empty()) return part;
    RssHandlerPointer handler = RecordsHandler();
    part.prepare = [handler](const Mailbox::MessageList& deleted) {
        std::vector<SentRecord> records;
        records.reserve(deleted.size());
        for (const auto& message : deleted)
            records.push_back(static_cast<const StoredMessage&>(*message).GetFacts().record);
        return handler->PrepareSentItems(records);
    };
    part.install = [handler] { return handler->InstallSentItems(); };
    part.discard = [handler] { handler->DiscardSentItems(); };
    part.delivered = [this](const Mailbox::MessageList& deleted) {
        std::vector<StoredMessagePointer> messages;
        messages.reserve(deleted.size());
        for (const auto& message : deleted)
            messages.push_back(std::static_pointer_cast<const StoredMessage>(message));
        const std::string error = store_.Remove(messages);
        if (!error.empty())
            context_.Log("配信済みのメッセージを削除できませんでした。次の起動で削除します。\n" + error + "\n\n");
    };
    return part;
}
