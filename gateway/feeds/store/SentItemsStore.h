#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One delivered item as sentitems.xml records it; the texts are UTF-8.
struct SentRecord {
    std::string subject;
    std::string link;
    std::string date;
    // UTC "YYYY-MM-DD" of the last save that found the item in the feed's document; ""
    // in files written before records were kept past a document (no last-seen element).
    std::string lastSeen = {};
    bool operator==(const SentRecord&) const = default;
};

// Today's UTC date; passed in so that tests choose the day.
using TodayFunction = std::function<std::chrono::sys_days()>;
std::chrono::sys_days SystemToday();

// The delivered records of one feed: read from its sentitems.xml at every download,
// matched against every parsed item, and written at QUIT from the deleted list plus the
// records of items that have left the feed's document for at most kKeepUnseenDays.
class SentItemsStore {
public:
    // A feed that answers with fewer items for a while must not see the others offered
    // again when they come back.
    static constexpr int kKeepUnseenDays = 90;

    enum class LoadStatus { Missing, Loaded, Unreadable };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        std::string error;  // why an Unreadable file could not be used
    };

    // Replaces the records by those of the file, in file order. A missing file gives no
    // records; so does one that is not well-formed or whose root is not sent-items,
    // which is Unreadable. An item element without a subject, link or date element, or
    // with one that has no child node, leaves that field empty.
    LoadResult Load(const std::string& path);

    // Whether a record says the item was delivered: the same subject and link, and with
    // compareDate also the same date text, byte for byte.
    bool Match(std::string_view subject, std::string_view link, std::string_view date,
               bool compareDate) const {
        return Find(subject, link, date, compareDate).has_value();
    }
    // The position of the first record that matches so, or nullopt.
    std::optional<size_t> Find(std::string_view subject, std::string_view link, std::string_view date,
                               bool compareDate) const;

    // "YYYY-MM-DD", and back; nullopt for any other text.
    static std::string DayText(std::chrono::sys_days day);
    static std::optional<std::chrono::sys_days> ParseDay(std::string_view text);

    const std::vector<SentRecord>& Records() const { return records_; }

    // The file for these records in this order, in the shape the store has always had:
    // UTF-8, pretty printed, one item per record with subject, link and date, and
    // last-seen when the record has one (earlier versions skip it when reading).
    static std::string Serialise(const std::vector<SentRecord>& records);
    // Replaces the file by Serialise(records), synced; false with the system's reason
    // when it could not be written (the old file then stays as it was).
    static bool Save(const std::string& path, const std::vector<SentRecord>& records, std::string& error);
    // Moves an unreadable file to path + ".bad", so that the next save does not
    // overwrite the records it may still hold; false when it could not be moved.
    static bool SetAside(const std::string& path);

private:
    std::vector<SentRecord> records_;
    // Record positions by subject and link, each bucket in file order.
    std::unordered_map<std::string, std::vector<size_t>> index_;
};
