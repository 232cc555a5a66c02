#include "DeliveryRecords.h"

#include "AtomicFile.h"
#include "Log.h"
#include "SafeUrl.h"

#include <cstdint>
#include <cstdio>

namespace {

const char kFile[] = "sentitems.xml";

}  // namespace

DeliveryRecords::DeliveryRecords(GatewayContext& context, std::string feedUrl, TodayFunction today)
    : context_(context), feedUrl_(std::move(feedUrl)), today_(std::move(today)) {}

void DeliveryRecords::LogFailure(const std::string& text) {
    context_.Log(text);
    context_.FeedFailed();
}

void DeliveryRecords::Load() {
    const std::string path = folder_ + kFile;
    loadDay_ = today_();
    keepPrevious_ = true;
    const SentItemsStore::LoadResult loaded = store_.Load(path);
    if (loaded.status != SentItemsStore::LoadStatus::Unreadable) return;
    // Moved aside so that its records are not overwritten by the next save.
    const bool moved = SentItemsStore::SetAside(path);
    keepPrevious_ = moved;
    // The file the last save replaced holds every record but that save's.
    const bool fromBackup = store_.Load(path + ".bak").status == SentItemsStore::LoadStatus::Loaded;
    LogFailure("sentitems.xmlを読み込めませんでした。" + std::string(moved ? "sentitems.xml.badに移しました。" : "") +
               std::string(fromBackup ? "sentitems.xml.bakの記録を使います。" : "") + "\n" + loaded.error +
               "\nURL: " + LogPiece(UrlWithoutCredentials(feedUrl_)) + "\n\n");
}

std::string DeliveryRecords::Prepare(const std::vector<SentRecord>& recognised, const std::vector<SentRecord>& deleted) {
    prepared_ = false;
    if (recognised.empty() && deleted.empty() && added_.empty()) return "";
    // The fresh records first, seen today, then the records of items this document
    // lacks, in their old order, so a feed that answers with fewer items for a while
    // does not bring the others back later.
    const std::string seenToday = SentItemsStore::DayText(today_());
    std::vector<SentRecord> fresh;
    fresh.reserve(recognised.size() + deleted.size() + added_.size());
    const std::vector<SentRecord>& added = added_;
    for (const std::vector<SentRecord>* list : {&recognised, &deleted, &added}) {
        for (const auto& record : *list)
            fresh.push_back({record.subject, record.link, record.date, seenToday, record.identity});
    }
    // Only a complete file, written and synced, replaces the old one: a truncated store
    // would bring every delivered item back.
    std::string file;
    std::string error;
    if (!store_.Compose(fresh, today_(), loadDay_, file, error) || !WriteFileSynced(PreparedPath(), file, error))
        return "cannot write sentitems.xml for " + feedUrl_ + ": " + error;
    prepared_ = true;
    return "";
}

std::string DeliveryRecords::Install() {
    if (!prepared_) return "";
    prepared_ = false;
    const std::string path = folder_ + kFile;
    std::string error;
    if (InstallFile(PreparedPath(), path, keepPrevious_ ? path + ".bak" : "", error)) {
        keepPrevious_ = true;
        return "";
    }
    std::remove(PreparedPath().c_str());
    return "cannot replace sentitems.xml for " + feedUrl_ + ": " + error;
}

void DeliveryRecords::Discard() {
    if (!prepared_) return;
    prepared_ = false;
    std::remove(PreparedPath().c_str());
}

std::string DeliveryRecords::PreparedPath() const {
    char tag[32];
    std::snprintf(tag, sizeof tag, ".new-%jx", static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(this)));
    return folder_ + kFile + tag;
}
