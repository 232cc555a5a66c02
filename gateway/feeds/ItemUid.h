#pragma once

#include "MailData.h"

#include <string>

// The UIDL of an item's message: the same item of the same feed gets the same id at
// every refresh, so a client that leaves mail on the server does not fetch it again.
// Made of the feed's URL, the subject, the link and, for an item dated with a time,
// the date text earlier versions wrote, so that ids stay what they were.
std::string MakeItemUid(const std::string& feedUrl, const MailData& message);
// The same over given subject and link texts (those an earlier version read).
std::string MakeItemUid(const std::string& feedUrl, const std::string& subject, const std::string& link,
                        const MailData& message);
