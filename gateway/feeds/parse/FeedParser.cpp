#include "FeedParser.h"

#include "FeedRepair.h"
#include "JsonFeedParser.h"
#include "XmlFeedReader.h"

#include <optional>

namespace {

bool IsFeed(const XmlFeedReadResult& read) {
    return read.rootRecognised && (read.channelFound || !read.feed.items.empty());
}

// Of two reads that both failed somewhere, the one that gave more.
bool Better(const XmlFeedReadResult& a, const XmlFeedReadResult& b) {
    if (a.feed.items.size() != b.feed.items.size()) return a.feed.items.size() > b.feed.items.size();
    if (IsFeed(a) != IsFeed(b)) return IsFeed(a);
    return a.feed.title.size() > b.feed.title.size();
}

FeedParseResult ToResult(XmlFeedReadResult read, std::vector<std::string> notes) {
    FeedParseResult result;
    result.ok = IsFeed(read);
    result.channelFound = read.channelFound;
    result.feed = std::move(read.feed);
    if (result.ok) {
        result.notes = std::move(notes);
    } else if (!read.rootRecognised) {
        result.error = read.parse.clean ? "not a feed document" : read.parse.firstError;
    } else {
        result.error = "no channel";
    }
    return result;
}

// Item by item, when both reads found the same items: the earlier texts where they differ.
void KeepLegacyTexts(const Feed& legacy, Feed& feed) {
    if (legacy.items.size() != feed.items.size()) return;
    for (size_t i = 0; i < feed.items.size(); ++i) {
        const FeedItem& before = legacy.items[i];
        FeedItem& item = feed.items[i];
        // Both versions read the title's first node as it stood.
        const std::string& beforeTitle = before.rawTitle ? *before.rawTitle : before.title;
        if (beforeTitle != (item.rawTitle ? *item.rawTitle : item.title)) item.legacyTitle = beforeTitle;
        const std::string& link = before.rawLink.empty() ? before.link : before.rawLink;
        if (link != item.link && item.rawLink.empty()) item.rawLink = link;
    }
}

}  // namespace

FeedParseResult ParseFeed(std::string_view bytes, const FeedSource& source) {
    if (LooksLikeJsonFeed(bytes, source.contentType)) {
        FeedParseResult json = ParseJsonFeed(bytes, source);
        // A document that only looked like JSON by its content type may still be XML.
        if (json.ok || bytes.find('<') == std::string_view::npos || bytes.find('{') < bytes.find('<'))
            return json;
    }

    // Shift_JIS under its other spellings is read with the converter's CP932 table, as
    // the earlier XML library read it: 〜 and the like keep the code points that
    // delivered records hold.
    std::string decoded;
    // Bytes that form no character are a repair like any other, said in the log.
    std::vector<std::string> notes;
    std::size_t replaced = 0;
    if (auto shiftJis = ShiftJisAsUtf8(bytes, &replaced)) {
        decoded = std::move(*shiftJis);
        bytes = decoded;
        if (replaced > 0) notes.push_back(ReplacementNote("Shift_JIS", replaced));
    }

    // The strict read first: a well-formed feed is read once, exactly as written.
    XmlFeedReadResult best = ReadXmlFeed(bytes, source.url, false);
    if (best.parse.clean) return ToResult(std::move(best), notes);
    // A document that is well-formed but for undeclared entities was read before, with
    // those references dropped; its texts of then still match delivered records.
    std::optional<Feed> legacy;
    if (best.parse.wellFormed && best.rootRecognised) legacy = best.feed;
    auto result = [&](XmlFeedReadResult read, std::vector<std::string> notes) {
        if (legacy) KeepLegacyTexts(*legacy, read.feed);
        return ToResult(std::move(read), std::move(notes));
    };

    // Then each repair in turn on top of the ones before, until a read is clean.
    std::string_view current = bytes;
    std::string owned;
    auto attempt = [&](std::string note) -> bool {
        XmlFeedReadResult read = ReadXmlFeed(current, source.url, false);
        notes.push_back(std::move(note));
        const bool clean = read.parse.clean && read.rootRecognised;
        if (clean || Better(read, best)) best = std::move(read);
        return clean;
    };
    if (auto skipped = SkipJunkBeforeMarkup(current)) {
        current = *skipped;
        if (attempt("XML宣言の前の余分な文字を読み飛ばしました。")) return result(std::move(best), notes);
    }
    if (auto redecoded = RedecodeToFit(current)) {
        owned = std::move(redecoded->utf8);
        current = owned;
        if (attempt("宣言された文字コードに合わないバイトがあるため、" + redecoded->encoding +
                    "として読み込みました。" + ReplacementNote(redecoded->encoding, redecoded->replacements)))
            return result(std::move(best), notes);
    }
    if (auto repaired = RepairReferences(current)) {
        owned = std::move(*repaired);
        current = owned;
        if (attempt("不正な文字参照・実体参照を修復しました。")) return result(std::move(best), notes);
    }
    // Last, libxml2's own recovery: whatever can be read around the faults, and the
    // items completed before the break of a document cut off part-way.
    XmlFeedReadResult recovered = ReadXmlFeed(current, source.url, true);
    if (!Better(best, recovered)) {
        best = std::move(recovered);
        notes.push_back("整形式でない部分を読み飛ばしました(" + best.parse.firstError + ")。");
    }
    return result(std::move(best), notes);
}
