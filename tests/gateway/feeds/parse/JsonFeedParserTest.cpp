// JSON Feed documents in memory to Feed values, and the sniffing that picks this reader.
#include "JsonFeedParser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

const FeedSource kSource{"http://127.0.0.1:9/blog/feed.json", "application/feed+json"};

FeedParseResult Parse(const std::string& document, const FeedSource& source = kSource) {
    return ParseJsonFeed(document, source);
}

// A 1.1 feed whose only item is the given JSON object text.
FeedParseResult ParseItem(const std::string& item, const FeedSource& source = kSource) {
    return Parse(R"({"version":"https://jsonfeed.org/version/1.1","title":"Feed","items":[)" + item + "]}",
                 source);
}

// --- Mapping of fields -------------------------------------------------------------

TEST(JsonFeedParser, EveryFieldOfAnItemIsMapped) {
    const auto result = Parse(R"({
        "version": "https://jsonfeed.org/version/1.1",
        "title": "Notes \u0026 more",
        "home_page_url": "http://127.0.0.1:9/elsewhere/",
        "items": [{
            "id": "1",
            "title": "First",
            "url": "http://127.0.0.1:9/posts/1",
            "external_url": "http://127.0.0.1:9/other",
            "content_html": "<p>Hello</p>",
            "content_text": "Hello",
            "summary": "Hi",
            "date_published": "2024-05-01T10:00:00+02:00",
            "date_modified": "2024-05-02T10:00:00+02:00",
            "attachments": [{"url": "http://127.0.0.1:9/a.mp3", "mime_type": "audio/mpeg",
                             "size_in_bytes": 1234}]
        }]
    })");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.channelFound);
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(result.notes.empty());
    EXPECT_EQ(result.feed.format, FeedFormat::JsonFeed);
    EXPECT_EQ(result.feed.url, kSource.url);
    EXPECT_EQ(result.feed.title, "Notes & more");
    ASSERT_EQ(result.feed.items.size(), 1u);
    const FeedItem& item = result.feed.items[0];
    EXPECT_EQ(item.channelTitle, "Notes & more");
    EXPECT_EQ(item.title, "First");
    EXPECT_EQ(item.link, "http://127.0.0.1:9/posts/1");
    EXPECT_EQ(item.rawLink, "");
    ASSERT_EQ(item.dates.size(), 1u);
    EXPECT_EQ(item.dates[0].text, "2024-05-01T10:00:00+02:00");
    EXPECT_TRUE(item.dates[0].w3c);
    ASSERT_EQ(item.body.size(), 1u);
    EXPECT_EQ(item.body[0].text, "<p>Hello</p>");
    EXPECT_TRUE(item.body[0].isHtml);
    ASSERT_EQ(item.enclosures.size(), 1u);
    EXPECT_EQ(item.enclosures[0].url, "http://127.0.0.1:9/a.mp3");
    EXPECT_EQ(item.enclosures[0].type, "audio/mpeg");
    EXPECT_EQ(item.enclosures[0].length, 1234);
}

TEST(JsonFeedParser, ItemsKeepDocumentOrder) {
    const auto result = Parse(R"({"version":"https://jsonfeed.org/version/1","title":"F","items":[
        {"title":"a"},{"title":"b"},{"title":"c"}]})");
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.feed.items.size(), 3u);
    EXPECT_EQ(result.feed.items[0].title, "a");
    EXPECT_EQ(result.feed.items[1].title, "b");
    EXPECT_EQ(result.feed.items[2].title, "c");
}

TEST(JsonFeedParser, EscapesAndSurrogatePairsBecomeUtf8) {
    const auto result = ParseItem(R"({"title":"\u65E5\u672C \uD83D\uDE00 \"q\" \\ \/ \t"})");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.feed.items[0].title, "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \"q\" \\ / \t");
}

TEST(JsonFeedParser, AByteOrderMarkAndLeadingWhiteSpaceAreSkipped) {
    for (const std::string prefix : {"\xEF\xBB\xBF", "\r\n \xEF\xBB\xBF\t", "  "}) {
        const auto result = Parse(prefix + R"({"version":"https://jsonfeed.org/version/1","items":[{}]})");
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.feed.items.size(), 1u);
    }
}

// --- Bodies, dates and links: which member wins, and members of the wrong type -------

struct ItemCase {
    const char* name;
    const char* item;
    const char* title;
    const char* link;
    const char* date;   // "" when the item has none
    const char* body;   // "" when the item has none
    bool bodyIsHtml;
};

class JsonFeedItemFields : public testing::TestWithParam<ItemCase> {};

TEST_P(JsonFeedItemFields, MapToTheExpectedValues) {
    const ItemCase& c = GetParam();
    const auto result = ParseItem(c.item);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.feed.items.size(), 1u);
    const FeedItem& item = result.feed.items[0];
    EXPECT_EQ(item.title, c.title);
    EXPECT_EQ(item.link, c.link);
    if (*c.date) {
        ASSERT_EQ(item.dates.size(), 1u);
        EXPECT_EQ(item.dates[0].text, c.date);
    } else {
        EXPECT_TRUE(item.dates.empty());
    }
    if (*c.body) {
        ASSERT_EQ(item.body.size(), 1u);
        EXPECT_EQ(item.body[0].text, c.body);
        EXPECT_EQ(item.body[0].isHtml, c.bodyIsHtml);
    } else {
        EXPECT_TRUE(item.body.empty());
    }
}

const ItemCase kItemCases[] = {
    {"Empty", R"({})", "", "", "", "", false},
    {"TextWhenNoHtml", R"({"content_text":"plain","summary":"s"})", "", "", "", "plain", false},
    {"SummaryLast", R"({"summary":"s"})", "", "", "", "s", false},
    {"EmptyHtmlFallsThrough", R"({"content_html":"","content_text":"plain"})", "", "", "", "plain", false},
    {"HtmlOfWrongTypeFallsThrough", R"({"content_html":{"x":1},"summary":"s"})", "", "", "", "s", false},
    {"ModifiedWhenNoPublished", R"({"date_modified":"2024-01-02T00:00:00Z"})", "", "", "2024-01-02T00:00:00Z", "",
     false},
    {"PublishedOfWrongType", R"({"date_published":20240101,"date_modified":"2024-01-02T00:00:00Z"})", "", "",
     "2024-01-02T00:00:00Z", "", false},
    {"ExternalUrlWhenNoUrl", R"({"external_url":"http://127.0.0.1:9/ext"})", "", "http://127.0.0.1:9/ext", "", "",
     false},
    {"UrlOfWrongType", R"({"url":["http://x/"],"external_url":"http://127.0.0.1:9/ext"})", "",
     "http://127.0.0.1:9/ext", "", "", false},
    {"TitleOfWrongType", R"({"title":42,"url":null})", "", "", "", "", false},
    {"NullsAreAbsent", R"({"title":null,"content_html":null,"date_published":null})", "", "", "", "", false},
};

INSTANTIATE_TEST_SUITE_P(Members, JsonFeedItemFields, testing::ValuesIn(kItemCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JsonFeedParser, ItemsThatAreNotObjectsAreSkippedWithANote) {
    const auto result = Parse(R"({"version":"https://jsonfeed.org/version/1","items":[1,"x",{"title":"kept"},null,[]]})");
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.feed.items.size(), 1u);
    EXPECT_EQ(result.feed.items[0].title, "kept");
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_NE(result.notes[0].find("4"), std::string::npos) << result.notes[0];
}

TEST(JsonFeedParser, AFeedTitleOfTheWrongTypeIsEmpty) {
    const auto result = Parse(R"({"version":"https://jsonfeed.org/version/1","title":7,"items":[{"title":"t"}]})");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.feed.title, "");
    EXPECT_EQ(result.feed.items[0].channelTitle, "");
}

// --- Relative URLs --------------------------------------------------------------------

struct LinkCase {
    const char* base;
    const char* written;
    const char* link;
    const char* rawLink;
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << "[" << c.written << "] against [" << c.base << "]"; }

class JsonFeedLinks : public testing::TestWithParam<LinkCase> {};

TEST_P(JsonFeedLinks, ResolveAgainstTheDocumentUrl) {
    const LinkCase& c = GetParam();
    const auto result = ParseItem(std::string(R"({"url":")") + c.written + R"("})", FeedSource{c.base, ""});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.feed.items[0].link, c.link);
    EXPECT_EQ(result.feed.items[0].rawLink, c.rawLink);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, JsonFeedLinks,
    testing::Values(LinkCase{"http://127.0.0.1:9/blog/feed.json", "posts/1", "http://127.0.0.1:9/blog/posts/1", "posts/1"},
                    LinkCase{"http://127.0.0.1:9/blog/feed.json", "/top", "http://127.0.0.1:9/top", "/top"},
                    LinkCase{"http://127.0.0.1:9/blog/feed.json", "../up?q=1#f", "http://127.0.0.1:9/up?q=1#f",
                             "../up?q=1#f"},
                    LinkCase{"http://127.0.0.1:9/blog/feed.json", "//127.0.0.2/x", "http://127.0.0.2/x", "//127.0.0.2/x"},
                    LinkCase{"http://127.0.0.1:9/blog/feed.json", "https://127.0.0.1/abs", "https://127.0.0.1/abs", ""},
                    LinkCase{"http://127.0.0.1:9/blog/feed.json", " http://127.0.0.1/sp ", "http://127.0.0.1/sp",
                             " http://127.0.0.1/sp "},
                    LinkCase{"", "posts/1", "posts/1", ""}));

TEST(JsonFeedParser, HomePageUrlIsNotTheBaseOfLinks) {
    const auto result = Parse(R"({"version":"https://jsonfeed.org/version/1","home_page_url":"http://127.0.0.2/home/",
        "items":[{"url":"a"}]})");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.feed.items[0].link, "http://127.0.0.1:9/blog/a");
}

// --- Attachments ----------------------------------------------------------------------

struct SizeCase {
    const char* member;  // the size_in_bytes member with its leading comma, or ""
    long long length;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << "[" << c.member << "]"; }

class JsonFeedAttachmentSize : public testing::TestWithParam<SizeCase> {};

TEST_P(JsonFeedAttachmentSize, IsANonNegativeIntegerOrMinusOne) {
    const auto result = ParseItem(std::string(R"({"attachments":[{"url":"a.mp3")") + GetParam().member + "}]}");
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.feed.items[0].enclosures.size(), 1u);
    EXPECT_EQ(result.feed.items[0].enclosures[0].length, GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Sizes, JsonFeedAttachmentSize,
                         testing::Values(SizeCase{"", -1}, SizeCase{R"(,"size_in_bytes":0)", 0},
                                         SizeCase{R"(,"size_in_bytes":9007199254740993)", 9007199254740993LL},
                                         SizeCase{R"(,"size_in_bytes":-5)", -1},
                                         SizeCase{R"(,"size_in_bytes":12.5)", -1},
                                         SizeCase{R"(,"size_in_bytes":"12")", -1},
                                         SizeCase{R"(,"size_in_bytes":9223372036854775808)", -1}));

TEST(JsonFeedParser, AttachmentsWithoutAUrlOrNotObjectsAreLeftOut) {
    const auto result = ParseItem(R"({"attachments":[{"mime_type":"audio/mpeg"},{"url":5},"x",
        {"url":"media/b.ogg","mime_type":["audio/ogg"]},{"url":"http://127.0.0.1:9/c.mp3","mime_type":"audio/mpeg"}]})");
    ASSERT_TRUE(result.ok) << result.error;
    const auto& enclosures = result.feed.items[0].enclosures;
    ASSERT_EQ(enclosures.size(), 2u);
    EXPECT_EQ(enclosures[0].url, "http://127.0.0.1:9/blog/media/b.ogg");
    EXPECT_EQ(enclosures[0].type, "");
    EXPECT_EQ(enclosures[1].url, "http://127.0.0.1:9/c.mp3");
    EXPECT_EQ(enclosures[1].type, "audio/mpeg");
}

TEST(JsonFeedParser, AttachmentsOfTheWrongTypeGiveNoEnclosure) {
    const auto result = ParseItem(R"({"attachments":{"url":"a.mp3"}})");
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.feed.items[0].enclosures.empty());
}

// --- Versions and what counts as a feed ------------------------------------------------

struct DocumentCase {
    const char* name;
    const char* document;
    bool ok;
    size_t items;
    bool noted;  // a note says the version was not recognised
};

class JsonFeedDocuments : public testing::TestWithParam<DocumentCase> {};

TEST_P(JsonFeedDocuments, AreReadOrRefused) {
    const DocumentCase& c = GetParam();
    const auto result = Parse(c.document);
    EXPECT_EQ(result.ok, c.ok) << result.error;
    EXPECT_EQ(result.channelFound, c.ok);
    EXPECT_EQ(result.feed.items.size(), c.items);
    EXPECT_EQ(result.feed.format, FeedFormat::JsonFeed);
    if (c.ok) {
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(!result.notes.empty(), c.noted);
    } else {
        EXPECT_NE(result.error, "");
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
    }
}

const DocumentCase kDocumentCases[] = {
    {"Version10", R"({"version":"https://jsonfeed.org/version/1","title":"t","items":[{}]})", true, 1, false},
    {"Version11", R"({"version":"https://jsonfeed.org/version/1.1","title":"t","items":[{},{}]})", true, 2, false},
    {"ZeroItems", R"({"version":"https://jsonfeed.org/version/1.1","title":"t","items":[]})", true, 0, false},
    {"KnownVersionTitleNoItems", R"({"version":"https://jsonfeed.org/version/1","title":"t"})", true, 0, false},
    {"MissingVersionWithItems", R"({"title":"t","items":[{}]})", true, 1, true},
    {"OtherVersionWithItems", R"({"version":"http://jsonfeed.org/version/1","items":[{}]})", true, 1, true},
    {"VersionOfWrongTypeWithItems", R"({"version":1,"items":[{}]})", true, 1, true},
    {"KnownVersionNoItemsNoTitle", R"({"version":"https://jsonfeed.org/version/1"})", false, 0, false},
    {"KnownVersionItemsNotArray", R"({"version":"https://jsonfeed.org/version/1","items":{}})", false, 0, false},
    {"OtherVersionNoItems", R"({"version":"2","title":"t"})", false, 0, false},
    {"PlainObject", R"({"name":"value"})", false, 0, false},
    {"TopLevelArray", R"([{"version":"https://jsonfeed.org/version/1","items":[]}])", false, 0, false},
    {"TopLevelString", R"("https://jsonfeed.org/version/1")", false, 0, false},
    {"TopLevelNull", "null", false, 0, false},
};

TEST(JsonFeedParser, ATopLevelThatIsNotAnObjectIsNamedInTheError) {
    const auto result = Parse(R"([{"version":"https://jsonfeed.org/version/1","items":[]}])");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("not a JSON object"), std::string::npos) << result.error;
}

INSTANTIATE_TEST_SUITE_P(Versions, JsonFeedDocuments, testing::ValuesIn(kDocumentCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Detection ------------------------------------------------------------------------

struct SniffCase {
    const char* bytes;
    const char* contentType;
    bool json;
};

void PrintTo(const SniffCase& c, std::ostream* os) { *os << "[" << c.bytes << "] as [" << c.contentType << "]"; }

class JsonFeedSniffing : public testing::TestWithParam<SniffCase> {};

TEST_P(JsonFeedSniffing, ByContentTypeOrLeadingBrace) {
    EXPECT_EQ(LooksLikeJsonFeed(GetParam().bytes, GetParam().contentType), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Sniff, JsonFeedSniffing,
    testing::Values(SniffCase{"<rss/>", "application/feed+json", true},
                    SniffCase{"<rss/>", "application/json", true},
                    SniffCase{"<rss/>", " Application/Feed+JSON ; charset=utf-8", true},
                    SniffCase{"<rss/>", "APPLICATION/JSON;charset=utf-8", true},
                    SniffCase{"<rss/>", "application/xml", false},
                    SniffCase{"<rss/>", "application/jsonx", false},
                    SniffCase{"<rss/>", "text/plain; x=application/json", false},
                    SniffCase{"<rss/>", "", false},
                    SniffCase{"{\"items\":[]}", "", true},
                    SniffCase{" \r\n\t{", "text/html", true},
                    SniffCase{"\xEF\xBB\xBF{", "", true},
                    SniffCase{"\n\xEF\xBB\xBF {", "", true},
                    SniffCase{"\xEF\xBB{", "", false},
                    SniffCase{"[{}]", "", false},
                    SniffCase{"<?xml version=\"1.0\"?><feed>{</feed>", "", false},
                    SniffCase{"", "", false}));

// --- Malformed input ------------------------------------------------------------------

TEST(JsonFeedParser, MalformedDocumentsGiveAOneLineError) {
    const std::vector<std::string> documents = {
        "",
        "   ",
        "{",
        R"({"version":"https://jsonfeed.org/version/1","items":[{"title":"cut)",
        R"({"version":"https://jsonfeed.org/version/1","items":[]} trailing)",
        R"({"items":[],})",
        R"({'items':[]})",
        "{\"items\":[{\"title\":\"a\nb\"}]}",                 // raw control character in a string
        "{\"items\":[{\"title\":\"\xFF\xFE\"}]}",             // bytes that are not UTF-8
        "{\"items\":[{\"title\":\"\xED\xA0\x80\"}]}",         // a surrogate written as UTF-8
        "{\"items\":[{\"title\":\"\xC0\xAF\"}]}",             // an overlong form
        R"({"items":[{"title":"\uD800"}]})",                  // a lone high surrogate
        R"({"items":[{"title":"\uDC00\uD800"}]})",            // surrogates out of order
        "{\"items\":[{\"title\":\"a\0b\"}]}"s,  // a NUL byte in a string
        "<?xml version=\"1.0\"?><rss/>",
    };
    for (const std::string& document : documents) {
        const auto result = Parse(document);
        EXPECT_FALSE(result.ok) << document;
        EXPECT_FALSE(result.channelFound) << document;
        EXPECT_TRUE(result.feed.items.empty()) << document;
        EXPECT_EQ(result.feed.url, kSource.url);
        EXPECT_NE(result.error, "") << document;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
        for (unsigned char c : result.error) EXPECT_LT(c, 0x80) << result.error;
    }
}

// --- Size limits ----------------------------------------------------------------------

TEST(JsonFeedParser, AMillionNestedArraysAreRefusedWithoutOverflowingTheStack) {
    for (const char open : {'[', '{'}) {
        std::string document(1'000'000, open);
        if (open == '{') {
            document.clear();
            for (int i = 0; i < 1'000'000; ++i) document += "{\"a\":";
        }
        const auto result = Parse(document);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("nested"), std::string::npos) << result.error;
    }
}

TEST(JsonFeedParser, NestingUpToTheLimitIsRead) {
    // The feed object, the items array and the item are three levels of the 512.
    auto itemNesting = [](int arrays) {
        return ParseItem(R"({"title":"deep","extension":)" + std::string(arrays, '[') + std::string(arrays, ']') + "}");
    };
    const auto atLimit = itemNesting(509);
    ASSERT_TRUE(atLimit.ok) << atLimit.error;
    EXPECT_EQ(atLimit.feed.items[0].title, "deep");
    EXPECT_FALSE(itemNesting(510).ok);
}

TEST(JsonFeedParser, BracketsInsideStringsDoNotCountAsNesting) {
    const std::string brackets(100'000, '[');
    const auto result = ParseItem(R"({"title":"\")" + brackets + R"(","summary":"\\"})");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.feed.items[0].title, "\"" + brackets);
    EXPECT_EQ(result.feed.items[0].body[0].text, "\\");
}

TEST(JsonFeedParser, NestingAfterAnEscapedBackslashStillCounts) {
    const std::string deep = std::string(600, '[') + std::string(600, ']');
    const auto result = ParseItem(R"({"summary":"\\","extension":)" + deep + "}");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("nested"), std::string::npos) << result.error;
}

TEST(JsonFeedParser, HugeStringsAreKeptWhole) {
    const std::string huge(16 * 1024 * 1024, 'x');
    const auto result = ParseItem(R"({"title":"big","content_html":")" + huge + R"("})");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.feed.items[0].body[0].text.size(), huge.size());
}

TEST(JsonFeedParser, AHugeBadTokenGivesAShortError) {
    const std::string huge(4 * 1024 * 1024, 'x');
    const auto result = ParseItem(R"({"title":")" + huge + "\xFF\"}");
    EXPECT_FALSE(result.ok);
    EXPECT_LT(result.error.size(), 300u);
}

TEST(JsonFeedParser, ManyItemsAreAllRead) {
    std::string items;
    for (int i = 0; i < 20'000; ++i) items += (i ? "," : "") + std::string(R"({"title":"t)") + std::to_string(i) + "\"}";
    const auto result = Parse(R"({"version":"https://jsonfeed.org/version/1","items":[)" + items + "]}");
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.feed.items.size(), 20'000u);
    EXPECT_EQ(result.feed.items.back().title, "t19999");
}

}  // namespace
