// The gateway reads the feed list the editor saves: the same feed URLs, in the same
// order, must reach its feed manager.
#include "OpmlReader.h"
#include "OpmlWriter.h"

#include "CorpusFolder.h"
#include "GatewayContext.h"
#include "RssManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> GatewayFeedUrls(const fs::path& dir) {
    GatewayContext context(PortableAppLayout(dir.string()));
    RssManager manager(context);
    manager.LoadFeedList();
    std::vector<std::string> urls;
    for (const auto& handler : manager.Handlers()) urls.push_back(handler->GetFeed()->url);
    return urls;
}

// The feed URLs of the tree, depth-first, parents before children.
void EditorFeedUrls(const OutlineNode* node, std::vector<std::string>& urls) {
    if (const auto& data = node->data) urls.push_back(data->xmlUrl);
    for (int i = 0; i < node->ChildCount(); ++i) EditorFeedUrls(node->Child(i), urls);
}

fs::path FreshDir(const std::string& name) {
    const fs::path dir = fs::path(testing::TempDir()) / ("corvane-cross-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(FeedListCrossProgram, GatewayReadsTheFeedUrlsTheEditorSavedInTreeOrder) {
    OutlineNode tree;
    OutlineNode* news = &AppendFolder(tree, "ニュース");
    AppendFeedItem(*news, "One", {"http://127.0.0.1:8080/one.rdf", "", ""});
    OutlineNode* inner = &AppendFolder(*news, "Inner & more");
    AppendFeedItem(*inner, "Two", {"http://127.0.0.1:8080/two?a=1&b=\"2\"", "", ""});
    AppendFeedItem(*news, "Three", {"http://127.0.0.1:8080/three", "説明", ""});
    // A control character pasted into a description must not spoil the whole list.
    AppendFeedItem(tree, "Four", {"http://[::1]:8080/four", "bell\x07", ""});

    const fs::path dir = FreshDir("tree");
    ASSERT_TRUE(SaveOpmlFile((dir / "feedlist.xml").string(), {"t", "", "", "", "", ""}, tree).ok);
    EXPECT_EQ(GatewayFeedUrls(dir),
              (std::vector<std::string>{"http://127.0.0.1:8080/one.rdf", "http://127.0.0.1:8080/two?a=1&b=\"2\"",
                                        "http://127.0.0.1:8080/three", "http://[::1]:8080/four"}));
}

TEST(FeedListCrossProgram, CorpusFeedListsSavedByTheEditorReachTheGatewayUnchanged) {
    QUILLO_SKIP_WITHOUT_CORPUS();
    for (const char* file : {"newsboat/test/data/example.opml", "liferea/opml/feedlist_en.opml",
                             "node-opmlparser/test/opml/top100.opml",
                             "opml-rs/opml_api/tests/opml_examples/subscriptionList.opml"}) {
        SCOPED_TRACE(file);
        OutlineNode tree;
        OpmlReader reader(tree);
        reader.ScanFile(std::string(QUILLO_CORPUS) + "/" + file);
        std::vector<std::string> expected;
        for (int i = 0; i < tree.ChildCount(); ++i) EditorFeedUrls(tree.Child(i), expected);
        ASSERT_FALSE(expected.empty());
        const fs::path dir = FreshDir("corpus");
        ASSERT_TRUE(SaveOpmlFile((dir / "feedlist.xml").string(), reader.ScratchHead(), tree).ok);
        EXPECT_EQ(GatewayFeedUrls(dir), expected);
    }
}

}  // namespace
