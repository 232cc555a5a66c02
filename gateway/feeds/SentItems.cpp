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

void RssHandler::FileMessage(MailDataPointer message, bool compareDate) {
    message->SetUid(MakeUid(feed_->url, *message));
    // Subject and link always; the date too for Atom entries and for dated RSS items.
    const bool delivered = sentItems_.Match(message->GetSubject(), message->GetLink(), message->GetDate(),
                                            compareDate || message->HasTime());
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
