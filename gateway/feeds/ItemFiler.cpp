#include "ItemFiler.h"

#include "ItemIdentity.h"
#include "LegacyRecordMatch.h"

#include <unordered_set>

FiledItems ItemFiler::File(const Feed& parsed, SentItemsStore& records) const {
    // Atom entries are recognised by their date too; RSS items only when dated by time.
    const bool compareDate = parsed.format == FeedFormat::Atom;
    struct Filing {
        const FeedItem* item;
        MailDataPointer message;
        bool withDate;
        bool delivered;
    };
    std::vector<Filing> filings;
    filings.reserve(parsed.items.size());
    FiledItems filed;
    filed.identities.reserve(parsed.items.size());
    std::unordered_set<std::string> identities;
    identities.reserve(parsed.items.size());
    for (const FeedItem& item : parsed.items) {
        ItemIdentity identity = IdentifyItem(item);
        if (!identities.insert(identity.key).second) continue;
        MailDataPointer message = MakeItemMessage(item, form_);
        // Subject and link always; the date too for Atom entries and for dated RSS items.
        const bool withDate = compareDate || message->HasTime();
        const bool delivered =
            records.MatchIdentity(identity.key) || MatchLegacyRecord(records, item, *message, true);
        filed.identities.emplace(message.get(), std::move(identity.key));
        filings.push_back({&item, std::move(message), withDate, delivered});
    }
    // Then, for items whose date earlier versions did not compare, a record with the
    // same subject and link that no item of the same date took.
    for (Filing& filing : filings) {
        if (!filing.delivered && !filing.withDate)
            filing.delivered = MatchLegacyRecord(records, *filing.item, *filing.message, false);
    }
    for (Filing& filing : filings) {
        (filing.delivered ? filed.delivered : filed.pending).push_back(std::move(filing.message));
    }
    return filed;
}
