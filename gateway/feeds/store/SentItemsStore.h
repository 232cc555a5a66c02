#pragma once

#include "RecordIndex.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One delivered item as sentitems.xml records it; the texts are UTF-8.
struct SentRecord {
    std::string subject;
    std::string link;
    std::string date;
    // UTC "YYYY-MM-DD" of the last save that found the item in the feed's document; ""
    // in files written before records were kept past a document (no last-seen element).
    std::string lastSeen = {};
    // The item's identity key (ItemIdentity); "" in records of earlier versions, which
    // are known by their subject, link and date instead.
    std::string identity = {};
    bool operator==(const SentRecord&) const = default;
};

// Today's UTC date; passed in so that tests choose the day.
using TodayFunction = std::function<std::chrono::sys_days()>;
std::chrono::sys_days SystemToday();

// The delivered records of one feed: read from its sentitems.xml at every download,
// matched against every parsed item, and written at QUIT from the deleted list plus the
// records of items that have left the feed's document for at most kKeepUnseenDays.
//
// Only digests of the records stay in memory (a few dozen bytes per record, whatever
// the texts); a save reads the loaded file again for the texts of the records it keeps.
class SentItemsStore {
public:
    // A feed that answers with fewer items for a while must not see the others offered
    // again when they come back.
    static constexpr int kKeepUnseenDays = 90;
    // A recorded text longer than this is written as its first bytes and a digest of
    // the whole (see BoundedText), so every file the store writes reads back.
    static constexpr std::size_t kMaxTextBytes = 4096;

    enum class LoadStatus { Missing, Loaded, Unreadable };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        std::string error;  // why an Unreadable file could not be used
    };

    // Replaces the records by those of the file. A missing file gives no records; so
    // does one that is not well-formed or whose root is not sent-items, which is
    // Unreadable. An item element without a subject, link or date element, or with one
    // that has no child node, leaves that field empty.
    LoadResult Load(const std::string& path);
    // The records of a file in file order, texts included (Load's rules).
    static LoadResult ReadRecords(const std::string& path, std::vector<SentRecord>& records);

    std::size_t Size() const { return entries_.size(); }
    // The memory the loaded records take.
    std::size_t HeldBytes() const {
        return entries_.capacity() * sizeof(Entry) + byIdentity_.HeldBytes() + loose_.HeldBytes() + exact_.HeldBytes();
    }
    // The file the records were loaded from; "" when none was.
    const std::string& Path() const { return path_; }

    // The record that carries this identity key, marked as matched; nullopt when none.
    std::optional<std::size_t> MatchIdentity(std::string_view identity);
    // Records of earlier versions carry no identity: an item matches one by its subject
    // and link and, with compareDate, its date, byte for byte (as the file gives them
    // back). Each such record is matched by one item at most, the first to ask, so an
    // item that merely shares its subject and link with a delivered one of another date
    // is offered. Only when every record of that subject and link is taken does an item
    // without a compared date share one that another such item took, as earlier
    // versions matched them: those records cannot tell such items apart, and a delivered
    // item must never come back.
    std::optional<std::size_t> MatchLegacy(std::string_view subject, std::string_view link, std::string_view date,
                                           bool compareDate);
    // Whether an unmatched record of an earlier version would match so (nothing is marked).
    bool Match(std::string_view subject, std::string_view link, std::string_view date, bool compareDate) const;
    bool Matched(std::size_t record) const { return entries_[record].matched; }

    // The file a save writes: the fresh records (bounded, as Serialise writes them),
    // then the loaded records no item matched, each with its last-seen day (loadDay for
    // a record without one), unless that is more than kKeepUnseenDays before today.
    // False with the reason when the loaded file cannot be read again.
    bool Compose(const std::vector<SentRecord>& fresh, std::chrono::sys_days today, std::chrono::sys_days loadDay,
                 std::string& file, std::string& error) const;

    // "YYYY-MM-DD", and back; nullopt for any other text.
    static std::string DayText(std::chrono::sys_days day);
    static std::optional<std::chrono::sys_days> ParseDay(std::string_view text);

    // The text as a record holds it: characters XML cannot hold made U+FFFD, and a text
    // longer than kMaxTextBytes cut to its first bytes followed by "…" and the digest
    // of the whole, so that the same long text always gives the same record.
    static std::string BoundedText(std::string_view text);

    // The file for these records in this order, in the shape the store has always had:
    // UTF-8, pretty printed, one item per record with subject, link and date, then
    // last-seen and identity when the record has them (earlier versions skip both
    // when reading).
    static std::string Serialise(const std::vector<SentRecord>& records);
    // Moves an unreadable file to path + ".bad", so that the next save does not
    // overwrite the records it may still hold; false when it could not be moved.
    static bool SetAside(const std::string& path);

    using Key = RecordIndex::Key;

private:
    static constexpr std::uint32_t kNone = RecordIndex::kNone;
    struct Entry {
        std::uint64_t fingerprint = 0;  // of the record's texts: is the file still the one loaded?
        std::uint32_t nextLoose = kNone;  // the next legacy record with the same subject and link
        std::uint32_t nextExact = kNone;  // ... and the same date
        bool matched = false;
    };
    std::optional<std::size_t> TakeFirst(RecordIndex& chains, const Key& key, bool loose);
    void Add(const SentRecord& record);
    void Clear();

    std::string path_;  // the file the records were loaded from; "" when none was
    std::vector<Entry> entries_;
    RecordIndex byIdentity_;
    // Records of earlier versions by subject and link, and by subject, link and date:
    // the unmatched ones of each chain in file order.
    RecordIndex loose_;
    RecordIndex exact_;
};
