// sentitems.xml: the records of items delivered before, read at every download and
// rewritten at QUIT.
#include "RssHandler.h"

#include "AtomicFile.h"
#include "Log.h"
#include "SafeUrl.h"

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
                   loaded.error + "\nURL: " + LogPiece(UrlWithoutCredentials(feed_->url)) + "\n\n");
    }
}

std::vector<SentRecord> RssHandler::SentItems() const {
    std::vector<SentRecord> records;
    if (!sentItems_.Path().empty()) SentItemsStore::ReadRecords(sentItems_.Path(), records);
    return records;
}

std::string RssHandler::IdentityOf(const MailData& message) const {
    const auto found = identities_.find(&message);
    return found == identities_.end() ? std::string() : found->second;
}

namespace {

// Texts a record of an earlier version may hold for an item.
struct RecordTexts {
    std::string subject;
    std::string link;
    std::string date;
};

// What earlier versions recorded for the item, most likely first: the texts of the
// message, and those read before links were resolved or entities decoded (the parser
// gives them when they differ). More candidates go at the end of the list.
std::vector<RecordTexts> LegacyRecordTexts(const FeedItem& item, const MailData& message) {
    const std::string subject = message.GetSubject();
    const std::string link = message.GetLink();
    const std::string date = message.GetDate();
    const std::string& oldSubject = item.legacyTitle.empty() ? subject : item.legacyTitle;
    const std::string& oldLink = item.rawLink.empty() ? link : item.rawLink;
    std::vector<RecordTexts> texts{{subject, link, date}};
    auto add = [&texts](const std::string& s, const std::string& l, const std::string& d) {
        for (const auto& t : texts) {
            if (t.subject == s && t.link == l && t.date == d) return;
        }
        texts.push_back({s, l, d});
    };
    add(oldSubject, oldLink, date);
    add(subject, oldLink, date);
    add(oldSubject, link, date);
    // Versions before dates were written as RFC 5322 dates and titles were read whole
    // recorded the date text as they wrote it and the title's first node as written.
    const std::optional<std::string>& rawSubject = message.GetRawSubject();
    const std::string legacyDate = message.GetLegacyDate();
    std::vector<const std::string*> subjects{&subject, &oldSubject};
    if (rawSubject) subjects.push_back(&*rawSubject);
    std::vector<const std::string*> dates{&date};
    if (legacyDate != date) dates.push_back(&legacyDate);
    for (const std::string* d : dates) {
        for (const std::string* s : subjects) {
            for (const std::string* l : {&link, &oldLink}) add(*s, *l, *d);
        }
    }
    return texts;
}

}  // namespace

bool RssHandler::MatchLegacyRecord(const FeedItem& item, const MailData& message, bool exact) {
    for (const RecordTexts& texts : LegacyRecordTexts(item, message)) {
        if (sentItems_.MatchLegacy(texts.subject, texts.link, texts.date, exact)) return true;
    }
    return false;
}

std::vector<SentRecord> RssHandler::FreshRecords(const std::vector<SentRecord>& deletedInSession) const {
    const std::string seenToday = SentItemsStore::DayText(today_());
    std::vector<SentRecord> records;
    const auto& deleted = mailbox_->Deleted();
    records.reserve(deleted.size() + deletedInSession.size() + added_.size());
    for (const auto& message : deleted)
        records.push_back({message->GetSubject(), message->GetLink(), message->GetDate(), seenToday,
                           IdentityOf(*message)});
    for (const auto* list : {&deletedInSession, &added_}) {
        for (const auto& record : *list)
            records.push_back({record.subject, record.link, record.date, seenToday, record.identity});
    }
    return records;
}

std::string RssHandler::PrepareSentItems(const std::vector<SentRecord>& deleted) {
    prepared_ = false;
    if (mailbox_->Deleted().empty() && deleted.empty() && added_.empty()) return "";
    // Only a complete file, written and synced, replaces the old one: a truncated store
    // would bring every delivered item back.
    // The deleted list first, seen today, then the records of items this document lacks,
    // in their old order, so a feed that answers with fewer items for a while does not
    // bring the others back later.
    std::string file;
    std::string error;
    if (!sentItems_.Compose(FreshRecords(deleted), today_(), loadDay_, file, error))
        return "cannot write sentitems.xml for " + feed_->url + ": " + error;
    if (!WriteFileSynced(PreparedPath(), file, error))
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

bool RssHandler::SaveSentItems(const std::vector<SentRecord>& deleted) {
    if (!PrepareSentItems(deleted).empty()) return false;
    return InstallSentItems().empty();
}
