#pragma once

#include "Feed.h"
#include "ItemMessage.h"
#include "MailData.h"
#include "SentItemsStore.h"

#include <string>
#include <unordered_map>
#include <vector>

// The items of one parsed document, each made a message (MakeItemMessage) and filed as
// pending or as delivered, in document order.
struct FiledItems {
    std::vector<MailDataPointer> pending;
    std::vector<MailDataPointer> delivered;
    // The identity key (ItemIdentity) of every message made.
    std::unordered_map<const MailData*, std::string> identities;
};

// Files the items of a feed's documents against the feed's delivered records: a
// record of this version knows its item by its identity only; one of an earlier
// version by its texts (MatchLegacyRecord), the same date first.
class ItemFiler {
public:
    explicit ItemFiler(ItemMessageForm form) : form_(std::move(form)) {}

    // An item the document gives twice is one item: filed, offered and recorded once.
    // Every record an item matches is marked, so a save keeps only the others as
    // records of items the document lacks.
    FiledItems File(const Feed& parsed, SentItemsStore& records) const;

private:
    ItemMessageForm form_;
};
