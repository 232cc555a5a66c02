#include "ItemUid.h"

#include "FeedFolder.h"

#include <cstdio>

namespace {

void AppendField(std::string& out, const std::string& field) {
    // Length first, so that no two field lists run together into the same bytes.
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

}  // namespace

std::string MakeItemUid(const std::string& feedUrl, const MailData& message) {
    return MakeItemUid(feedUrl, message.GetSubject(), message.GetLink(), message);
}

std::string MakeItemUid(const std::string& feedUrl, const std::string& subject, const std::string& link,
                        const MailData& message) {
    std::string key;
    AppendField(key, feedUrl);
    AppendField(key, subject);
    AppendField(key, link);
    // An undated item keeps its id when only the construction time of its date changes.
    if (message.HasTime()) AppendField(key, message.GetLegacyDate());
    char uid[48];
    std::snprintf(uid, sizeof uid, "%020llu%020llu", HashText(key, 1), HashText(key, 2));
    return uid;
}
