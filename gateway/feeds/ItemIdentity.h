#pragma once

#include "Feed.h"

#include <string>
#include <string_view>

// How an item is known from one document of its feed to the next, whatever its texts
// become: its GUID (RSS guid, Atom id, JSON Feed id) when it has one; else its link and
// date; else its link and title; else a digest of everything it says. The way feed
// readers that keep items (newsboat, rss2email, feedparser's users) tell items apart.
//
// The key is 32 lowercase hexadecimal digits (see TextDigest), the same for the same
// item at every refresh and in every version: delivered records carry it, and a store
// may name an item's files by it. Two items of one document with the same key are one
// item given twice.
struct ItemIdentity {
    enum class Basis { Guid, LinkAndDate, LinkAndTitle, Content };
    Basis basis = Basis::Content;
    std::string key;

    bool operator==(const ItemIdentity&) const = default;
};

ItemIdentity IdentifyItem(const FeedItem& item);
