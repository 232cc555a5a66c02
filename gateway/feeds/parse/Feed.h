#pragma once

#include "FeedHints.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// One piece of an item's body as the document gave it. Pieces are kept apart because a
// plain piece and an HTML piece are rendered differently.
struct FeedBodyPiece {
    std::string text;
    bool isHtml = false;
};

// A date element of an item, in document order: the later one wins, and only a W3C
// value (dc:date, Atom, JSON Feed) can say the item has a time of day.
struct FeedDate {
    std::string text;
    bool w3c = false;
};

// A podcast file or other attachment of an item.
struct FeedEnclosure {
    std::string url;
    std::string type;
    long long length = -1;  // bytes; -1 when the document gives none
};

// One item or entry, as plain values: every URL already resolved against xml:base and
// the document's URL.
struct FeedItem {
    std::string channelTitle;  // the feed title current when the item was read: its sender
    std::string title;         // all its text, trimmed; the plain text of an html or xhtml title
    std::string link;
    // The link exactly as written, when resolving changed it: records made before
    // links were resolved still hold this text.
    std::string rawLink;
    // The title as the earlier parser read it, when it differs: it dropped references
    // to entities the document did not declare (&uuml; under a DOCTYPE).
    std::string legacyTitle;
    // What the document calls the item by (RSS guid, Atom id, JSON Feed id), as
    // written; "" when it gives none. See ItemIdentity.h.
    std::string guid;
    // The title as the version before whole titles read it, when it differs from title:
    // the element's first child node as written (white space around a CDATA section,
    // the markup of an html title, "" for an xhtml title's div). Records made by that
    // version hold this text.
    std::optional<std::string> rawTitle;
    std::vector<FeedDate> dates;
    std::vector<FeedBodyPiece> body;
    std::vector<FeedEnclosure> enclosures;
};

enum class FeedFormat { Unknown, Rss1, Rss2, Atom, JsonFeed };

// One feed of the current refresh: its URL, the title the parser found, and the items of
// the document once parsed.
struct Feed {
    std::string url;
    std::string title;  // sender of every message of the feed; empty until parsed
    FeedFormat format = FeedFormat::Unknown;
    std::vector<FeedItem> items;
    // What the document says about how often to ask for it.
    FeedSchedulingHints hints;
};

using FeedPointer = std::shared_ptr<Feed>;
