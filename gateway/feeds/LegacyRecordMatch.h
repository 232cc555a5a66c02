#pragma once

#include "Feed.h"
#include "MailData.h"
#include "SentItemsStore.h"

// Whether a record of an earlier version (one without an identity) says the item of
// this message was delivered: matched by any of the texts a version may have recorded
// for it (the message's, those read before links were resolved or entities decoded, the
// date as versions before RFC 5322 dates wrote it), with the date (exact) or by subject
// and link alone. The record matched is marked, as SentItemsStore::MatchLegacy does.
bool MatchLegacyRecord(SentItemsStore& records, const FeedItem& item, const MailData& message, bool exact);
