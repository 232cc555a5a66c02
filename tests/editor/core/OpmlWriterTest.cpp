#include "OpmlWriter.h"

#include "OpmlReader.h"
#include "TreeDump.h"
#include "jconvert.h"


#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Mon, 7 Dec 2026 03:05:09 GMT
constexpr std::time_t kNow = 1796612709;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path TempDir(const std::string& name) {
    const fs::path dir = fs::path(testing::TempDir()) / ("corvane-writer-" + name + "-" +
                                                        std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<opml version=\"1.0\">\r\n\t<head>\r\n";

TEST(OpmlWriter, TheFixedTimeIsTheOneTheTestsAssume) {
    EXPECT_EQ(FormatUtc(kOpmlDatePattern, kNow), "Mon, 7 Dec 2026 03:05:09 GMT");
}

TEST(OpmlWriter, EmptyTreeAndHeadGiveTheMinimalDocument) {
    OutlineNode tree;
    EXPECT_EQ(BuildOpmlText(OpmlHead{}, tree, kNow),
              kHeader +
                  "\t\t<dateCreated>Mon, 7 Dec 2026 03:05:09 GMT</dateCreated>\r\n"
                  "\t\t<dateModified>Mon, 7 Dec 2026 03:05:09 GMT</dateModified>\r\n"
                  "\t</head>\r\n\t<body>\r\n\t</body>\r\n</opml>\r\n");
}

TEST(OpmlWriter, WritesHeadLinesFoldersAndItemsByteForByte) {
    OutlineNode tree;
    OutlineNode* news = &AppendFolder(tree, "ニュース & 話題");
    OutlineNode* inner = &AppendFolder(*news, "Inner");
    AppendFeedItem(*inner, "Deep", {"http://127.0.0.1/deep?a=1&amp;b=2", "say \"hi\" it's", ""});
    AppendFolder(*news, "Empty");
    AppendFeedItem(tree, "<Top>", {"http://127.0.0.1/top", "", "http://127.0.0.1/"});
    OpmlHead head{"My &amp; feeds", "花子", "h@example.jp", "Sun, 1 Mar 2026 09:05:03 GMT",
                  "ignored on save", "style.xsl?x=1&y=2"};
    EXPECT_EQ(BuildOpmlText(head, tree, kNow),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<?xml-stylesheet href=\"style.xsl?x=1&amp;y=2\" type=\"text/xsl\"?>\r\n"
              "<opml version=\"1.0\">\r\n\t<head>\r\n"
              "\t\t<title>My &amp; feeds</title>\r\n"
              "\t\t<dateCreated>Sun, 1 Mar 2026 09:05:03 GMT</dateCreated>\r\n"
              "\t\t<dateModified>Mon, 7 Dec 2026 03:05:09 GMT</dateModified>\r\n"
              "\t\t<ownerName>花子</ownerName>\r\n"
              "\t\t<ownerEmail>h@example.jp</ownerEmail>\r\n"
              "\t</head>\r\n\t<body>\r\n"
              "\t\t<outline text=\"ニュース &amp; 話題\">\r\n"
              "\t\t\t<outline text=\"Inner\">\r\n"
              "\t\t\t\t<outline text=\"Deep\" type=\"rss\" xmlUrl=\"http://127.0.0.1/deep?a=1&amp;b=2\" "
              "description=\"say &quot;hi&quot; it&#39;s\" htmlUrl=\"\" title=\"Deep\" />\r\n"
              "\t\t\t</outline>\r\n"
              "\t\t\t<outline text=\"Empty\">\r\n"
              "\t\t\t</outline>\r\n"
              "\t\t</outline>\r\n"
              "\t\t<outline text=\"&lt;Top&gt;\" type=\"rss\" xmlUrl=\"http://127.0.0.1/top\" "
              "description=\"\" htmlUrl=\"http://127.0.0.1/\" title=\"&lt;Top&gt;\" />\r\n"
              "\t</body>\r\n</opml>\r\n");
}

TEST(OpmlWriter, AnAmpersandAndAnAmpEntityGiveTheSameBytes) {
    OutlineNode a, b;
    AppendFeedItem(a, "A & B", {});
    AppendFeedItem(b, "A &amp; B", {});
    EXPECT_EQ(BuildOpmlText({}, a, kNow), BuildOpmlText({}, b, kNow));
}

TEST(OpmlWriter, CharactersXmlForbidsAreLeftOutSoTheFileStaysXml) {
    OutlineNode tree;
    AppendFeedItem(tree, "a\x01" "b\x0B", {"http://127.0.0.1/\x1F", "tab\tkept\xEF\xBF\xBF", ""});
    const std::string text = BuildOpmlText({}, tree, kNow);
    EXPECT_NE(text.find("<outline text=\"ab\" type=\"rss\" xmlUrl=\"http://127.0.0.1/\" "
                        "description=\"tab\tkept\" htmlUrl=\"\" title=\"ab\" />"),
              std::string::npos);
}

// Reads text into a fresh tree and returns the tree as text.
std::string ReadBack(const std::string& text, OpmlHead* head = nullptr) {
    OutlineNode tree;
    OpmlReader reader(tree);
    EXPECT_TRUE(reader.ScanBuffer(text).ok);
    if (head) *head = reader.ScratchHead();
    return DumpTree(tree);
}

TEST(OpmlWriter, ItsOwnOutputReadsBackIntoTheSameTreeAndHead) {
    OutlineNode tree;
    OutlineNode* f = &AppendFolder(tree, "日本語 \"フォルダ\" <1>");
    AppendFeedItem(*f, "It's", {"http://127.0.0.1/a?x=1&y=2", "説明 & more", "http://127.0.0.1/"});
    AppendFolder(*f, "");
    AppendFeedItem(tree, "", {});
    const OpmlHead head{"T", "N", "E", "C", "", "s.xsl"};
    const std::string text = BuildOpmlText(head, tree, kNow);
    OpmlHead read;
    EXPECT_EQ(ReadBack(text, &read), DumpTree(tree));
    EXPECT_EQ(read, (OpmlHead{"T", "N", "E", "C", "Mon, 7 Dec 2026 03:05:09 GMT", "s.xsl"}));
}

TEST(OpmlWriter, SaveReplacesTheFileAndLeavesNoTemporaryFile) {
    const fs::path dir = TempDir("save");
    const fs::path file = dir / "feedlist.xml";
    std::ofstream(file, std::ios::binary) << "old contents";
    chmod(file.c_str(), 0640);
    OutlineNode tree;
    AppendFeedItem(tree, "A", {"http://127.0.0.1/a", "", ""});
    const OpmlSaveResult result = SaveOpmlFile(file.string(), {}, tree);
    ASSERT_TRUE(result.ok) << result.detail;
    EXPECT_EQ(ReadBack(ReadBytes(file)), "item A | http://127.0.0.1/a |  | \n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(OpmlWriter, SaveThroughASymbolicLinkUpdatesTheLinkedFile) {
    const fs::path dir = TempDir("link");
    std::ofstream(dir / "real.opml", std::ios::binary) << "old";
    fs::create_symlink("real.opml", dir / "link.opml");
    OutlineNode tree;
    ASSERT_TRUE(SaveOpmlFile((dir / "link.opml").string(), {}, tree).ok);
    EXPECT_TRUE(fs::is_symlink(dir / "link.opml"));
    EXPECT_NE(ReadBytes(dir / "real.opml").find("<opml"), std::string::npos);
}

TEST(OpmlWriter, FailureGivesTheMessageAndKeepsTheOldFile) {
    const fs::path dir = TempDir("fail");
    OutlineNode tree;
    OpmlSaveResult result = SaveOpmlFile((dir / "missing-dir" / "x.opml").string(), {}, tree);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "ファイルの保存に失敗しました。");
    EXPECT_FALSE(result.detail.empty());

    if (geteuid() != 0) {  // root writes into read-only directories
        const fs::path file = dir / "kept.opml";
        std::ofstream(file, std::ios::binary) << "precious";
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        result = SaveOpmlFile(file.string(), {}, tree);
        fs::permissions(dir, fs::perms::owner_all);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(ReadBytes(file), "precious");
    }
    EXPECT_FALSE(SaveOpmlFile("", {}, tree).ok);
}

TEST(OpmlWriter, DeepTreesAreWrittenWithoutRecursion) {
    OutlineNode tree;
    OutlineNode* parent = &tree;
    for (int i = 0; i < 3000; ++i) parent = &AppendFolder(*parent, "f");
    AppendFeedItem(*parent, "leaf", {"http://127.0.0.1/", "", ""});
    const std::string text = BuildOpmlText({}, tree, kNow);
    EXPECT_NE(text.find(std::string(3002, '\t') + "<outline text=\"leaf\""), std::string::npos);
}

}  // namespace
