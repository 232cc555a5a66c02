// Any bytes as a JSON Feed document: the reader must never crash, hang or throw, and
// what it returns must hold together.
#include "JsonFeedParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LooksLikeJsonFeed(bytes, "");
    LooksLikeJsonFeed(bytes, bytes.substr(0, 40));  // the same bytes as a content type
    const FeedSource source{"http://127.0.0.1/dir/feed.json", "application/feed+json"};
    const FeedParseResult result = ParseJsonFeed(bytes, source);
    Check(result.feed.url == source.url);
    Check(result.feed.format == FeedFormat::JsonFeed);
    Check(result.ok == result.channelFound);
    if (!result.ok) {
        // A refusal is one line for the log, and nothing half read.
        Check(!result.error.empty() && result.error.find('\n') == std::string::npos);
        Check(result.feed.items.empty() && result.feed.title.empty());
        return 0;
    }
    Check(result.error.empty());
    // Input that is not UTF-8 is refused, so every text read is UTF-8.
    Check(IsUtf8(result.feed.title));
    for (const FeedItem& item : result.feed.items) {
        Check(item.channelTitle == result.feed.title);
        Check(IsUtf8(item.title));
        Check(item.dates.size() <= 1 && item.body.size() <= 1);
        for (const FeedBodyPiece& piece : item.body) Check(IsUtf8(piece.text));
        for (const FeedEnclosure& enclosure : item.enclosures) Check(!enclosure.url.empty() && enclosure.length >= -1);
    }
    return 0;
}
