// sentitems.xml: the records of items delivered before, read at every download and
// rewritten at QUIT.
#include "RssHandler.h"

#include "AtomicFile.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace {

const char kStore[] = "sentitems.xml";

}  // namespace

void RssHandler::LoadSentItems() {
    const std::string path = FeedFolder() + kStore;
    loadDay_ = today_();
    keepPrevious_ = true;
    const SentItemsStore::LoadResult loaded = sentItems_.Load(path);
    if (loaded.status == SentItemsStore::LoadStatus::Unreadable) {
        // Moved aside so that its records are not overwritten by the next save.
        const bool moved = SentItemsStore::SetAside(path);
        keepPrevious_ = moved;
        // The file the last save replaced holds every record but that save's.
        const bool fromBackup = sentItems_.Load(path + ".bak").status == SentItemsStore::LoadStatus::Loaded;
        LogFailure("sentitems.xmlを読み込めませんでした。" +
                   std::string(moved ? "sentitems.xml.badに移しました。" : "") +
                   std::string(fromBackup ? "sentitems.xml.bakの記録を使います。" : "") + "\n" +
                   loaded.error + "\nURL: " + feed_->url + "\n\n");
    }
    matched_.assign(sentItems_.Records().size(), false);
}

void RssHandler::FileMessage(MailDataPointer message, bool compareDate, const std::string& legacySubject,
                             const std::string& legacyLink) {
    const std::string subject = message->GetSubject();
    const std::string link = message->GetLink();
    const std::optional<std::string>& rawSubject = message->GetRawSubject();
    const std::string& oldSubject = !legacySubject.empty() ? legacySubject : rawSubject ? *rawSubject : subject;
    const std::string& oldLink = legacyLink.empty() ? link : legacyLink;
    // The id stays what it was before links were resolved and titles read whole, so a
    // client that leaves mail on the server does not fetch the item twice.
    message->SetUid(MakeUid(feed_->url, oldSubject, oldLink, *message));
    // Subject and link always; the date too for Atom entries and for dated RSS items.
    const bool withDate = compareDate || message->HasTime();
    const std::string date = message->GetDate();
    std::optional<size_t> record = sentItems_.Find(subject, link, date, withDate);
    // Records made before links were resolved (or entities decoded) hold the texts as
    // that version read them; the next save records the new ones.
    if (!record && (!legacySubject.empty() || !legacyLink.empty())) {
        record = sentItems_.Find(oldSubject, oldLink, date, withDate);
        if (!record) record = sentItems_.Find(subject, oldLink, date, withDate);
        if (!record) record = sentItems_.Find(oldSubject, link, date, withDate);
    }
    // Records made before dates were written as RFC 5322 dates and titles were read whole
    // hold the date text and the title's first node as that version wrote them.
    if (!record) {
        const std::string legacyDate = message->GetLegacyDate();
        std::vector<const std::string*> subjects{&subject, &oldSubject};
        if (rawSubject) subjects.push_back(&*rawSubject);
        std::vector<const std::string*> dates{&date};
        if (withDate && legacyDate != date) dates.push_back(&legacyDate);
        for (const std::string* s : subjects) {
            for (const std::string* l : {&link, &oldLink}) {
                for (const std::string* d : dates) {
                    if (!record) record = sentItems_.Find(*s, *l, *d, withDate);
                }
            }
        }
    }
    if (record) {
        if (*record < matched_.size()) matched_[*record] = true;
        mailbox_->AddDelivered(std::move(message));
    } else {
        mailbox_->AddPending(std::move(message));
    }
}

std::vector<SentRecord> RssHandler::RecordsToSave() const {
    const std::chrono::sys_days today = today_();
    const std::string seenToday = SentItemsStore::DayText(today);
    std::vector<SentRecord> records;
    const auto& deleted = mailbox_->Deleted();
    records.reserve(deleted.size() + sentItems_.Records().size());
    for (const auto& message : deleted)
        records.push_back({message->GetSubject(), message->GetLink(), message->GetDate(), seenToday});
    // Then the records of items this document lacks, in their old order, so a feed that
    // answers with fewer items for a while does not bring the others back later.
    const auto& loaded = sentItems_.Records();
    for (size_t i = 0; i < loaded.size(); ++i) {
        if (i < matched_.size() && matched_[i]) continue;
        const std::chrono::sys_days seen = SentItemsStore::ParseDay(loaded[i].lastSeen).value_or(loadDay_);
        if (today - seen > std::chrono::days(SentItemsStore::kKeepUnseenDays)) continue;
        SentRecord kept = loaded[i];
        kept.lastSeen = SentItemsStore::DayText(seen);
        records.push_back(std::move(kept));
    }
    return records;
}

std::string RssHandler::PrepareSentItems() {
    prepared_ = false;
    if (mailbox_->Deleted().empty()) return "";
    // Only a complete file, written and synced, replaces the old one: a truncated store
    // would bring every delivered item back.
    const std::string path = FeedFolder() + kStore;
    std::string error;
    if (!WriteFileSynced(PreparedPath(), SentItemsStore::Serialise(RecordsToSave()), error))
        return "cannot write sentitems.xml for " + feed_->url + ": " + error;
    prepared_ = true;
    return "";
}

std::string RssHandler::InstallSentItems() {
    if (!prepared_) return "";
    prepared_ = false;
    const std::string path = FeedFolder() + kStore;
    std::string error;
    if (InstallFile(PreparedPath(), path, keepPrevious_ ? path + ".bak" : "", error)) {
        keepPrevious_ = true;
        return "";
    }
    std::remove(PreparedPath().c_str());
    return "cannot replace sentitems.xml for " + feed_->url + ": " + error;
}

void RssHandler::DiscardSentItems() {
    if (!prepared_) return;
    prepared_ = false;
    std::remove(PreparedPath().c_str());
}

std::string RssHandler::PreparedPath() const {
    // A feed listed twice has two handlers on one folder; each prepares its own file.
    char tag[32];
    std::snprintf(tag, sizeof tag, ".new-%jx", static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(this)));
    return FeedFolder() + kStore + tag;
}

bool RssHandler::SaveSentItems() {
    if (!PrepareSentItems().empty()) return false;
    return InstallSentItems().empty();
}

Mailbox::Part SentItemsPart(const RssHandlerPointer& handler) {
    return {handler->GetMailbox(), [handler] { return handler->PrepareSentItems(); },
            [handler] { return handler->InstallSentItems(); }, [handler] { handler->DiscardSentItems(); }};
}
