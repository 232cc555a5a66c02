#include "FeedDiscovery.h"

#include <gtest/gtest.h>

namespace {

struct DiscoveryCase {
    const char* name;
    const char* html;
    const char* page;
    std::vector<std::string> expected;
};

const DiscoveryCase kCases[] = {
    {"RssLinkWithAbsoluteAddress",
     R"(<html><head><link rel="alternate" type="application/rss+xml" href="http://example.org/feed.rss"></head></html>)",
     "http://example.org/", {"http://example.org/feed.rss"}},
    {"AtomLinkRelativeToPage",
     R"(<head><link rel="alternate" type="application/atom+xml" href="atom.xml"></head>)",
     "http://example.org/blog/index.html", {"http://example.org/blog/atom.xml"}},
    {"RootRelativeAddress",
     R"(<LINK REL="Alternate" TYPE="Application/RSS+XML" HREF="/index.rdf">)",
     "http://example.org/a/b/c.html", {"http://example.org/index.rdf"}},
    {"SchemeRelativeAddress",
     R"(<link rel=alternate type=application/rss+xml href=//feeds.example.net/x>)",
     "https://example.org/", {"https://feeds.example.net/x"}},
    {"StylesheetAndIconLinksAreNotFeeds",
     R"(<link rel="stylesheet" type="text/css" href="s.css"><link rel="icon" href="f.ico">)",
     "http://example.org/", {}},
    {"AlternateLanguageVersionIsNotAFeed",
     R"(<link rel="alternate" hreflang="en" type="text/html" href="/en/">)",
     "http://example.org/", {}},
    {"RelWithSeveralTokens",
     R"(<link rel="feed alternate" type="application/atom+xml" href="a.xml">)",
     "http://example.org/", {"http://example.org/a.xml"}},
    {"TypeWithParameters",
     R"(<link rel="alternate" type="application/rss+xml; charset=utf-8" href="r.xml">)",
     "http://example.org/", {"http://example.org/r.xml"}},
    {"EntitiesInAddressAreDecoded",
     R"(<link rel="alternate" type="application/rss+xml" href="/feed?a=1&amp;b=2">)",
     "http://example.org/", {"http://example.org/feed?a=1&b=2"}},
    {"BaseElementChangesResolution",
     R"(<base href="http://cdn.example.com/site/"><link rel="alternate" type="application/rss+xml" href="rss.xml">)",
     "http://example.org/", {"http://cdn.example.com/site/rss.xml"}},
    {"CommentedOutLinkIsIgnored",
     R"(<!-- <link rel="alternate" type="application/rss+xml" href="old.xml"> --><link rel="alternate" type="application/rss+xml" href="new.xml">)",
     "http://example.org/", {"http://example.org/new.xml"}},
    {"LinkInsideScriptTextIsIgnored",
     R"(<script>var s = '<link rel="alternate" type="application/rss+xml" href="js.xml">';</script>)",
     "http://example.org/", {}},
    {"SeveralFeedsInDocumentOrder",
     R"(<link rel="alternate" type="application/rss+xml" href="1.xml"/><link rel="alternate" type="application/atom+xml" href="2.xml"/>)",
     "http://example.org/", {"http://example.org/1.xml", "http://example.org/2.xml"}},
    {"SingleQuotedAttributes",
     "<link rel='alternate' type='application/rss+xml' href='q.xml'>", "http://example.org/",
     {"http://example.org/q.xml"}},
    {"EmptyHrefIsSkipped", R"(<link rel="alternate" type="application/rss+xml" href="">)",
     "http://example.org/", {}},
    {"TruncatedTagDoesNotCrash", R"(<link rel="alternate" type="application/rss+xml" href="tr)",
     "http://example.org/", {"http://example.org/tr"}},
    {"EmptyPage", "", "http://example.org/", {}},
};

class FeedDiscoveryTable : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(FeedDiscoveryTable, FindsTheFeedsABrowserWouldOffer) {
    const DiscoveryCase& c = GetParam();
    EXPECT_EQ(FindFeedLinks(c.html, c.page), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pages, FeedDiscoveryTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FeedDiscovery, GarbageBytesNeverCrash) {
    std::string junk;
    for (int i = 0; i < 5000; ++i) junk += static_cast<char>((i * 7919) % 256);
    junk += "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"ok.xml\">";
    const auto feeds = FindFeedLinks(junk, "http://example.org/x/");
    ASSERT_FALSE(feeds.empty());
    EXPECT_EQ(feeds.back(), "http://example.org/x/ok.xml");
}

TEST(FeedDiscovery, UnclosedCommentEndsTheScan) {
    EXPECT_TRUE(FindFeedLinks("<!-- <link rel=alternate type=application/rss+xml href=a>", "http://e/").empty());
}

}  // namespace
