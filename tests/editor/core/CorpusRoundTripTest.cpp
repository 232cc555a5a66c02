#include "OpmlReader.h"
#include "OpmlWriter.h"
#include "TreeDump.h"

#include "CorpusFolder.h"


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
    QUILLO_SKIP_WITHOUT_CORPUS();
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

// Shapes found in real exports, in documents of our own.
TEST(OpmlExportShapes, FeedsAndFoldersKeepTheirOrderWhateverTheAttributeOrder) {
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<opml version=\"1.0\">\n"
        "  <head>\n    <title>Exported subscriptions</title>\n  </head>\n\n"
        "  <body>\n"
        "    <outline type=\"rss\" xmlUrl=\"http://127.0.0.1/a.xml\" title=\"Alpha\" />\n"
        "    <outline title=\"Beta\" xmlUrl=\"http://127.0.0.1/b.atom\" type=\"rss\" />\n"
        "    <outline text=\"Shown\" title=\"title loses to text\">\n"
        "      <outline xmlUrl=\"http://127.0.0.1/~c/posts.rss\" title=\"Gamma's notes\" type=\"rss\" />\n"
        "      <outline title=\"inner\">\n"
        "        <outline xmlUrl=\"http://127.0.0.1/d/.rss\" title=\"Delta\" type=\"rss\" />\n"
        "      </outline>\n"
        "    </outline>\n"
        "    <outline title=\"last\">\n"
        "      <outline title=\"Epsilon\" xmlUrl=\"http://127.0.0.1/e.php?type=rss\" type=\"rss\" />\n"
        "    </outline>\n"
        "  </body>\n"
        "</opml>\n";
    OutlineNode tree;
    OpmlReader reader(tree);
    ASSERT_TRUE(reader.ScanBuffer(document).ok);
    EXPECT_EQ(reader.Outcome(), OpmlScanOutcome::Success);
    EXPECT_EQ(reader.ScratchHead().title, "Exported subscriptions");
    EXPECT_EQ(DumpTree(tree),
              "item Alpha | http://127.0.0.1/a.xml |  | \n"
              "item Beta | http://127.0.0.1/b.atom |  | \n"
              "folder title loses to text\n"
              " item Gamma's notes | http://127.0.0.1/~c/posts.rss |  | \n"
              " folder inner\n"
              "  item Delta | http://127.0.0.1/d/.rss |  | \n"
              "folder last\n"
              " item Epsilon | http://127.0.0.1/e.php?type=rss |  | \n");
}

TEST(OpmlExportShapes, OutlinesWithoutATypeKeepTheirFeeds) {
    const std::string document =
        "<?xml version=\"1.0\"?>\n<opml version=\"1.0\">\n<head>\n\t<title>Defaults</title>\t<!-- a note -->\n</head>\n"
        "<body>\n\t<!-- comments between outlines -->\n"
        "\t<outline text=\"Examples\">\n\t\t<outline text=\"News\">\n"
        "\t\t\t<outline text=\"Daily\" htmlUrl=\"http://127.0.0.1\" xmlUrl=\"http://127.0.0.1/daily/index\"/>\n"
        "\t\t\t<outline text=\"Weekly\" htmlUrl=\"http://127.0.0.1/w\"  xmlUrl=\"http://127.0.0.1/w/rss.xml?edition=int\" />\n"
        "\t\t</outline>\n\t</outline>\n</body>\n</opml>\n";
    OutlineNode tree;
    OpmlReader reader(tree);
    ASSERT_TRUE(reader.ScanBuffer(document).ok);
    ASSERT_GE(tree.ChildCount(), 1);
    OutlineNode* news = tree.Child(0)->Child(0);
    ASSERT_NE(news, nullptr);
    EXPECT_EQ(news->text, "News");
    ASSERT_TRUE(news->Child(0)->IsFeedItem());
    EXPECT_EQ(news->Child(0)->data->xmlUrl, "http://127.0.0.1/daily/index");
    EXPECT_EQ(news->Child(0)->data->htmlUrl, "http://127.0.0.1");
    ASSERT_TRUE(news->Child(1)->IsFeedItem());
}

TEST(OpmlExportShapes, TextBeforeAnyElementIsRejectedOnLineOne) {
    // A file cut so that it starts in the middle of an attribute value.
    OutlineNode tree;
    OpmlReader reader(tree);
    const XmlScanResult result = reader.ScanBuffer(
        ".org/\"/>\n<outline type=\"rss\" text=\"A\" xmlUrl=\"http://127.0.0.1/a\"/>\n</body></opml>\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 1u);
    EXPECT_EQ(reader.Outcome(), OpmlScanOutcome::NotOpml);
    EXPECT_EQ(tree.ChildCount(), 0);
}

}  // namespace
