#pragma once

#include "Feed.h"
#include "MailData.h"

#include <string>

// How the messages of one feed are made.
struct ItemMessageForm {
    std::string feedUrl;
    // The feed's own address (FeedSenderAddress of its folder name), so that a reader
    // can sort and filter by feed.
    std::string senderAddress;
    bool enableHtml = false;
    MailCharset mailCharset = MailCharset::Auto;
};

// The message of one parsed item: From the item's channel title (the host of the
// feed's URL when it has none), its subject, link, dates and body pieces, a line per
// enclosure after the body, and its UIDL (MakeItemUid).
MailDataPointer MakeItemMessage(const FeedItem& item, const ItemMessageForm& form);
