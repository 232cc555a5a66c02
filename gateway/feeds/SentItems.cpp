// sentitems.xml: the records of items delivered before, read at every download and
// rewritten from the deleted list at QUIT.
#include "RssHandler.h"

#include "Log.h"
#include "Notifier.h"
#include "ProcessFlags.h"

#include <vector>

namespace {

const char kSaveFailure[] = "データの出力中にエラーが発生しました";

}  // namespace

void RssHandler::LoadSentItems() {
    const std::string path = FeedFolder() + "sentitems.xml";
    const SentItemsStore::LoadResult loaded = sentItems_.Load(path);
    if (loaded.status != SentItemsStore::LoadStatus::Unreadable) return;
    // Moved aside so that its records are not overwritten by the next save.
    const bool moved = SentItemsStore::SetAside(path);
    WriteLog("sentitems.xmlを読み込めませんでした。" +
             std::string(moved ? "sentitems.xml.badに移しました。" : "") + "\n" + loaded.error +
             "\nURL: " + feed_->url + "\n\n");
    g_feedError = true;
}

void RssHandler::FileMessage(MailDataPointer message, bool compareDate, const std::string& legacySubject,
                             const std::string& legacyLink) {
    const std::string subject = message->GetSubject();
    const std::string link = message->GetLink();
    const std::string& oldSubject = legacySubject.empty() ? subject : legacySubject;
    const std::string& oldLink = legacyLink.empty() ? link : legacyLink;
    // The id stays what it was before links were resolved, so a client that leaves mail
    // on the server does not fetch the item twice.
    message->SetUid(MakeUid(feed_->url, oldSubject, oldLink, *message));
    // Subject and link always; the date too for Atom entries and for dated RSS items.
    const bool withDate = compareDate || message->HasTime();
    const std::string date = message->GetDate();
    bool delivered = sentItems_.Match(subject, link, date, withDate);
    // Records made before links were resolved (or entities decoded) hold the texts as
    // that version read them; the next save records the new ones.
    if (!delivered && (!legacySubject.empty() || !legacyLink.empty()))
        delivered = sentItems_.Match(oldSubject, oldLink, date, withDate) ||
                    sentItems_.Match(subject, oldLink, date, withDate) ||
                    sentItems_.Match(oldSubject, link, date, withDate);
    if (delivered) {
        mailbox_->AddDelivered(std::move(message));
    } else {
        mailbox_->AddPending(std::move(message));
    }
}

bool RssHandler::SaveSentItems() {
    const auto& deleted = mailbox_->Deleted();
    if (deleted.empty()) return true;
    std::vector<SentRecord> records;
    records.reserve(deleted.size());
    for (const auto& message : deleted)
        records.push_back({message->GetSubject(), message->GetLink(), message->GetDate()});
    // Only a complete file, written and synced, replaces the old one: a truncated store
    // would bring every delivered item back.
    const bool ok = SentItemsStore::Save(FeedFolder() + "sentitems.xml", records);
    if (!ok) CurrentNotifier().Show(kSaveFailure, "", Notifier::Icon::None, Notifier::Buttons::Ok);
    return ok;
}
