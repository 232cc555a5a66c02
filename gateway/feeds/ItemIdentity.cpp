#include "ItemIdentity.h"

#include "TextDigest.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// The date that dates the item: the last date element, as the message's Date takes it.
std::string_view ItemDate(const FeedItem& item) {
    return item.dates.empty() ? std::string_view() : Trimmed(item.dates.back().text);
}

}  // namespace

ItemIdentity IdentifyItem(const FeedItem& item) {
    // Each basis has its own tag, so a GUID never equals a link that reads the same.
    if (const std::string_view guid = Trimmed(item.guid); !guid.empty())
        return {ItemIdentity::Basis::Guid, FieldsDigest({"guid", guid})};
    const std::string_view link = Trimmed(item.link);
    const std::string_view date = ItemDate(item);
    if (!link.empty() && !date.empty())
        return {ItemIdentity::Basis::LinkAndDate, FieldsDigest({"link+date", link, date})};
    if (!link.empty()) return {ItemIdentity::Basis::LinkAndTitle, FieldsDigest({"link+title", link, item.title})};
    std::string content;
    auto add = [&content](std::string_view field) {
        content += std::to_string(field.size());
        content += ':';
        content += field;
    };
    add("content");
    add(item.title);
    add(date);
    for (const FeedBodyPiece& piece : item.body) add(piece.text);
    for (const FeedEnclosure& enclosure : item.enclosures) add(enclosure.url);
    return {ItemIdentity::Basis::Content, TextDigest(content)};
}
