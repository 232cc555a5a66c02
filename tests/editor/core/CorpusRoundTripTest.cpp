#include "OpmlReader.h"
#include "OpmlWriter.h"
#include "TreeDump.h"


#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kNow = 1796612709;

// The OPML documents of the shared corpus: exports of real feed readers and the
// format's own examples, some of them deliberately broken.
std::vector<fs::path> CorpusOpmlFiles() {
    std::vector<fs::path> files;
    for (const char* dir : {"liferea", "newsboat", "opml-rs", "node-opmlparser", "rome/rome-opml"}) {
        const fs::path root = fs::path(QUILLO_CORPUS) / dir;
        if (!fs::exists(root)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".opml" || name.find("opml") != std::string::npos) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(CorpusRoundTrip, EveryCorpusOpmlSurvivesWriteAndReadBack) {
    const std::vector<fs::path> files = CorpusOpmlFiles();
    ASSERT_GE(files.size(), 20u);
    int withNodes = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        OutlineNode first;
        OpmlReader reader(first);
        reader.ScanFile(file.string());
        if (first.ChildCount() > 0) ++withNodes;
        const std::string written = BuildOpmlText(reader.ScratchHead(), first, kNow);

        OutlineNode second;
        OpmlReader again(second);
        const XmlScanResult result = again.ScanBuffer(written);
        EXPECT_TRUE(result.ok) << result.error << " at line " << result.line;
        EXPECT_EQ(again.Outcome() == OpmlScanOutcome::NotOpml, false);
        EXPECT_EQ(DumpTree(second), DumpTree(first));
        EXPECT_EQ(BuildOpmlText(again.ScratchHead(), second, kNow), written);
    }
    EXPECT_GE(withNodes, 15);
}

TEST(CorpusRoundTrip, NewsboatExampleGivesItsFoldersAndFeedsInOrder) {
    OutlineNode tree;
    OpmlReader reader(tree);
    ASSERT_TRUE(reader.ScanFile(std::string(QUILLO_CORPUS) + "/newsboat/test/data/example.opml").ok);
    EXPECT_EQ(reader.Outcome(), OpmlScanOutcome::Success);
    EXPECT_EQ(reader.ScratchHead().title, "Example OPML file for Newsboat tests");
    EXPECT_EQ(DumpTree(tree),
              "item example.com website | https://example.com/feed.xml |  | \n"
              "item Distrowatch mirror | https://example.com/mirrors/distrowatch.rss |  | \n"
              "item example.com website (Atom feed) | https://example.com/feed.atom |  | \n"
              "item example.com website (RSS 0.9 feed) | https://example.com/feed.rss09 |  | \n"
              "folder should be ignored\n"
              " item John's musings | https://blogs.example.com/~john/posts.rss |  | \n"
              " folder friends\n"
              "  item Notes by Mike | https://blogs.example.com/~mike/.rss |  | \n"
              "folder eloquent\n"
              " item Fred on everything | https://fred.example.com/writing/index.php?type=rss |  | \n");
}

TEST(CorpusRoundTrip, LifereaExportWithoutTypesKeepsItsFeeds) {
    OutlineNode tree;
    OpmlReader reader(tree);
    ASSERT_TRUE(reader.ScanFile(std::string(QUILLO_CORPUS) + "/liferea/opml/feedlist_en.opml").ok);
    ASSERT_GE(tree.ChildCount(), 1);
    OutlineNode* news = tree.Child(0)->Child(0);
    ASSERT_NE(news, nullptr);
    EXPECT_EQ(news->text, "News");
    ASSERT_TRUE(news->Child(0)->IsFeedItem());
    EXPECT_EQ(news->Child(0)->data->xmlUrl, "https://feeds.arstechnica.com/arstechnica/index");
    EXPECT_EQ(news->Child(0)->data->htmlUrl, "https://arstechnica.com");
}

TEST(CorpusRoundTrip, MalformedCorpusDocumentIsRejectedWhereItGoesWrong) {
    // The file starts in the middle of an attribute value: text before any element.
    OutlineNode tree;
    OpmlReader reader(tree);
    const XmlScanResult result =
        reader.ScanFile(std::string(QUILLO_CORPUS) + "/node-opmlparser/test/opml/malformed.opml");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 1u);
    EXPECT_EQ(reader.Outcome(), OpmlScanOutcome::NotOpml);
    EXPECT_EQ(tree.ChildCount(), 0);
}

}  // namespace
