// Feed lists: the feed-list of Quillo.xml and the outlines of feedlist.xml.
#include "FeedList.h"

#include "StoreTestFiles.h"

#include <gtest/gtest.h>

namespace {

using namespace storetest;

using Urls = std::vector<std::string>;

class StoreFeedList : public StoreDirTest {};

TEST_F(StoreFeedList, SettingsFeedsAreTheTextOfEveryFeedElementUntrimmed) {
    const std::pair<std::string, Urls> cases[] = {
        {"<quillo><feed-list><feed>http://a/1</feed><feed>http://a/2</feed></feed-list><settings/>"
         "<feed-list><feed>http://a/3</feed><other>x</other></feed-list></quillo>",
         {"http://a/1", "http://a/2", "http://a/3"}},
        {"<quillo><feed-list><feed>\n  http://a/1 \n</feed><feed/><feed></feed><feed><b/>x</feed></feed-list></quillo>",
         {"\n  http://a/1 \n", ""}},
        {"<quillo><feed-list><feed>http://a/?x=1&amp;y=&#x65E5;</feed></feed-list></quillo>", {"http://a/?x=1&y=日"}},
        {"<quillo><feed>http://top</feed><x><feed-list><feed>http://deep</feed></feed-list></x></quillo>", {}},
    };
    for (const auto& [xml, urls] : cases) {
        const FeedListResult result = ReadSettingsFeedList(Write("Quillo.xml", xml));
        EXPECT_EQ(result.status, FeedListResult::Status::Read) << xml;
        EXPECT_EQ(result.urls, urls) << xml;
    }
}

TEST_F(StoreFeedList, OutlinesGiveTheirXmlUrlDepthFirstParentsFirst) {
    const std::string opml =
        "<?xml version='1.0' encoding='UTF-8'?><opml version='1.0'><head><title>t</title>"
        "<outline xmlUrl='http://head/'/></head><body>"
        "<outline text='folder'>"
        "  <outline text='f1' xmlUrl='http://b/1'>"
        "    <outline text='f2' type='atom' xmlUrl='http://b/2'><outline xmlUrl='http://b/3'/></outline>"
        "  </outline>"
        "  <other><outline xmlUrl='http://not-an-outline-child/'/></other>"
        "  <outline text='f4' xmlUrl='http://b/4'/>"
        "</outline>"
        "<outline text='f5' type='link' xmlUrl='http://b/1'/>"
        "<outline text='noUrl' XMLURL='http://ignored/' x:xmlUrl='http://ignored/' xmlns:x='u'/>"
        "<outline xmlUrl=''/>"
        "</body><body><outline xmlUrl='http://second-body/'/></body></opml>";
    const FeedListResult result = ReadOpmlFeedList(Write("feedlist.xml", opml));
    EXPECT_EQ(result.status, FeedListResult::Status::Read);
    EXPECT_EQ(result.urls, (Urls{"http://b/1", "http://b/2", "http://b/3", "http://b/4", "http://b/1", "",
                                 "http://second-body/"}));
    // The folders above each feed, outermost first: a feed that has children is a
    // folder to them too, and a title names a folder before its text does.
    const std::vector<Urls> folders = {{"folder"}, {"folder", "f1"}, {"folder", "f1", "f2"}, {"folder"}, {}, {}, {}};
    EXPECT_EQ(result.folders, folders);
    const FeedListResult titled = ReadOpmlFeedList(Write(
        "feedlist.xml", "<opml><body><outline text='t' title='Tech'><outline xmlUrl='u'/></outline></body></opml>"));
    EXPECT_EQ(titled.folders, std::vector<Urls>{{"Tech"}});
}

TEST_F(StoreFeedList, NonAsciiUrlsArriveAsUtf8WhateverTheEncoding) {
    const FeedListResult result = ReadOpmlFeedList(Write(
        "feedlist.xml",
        "<?xml version='1.0' encoding='Shift_JIS'?><opml><body><outline xmlUrl='http://a/\x93\xfa&amp;b'/></body></opml>"));
    EXPECT_EQ(result.urls, Urls{"http://a/日&b"});
}

TEST_F(StoreFeedList, OutlinesAsDeepAsTheParserAllowsAreAllRead) {
    std::string opml = "<opml><body>";
    const int depth = 250;
    for (int i = 0; i < depth; ++i) opml += "<outline xmlUrl='u" + std::to_string(i) + "'>";
    for (int i = 0; i < depth; ++i) opml += "</outline>";
    opml += "</body></opml>";
    const FeedListResult result = ReadOpmlFeedList(Write("feedlist.xml", opml));
    ASSERT_EQ(result.urls.size(), static_cast<size_t>(depth)) << result.error;
    EXPECT_EQ(result.urls.front(), "u0");
    EXPECT_EQ(result.urls.back(), "u" + std::to_string(depth - 1));
}

TEST_F(StoreFeedList, ANestingBeyondTheParsersLimitIsAnErrorNotACrash) {
    std::string opml = "<opml><body>";
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) opml += "<outline xmlUrl='u'>";
    for (int i = 0; i < depth; ++i) opml += "</outline>";
    opml += "</body></opml>";
    const FeedListResult result = ReadOpmlFeedList(Write("feedlist.xml", opml));
    EXPECT_EQ(result.status, FeedListResult::Status::Unreadable);
    EXPECT_TRUE(result.urls.empty());
}

TEST_F(StoreFeedList, MissingWrongRootAndBrokenFilesGiveNoUrls) {
    EXPECT_EQ(ReadOpmlFeedList(Path("feedlist.xml")).status, FeedListResult::Status::Missing);
    EXPECT_EQ(ReadSettingsFeedList(Path("Quillo.xml")).status, FeedListResult::Status::Missing);
    struct Case {
        std::string xml;
        FeedListResult::Status status;
    };
    const Case cases[] = {
        {"<rss><body><outline xmlUrl='http://x'/></body></rss>", FeedListResult::Status::WrongRoot},
        {"<opml><body><outline xmlUrl='http://x'/>", FeedListResult::Status::Unreadable},
        {"", FeedListResult::Status::Unreadable},
        {"<opml><body><outline xmlUrl='http://x'/></body></opml>trailing", FeedListResult::Status::Unreadable},
    };
    for (const auto& c : cases) {
        const FeedListResult result = ReadOpmlFeedList(Write("feedlist.xml", c.xml));
        EXPECT_EQ(result.status, c.status) << c.xml;
        EXPECT_TRUE(result.urls.empty()) << c.xml;
        EXPECT_EQ(result.error.rfind(Path("feedlist.xml") + ": ", 0), 0u) << c.xml << " -> " << result.error;
    }
    const FeedListResult wrong = ReadSettingsFeedList(Write("Quillo.xml", "<other><feed-list><feed>u</feed></feed-list></other>"));
    EXPECT_EQ(wrong.status, FeedListResult::Status::WrongRoot);
    EXPECT_TRUE(wrong.urls.empty());
}

TEST_F(StoreFeedList, EntitiesCannotBlowUpAnAttribute) {
    std::string dtd = "<!DOCTYPE opml [<!ENTITY a0 'aaaaaaaaaa'>";
    for (int i = 1; i <= 9; ++i) {
        dtd += "<!ENTITY a" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) dtd += "&a" + std::to_string(i - 1) + ";";
        dtd += "'>";
    }
    const FeedListResult result =
        ReadOpmlFeedList(Write("feedlist.xml", dtd + "]><opml><body><outline xmlUrl='&a9;'/></body></opml>"));
    EXPECT_EQ(result.status, FeedListResult::Status::Unreadable);
    EXPECT_TRUE(result.urls.empty());
}

}  // namespace
