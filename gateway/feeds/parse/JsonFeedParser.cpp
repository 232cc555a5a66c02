#include "JsonFeedParser.h"

#include "TextUtil.h"

#include <libxml/uri.h>
#include <libxml/xmlmemory.h>

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

using nlohmann::json;

namespace {

// Deeper documents are refused before parsing: no real feed nests this far, and every
// later walk over the value stays well inside the stack.
constexpr int kMaxDepth = 512;

constexpr std::string_view kVersionPrefix = "https://jsonfeed.org/version/1";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view SkipLeadingSpaceAndBom(std::string_view bytes) {
    auto skipSpace = [&] {
        while (!bytes.empty() && IsJsonSpace(bytes.front())) bytes.remove_prefix(1);
    };
    skipSpace();
    if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
    skipSpace();
    return bytes;
}

// The white space of isspace in the C locale.
constexpr std::string_view kSpace = " \t\n\v\f\r";

// Counts brackets outside strings; stops as soon as the limit is passed.
bool NestsDeeperThan(std::string_view bytes, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : bytes) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// The parser's message names the line and column; it can quote a whole bad token, so it
// is cut short, and bytes outside ASCII become '?' to keep the log line readable.
std::string OneLine(std::string_view message) {
    constexpr std::size_t kMaxLength = 200;
    std::string line;
    for (char c : message.substr(0, kMaxLength)) {
        const auto byte = static_cast<unsigned char>(c);
        line += (byte < 0x20 || byte >= 0x7F) ? '?' : c;
    }
    if (message.size() > kMaxLength) line += "...";
    return line;
}

// A member's text, or "" when it is missing or not a string.
std::string StringMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) return {};
    return it->get_ref<const std::string&>();
}

// The first of the members that holds a non-empty string.
const std::string* FirstText(const json& object, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const auto it = object.find(name);
        if (it != object.end() && it->is_string() && !it->get_ref<const std::string&>().empty())
            return &it->get_ref<const std::string&>();
    }
    return nullptr;
}

// The URL against the document's URL; as written when either cannot be read as a URI.
std::string Resolve(std::string_view written, const std::string& base) {
    const std::string reference(Trim(written, kSpace));
    if (base.empty() || reference.empty()) return reference;
    xmlChar* built = xmlBuildURI(reinterpret_cast<const xmlChar*>(reference.c_str()),
                                 reinterpret_cast<const xmlChar*>(base.c_str()));
    if (!built) return reference;
    std::string resolved(reinterpret_cast<const char*>(built));
    xmlFree(built);
    return resolved;
}

long long ByteCount(const json& attachment) {
    const auto it = attachment.find("size_in_bytes");
    if (it == attachment.end()) return -1;
    if (it->is_number_unsigned()) {
        const auto value = it->get<unsigned long long>();
        return value <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                   ? static_cast<long long>(value)
                   : -1;
    }
    if (it->is_number_integer()) {
        const auto value = it->get<long long>();
        return value >= 0 ? value : -1;
    }
    return -1;
}

std::vector<FeedEnclosure> Attachments(const json& item, const std::string& base) {
    std::vector<FeedEnclosure> enclosures;
    const auto list = item.find("attachments");
    if (list == item.end() || !list->is_array()) return enclosures;
    for (const json& attachment : *list) {
        const std::string* url = FirstText(attachment, {"url"});
        if (!url) continue;
        enclosures.push_back({Resolve(*url, base), StringMember(attachment, "mime_type"), ByteCount(attachment)});
    }
    return enclosures;
}

FeedItem ReadItem(const json& item, const Feed& feed, const std::string& base) {
    FeedItem out;
    out.channelTitle = feed.title;
    out.title = StringMember(item, "title");
    // Some feeds give the id as a number; it names the item all the same.
    if (const auto id = item.find("id"); id != item.end()) {
        if (id->is_string()) out.guid = id->get_ref<const std::string&>();
        else if (id->is_number_integer() || id->is_number_unsigned()) out.guid = id->dump();
    }
    if (const std::string* link = FirstText(item, {"url", "external_url"})) {
        out.link = Resolve(*link, base);
        if (out.link != *link) out.rawLink = *link;
    }
    if (const std::string* date = FirstText(item, {"date_published", "date_modified"}))
        out.dates.push_back({*date, true});
    if (const std::string* html = FirstText(item, {"content_html"})) {
        out.body.push_back({*html, true});
    } else if (const std::string* text = FirstText(item, {"content_text", "summary"})) {
        out.body.push_back({*text, false});
    }
    out.enclosures = Attachments(item, base);
    return out;
}

void ReadFeed(const json& top, const FeedSource& source, FeedParseResult& result) {
    if (!top.is_object()) {
        result.error = "not a JSON Feed: the document is not a JSON object";
        return;
    }
    const std::string version = StringMember(top, "version");
    const auto items = top.find("items");
    const bool hasItems = items != top.end() && items->is_array();
    const bool knownVersion = version.starts_with(kVersionPrefix);
    const auto title = top.find("title");
    const bool hasTitle = title != top.end() && title->is_string();
    if (!hasItems && !(knownVersion && hasTitle)) {
        result.error = knownVersion ? "JSON Feed without items and without a title"
                                    : "not a JSON Feed: no JSON Feed version and no items array";
        return;
    }
    result.ok = true;
    result.channelFound = true;
    result.feed.title = StringMember(top, "title");
    if (!knownVersion) result.notes.push_back("JSON Feed version missing or unknown; items read anyway");
    if (!hasItems) return;
    std::size_t skipped = 0;
    for (const json& item : *items) {
        if (!item.is_object()) {
            ++skipped;
            continue;
        }
        result.feed.items.push_back(ReadItem(item, result.feed, source.url));
    }
    if (skipped) result.notes.push_back(std::to_string(skipped) + " JSON Feed items that are not objects skipped");
}

FeedParseResult Begin(const FeedSource& source) {
    FeedParseResult result;
    result.feed.url = source.url;
    result.feed.format = FeedFormat::JsonFeed;
    return result;
}

FeedParseResult Failure(const FeedSource& source, std::string error) {
    FeedParseResult result = Begin(source);
    result.error = std::move(error);
    return result;
}

}  // namespace

bool LooksLikeJsonFeed(std::string_view bytes, std::string_view contentType) {
    const std::string_view mediaType = Trim(contentType.substr(0, contentType.find(';')), kSpace);
    if (EqualsIgnoringCase(mediaType, "application/feed+json") || EqualsIgnoringCase(mediaType, "application/json"))
        return true;
    return SkipLeadingSpaceAndBom(bytes).starts_with('{');
}

FeedParseResult ParseJsonFeed(std::string_view bytes, const FeedSource& source) {
    const std::string_view text = SkipLeadingSpaceAndBom(bytes);
    if (NestsDeeperThan(text, kMaxDepth))
        return Failure(source, "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels");
    FeedParseResult result = Begin(source);
    // The library reports a malformed document (bad syntax, invalid UTF-8, a lone
    // surrogate escape) by exception; here it becomes the feed's error line.
    try {
        const json top = json::parse(text.begin(), text.end());
        ReadFeed(top, source, result);
    } catch (const json::exception& e) {
        return Failure(source, "malformed JSON: " + OneLine(e.what()));
    } catch (const std::bad_alloc&) {
        return Failure(source, "JSON Feed too large to read");
    }
    return result;
}
