#include "FeedFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(FeedFolder, NamesKeepEverythingButTheSchemeSlashesAndQuestionMarks) {
    struct Case {
        std::string url;
        std::string name;
    };
    for (const Case& c : {
             Case{"http://host/news/feed.rdf?id=7", "host-news-feed.rdf-id=7"},
             Case{"https://host/news/feed.rdf?id=7", "host-news-feed.rdf-id=7"},
             Case{"http://host/a-b", "host-a-b"},
             Case{"http://host/a/b", "host-a-b"},
             Case{"http://Host:8080/A%20B#x&y=z", "Host:8080-A%20B#x&y=z"},
             Case{"host/feed", "host-feed"},
             Case{"http://a/b://c", "a-b:--c"},
             Case{"http://host/", "host-"},
         }) {
        EXPECT_EQ(GetFeedFolderName(c.url), c.name) << c.url;
    }
}

TEST(FeedFolder, NamesThatCouldAddressAnotherDirectoryBecomeSafeNames) {
    for (std::string url : std::vector<std::string>{"http://", "http://.", "http://..", "..", "", "http://" + std::string(300, 'a')}) {
        const std::string name = GetFeedFolderName(url);
        SCOPED_TRACE(url);
        EXPECT_FALSE(name.empty());
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.find('/'), std::string::npos);
    }
    // Long names stay apart by their hash, and stay the same from one run to the next.
    const std::string a = GetFeedFolderName("http://" + std::string(300, 'a') + "1");
    const std::string b = GetFeedFolderName("http://" + std::string(300, 'a') + "2");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, GetFeedFolderName("http://" + std::string(300, 'a') + "1"));
    EXPECT_EQ(a.substr(0, 200), std::string(200, 'a'));
}

}  // namespace
