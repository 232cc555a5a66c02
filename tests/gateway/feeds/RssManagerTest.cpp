#include "RssManager.h"

#include "GatewayContext.h"
#include "Notifier.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Records every box instead of showing it.
class RecordingNotifier : public Notifier {
public:
    Answer Show(const std::string& text, const std::string& title, Icon, Buttons) override {
        shown.push_back(title + "|" + text);
        return Answer::No;
    }
    std::vector<std::string> shown;
};

class RssManagerTest : public ::testing::Test {
protected:
  void SetUp() override { context_.UseNotifier(notifier_); }

  void Write(const std::string& name, const std::string& text) {
      std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string ReadLog() {
        std::ifstream file(dir_ / "log.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    Settings Load(const std::string& quilloXml) {
        Write("Quillo.xml", quilloXml);
        RssManager manager(context_);
        manager.LoadSettings();
        return manager.GetSettings();
    }
    std::vector<std::string> FeedUrls() {
        RssManager manager(context_);
        manager.LoadSettings();
        manager.LoadFeedList();
        std::vector<std::string> urls;
        for (const auto& handler : manager.Handlers()) urls.push_back(handler->GetFeed()->url);
        return urls;
    }

    TempDir temp_{"quillo-manager"};
    fs::path dir_ = temp_.Path();
    std::shared_ptr<RecordingNotifier> notifier_ = std::make_shared<RecordingNotifier>();
    GatewayContext context_{PortableAppLayout(dir_.string())};
};

std::string Settings1(const std::string& inner) { return "<quillo><settings>" + inner + "</settings></quillo>"; }

TEST_F(RssManagerTest, NoSettingsFileGivesTheDefaults) {
    RssManager manager(context_);
    manager.LoadSettings();
    EXPECT_EQ(manager.GetSettings().port, 110);
    EXPECT_FALSE(manager.GetSettings().disableMessageBox);
    EXPECT_FALSE(manager.GetSettings().disableTrayIcon);
    EXPECT_FALSE(manager.GetSettings().enableHtml);
    EXPECT_EQ(manager.GetSettings().listenAddress, "127.0.0.1");
    EXPECT_FALSE(fs::exists(dir_ / "log.txt"));
}

TEST_F(RssManagerTest, SettingsFollowTheFileRules) {
    struct Case {
        std::string xml;
        int port;
        bool noBoxes, noTray, html;
    };
    const Case cases[] = {
        {Settings1("<enable-html>true</enable-html>"), 110, false, false, true},
        {Settings1("<port>1110</port><port>2110</port>"), 2110, false, false, false},
        {"<quillo><settings><port>1</port></settings><settings><port>3</port></settings></quillo>", 3, false, false, false},
        {Settings1("<disable-trayicon>True</disable-trayicon>"), 110, false, false, false},
        {Settings1("<disable-trayicon>true</disable-trayicon><disable-messagebox>true</disable-messagebox>"), 110, true, true, false},
        {Settings1("<disable-messagebox> true </disable-messagebox>"), 110, false, false, false},
        {Settings1("<disable-messagebox>true</disable-messagebox><disable-messagebox>false</disable-messagebox>"), 110, false, false, false},
        {Settings1("<port>   995</port>"), 995, false, false, false},
        {Settings1("<Port>5</Port><unknown>1</unknown>"), 110, false, false, false},
        {"<quillo><feed-list><feed>x</feed></feed-list></quillo>", 110, false, false, false},
        {"<?xml version='1.0' encoding='Shift_JIS'?><quillo><!-- c --><settings><port>7</port></settings></quillo>", 7, false, false, false},
    };
    for (const auto& c : cases) {
        Settings s = Load(c.xml);
        EXPECT_EQ(s.port, c.port) << c.xml;
        EXPECT_EQ(s.disableMessageBox, c.noBoxes) << c.xml;
        EXPECT_EQ(s.disableTrayIcon, c.noTray) << c.xml;
        EXPECT_EQ(s.enableHtml, c.html) << c.xml;
    }
}

TEST_F(RssManagerTest, ListenAddressIsLoopbackUnlessSetToAValidAddress) {
    EXPECT_EQ(Load(Settings1("<listen-address>0.0.0.0</listen-address>")).listenAddress, "0.0.0.0");
    EXPECT_EQ(Load(Settings1("<listen-address> 192.168.1.2\n</listen-address>")).listenAddress, "192.168.1.2");
    EXPECT_FALSE(fs::exists(dir_ / "log.txt"));
    EXPECT_EQ(Load(Settings1("<listen-address>everywhere</listen-address>")).listenAddress, "127.0.0.1");
    EXPECT_NE(ReadLog().find("everywhere"), std::string::npos);
}

TEST_F(RssManagerTest, PasswordIsTakenExactlyAsWritten) {
    EXPECT_EQ(Load(Settings1("")).password, "");
    EXPECT_EQ(Load(Settings1("<password> two words </password>")).password, " two words ");
    EXPECT_EQ(Load(Settings1("<password>a&amp;b</password>")).password, "a&b");
}

TEST_F(RssManagerTest, AnUnusableSettingsFileStopsWithItsReasonOnStandardErrorAndInTheLog) {
    const std::string path = (dir_ / "Quillo.xml").string();
    const std::pair<std::string, std::string> cases[] = {
        {"<quillo><settings><port>5", path + ": line "},
        {"<quillo><settings><port>5</port></settings>", path + ": line "},
        {"<other><settings><port>5</port></settings></other>", path + ": the document element is not quillo"},
        {std::string("\0\xff\xfe", 3), path + ": "},
        {Settings1("<port>0</port>"), path + ": the port \"0\" is not a number from 1 to 65535"},
        {Settings1("<port>70000</port>"), path + ": the port \"70000\""},
        {Settings1("<port>abc</port>"), path + ": the port \"abc\""},
    };
    for (const auto& [xml, reason] : cases) {
        fs::remove(dir_ / "log.txt");
        Write("Quillo.xml", xml);
        RssManager manager(context_);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(manager.LoadSettings()) << xml;
        const std::string err = ::testing::internal::GetCapturedStderr();
        const std::string log = ReadLog();
        EXPECT_EQ(log.rfind("[", 0), 0u) << log;
        for (const std::string& text : {log, err}) {
            EXPECT_NE(text.find("設定ファイルQuillo.xmlを使えないため、Quilloを終了します。\n" + reason), std::string::npos)
                << xml << " -> " << text;
        }
    }
    // Headless there is no box: standard error is where it is seen.
    EXPECT_TRUE(notifier_->shown.empty());
}

// Records every box as one that a user would see on the screen.
class ScreenNotifier : public RecordingNotifier {
public:
    bool ShowsBoxes() const override { return true; }
};

TEST_F(RssManagerTest, WithADisplayTheUnusableSettingsFileIsAlsoABoxUnlessTheFileDisablesThem) {
    auto screen = std::make_shared<ScreenNotifier>();
    context_.UseNotifier(screen);
    const std::pair<std::string, size_t> cases[] = {
        {"<quillo><settings><disable-messagebox>true</disable-messagebox>", 1},
        {Settings1("<port>0</port>"), 1},
        {Settings1("<port>0</port><disable-messagebox>true</disable-messagebox>"), 0},
    };
    for (const auto& [xml, boxes] : cases) {
        screen->shown.clear();
        Write("Quillo.xml", xml);
        RssManager manager(context_);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(manager.LoadSettings());
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("Quillo.xml"), std::string::npos);
        ASSERT_EQ(screen->shown.size(), boxes) << xml;
        if (boxes) {
            EXPECT_EQ(screen->shown[0].rfind("error|設定ファイルQuillo.xmlを使えないため", 0), 0u);
        }
    }
    Write("Quillo.xml", Settings1("<port> 1110 </port>"));
    RssManager manager(context_);
    EXPECT_TRUE(manager.LoadSettings());
    EXPECT_EQ(manager.GetSettings().port, 1110);
}

TEST_F(RssManagerTest, FeedListTakesSettingsFeedsFirstThenOutlinesDepthFirst) {
    Write("Quillo.xml",
          "<quillo><feed-list><feed>http://a/1</feed><feed>http://a/2</feed></feed-list>"
          "<settings/><feed-list><feed>http://a/3</feed><other>x</other></feed-list></quillo>");
    Write("feedlist.xml",
          "<?xml version='1.0' encoding='UTF-8'?><opml version='1.0'><head><title>t</title></head><body>"
          "<outline text='folder'>"
          "  <outline text='f1' xmlUrl='http://b/1'>"
          "    <outline text='f2' type='atom' xmlUrl='http://b/2'><outline xmlUrl='http://b/3'/></outline>"
          "  </outline>"
          "  <outline text='f4' xmlUrl='http://b/4'/>"
          "</outline>"
          "<outline text='f5' type='link' xmlUrl='http://b/1'/>"
          "<outline text='noUrl' XMLURL='http://ignored/'/>"
          "</body></opml>");
    std::vector<std::string> expected = {"http://a/1", "http://a/2", "http://a/3", "http://b/1",
                                         "http://b/2", "http://b/3", "http://b/4", "http://b/1"};
    EXPECT_EQ(FeedUrls(), expected);
    EXPECT_TRUE(notifier_->shown.empty());
}

TEST_F(RssManagerTest, FeedUrlsAreNeverTrimmed) {
    Write("Quillo.xml", "<quillo><feed-list><feed>\n  http://a/1 \n</feed><feed/></feed-list></quillo>");
    EXPECT_EQ(FeedUrls(), std::vector<std::string>{"\n  http://a/1 \n"});
}

TEST_F(RssManagerTest, AnEmptyXmlUrlIsStillAFeed) {
    Write("feedlist.xml", "<opml><body><outline text='new' xmlUrl=''/><outline xmlUrl='http://b/1'/></body></opml>");
    EXPECT_EQ(FeedUrls(), (std::vector<std::string>{"", "http://b/1"}));
}

TEST_F(RssManagerTest, NonAsciiFeedUrlsArriveAsUtf8) {
    Write("feedlist.xml",
          "<?xml version='1.0' encoding='Shift_JIS'?><opml><body><outline xmlUrl='http://a/\x93\xfa'/></body></opml>");
    EXPECT_EQ(FeedUrls(), std::vector<std::string>{"http://a/日"});
}

TEST_F(RssManagerTest, MissingFeedListIsSilent) {
    EXPECT_TRUE(FeedUrls().empty());
    EXPECT_TRUE(notifier_->shown.empty());
}

TEST_F(RssManagerTest, FeedListWithoutOpmlOrNotWellFormedShowsTheBoxEvenWithBoxesDisabled) {
    Write("Quillo.xml", Settings1("<disable-messagebox>true</disable-messagebox>") );
    for (const std::string opml : {"<rss><body><outline xmlUrl='http://x'/></body></rss>", "<opml><body>",
                                   "", "<!DOCTYPE a [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>"
                                   "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'><!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'>"
                                   "<!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;'><!ENTITY f '&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;'>]>"
                                   "<opml><body><outline xmlUrl='&f;'/></body></opml>"}) {
        notifier_->shown.clear();
        Write("feedlist.xml", opml);
        EXPECT_TRUE(FeedUrls().empty()) << opml;
        EXPECT_EQ(notifier_->shown, std::vector<std::string>{"error|OPMLフィードリストの解析に失敗しました。"}) << opml;
    }
}

TEST_F(RssManagerTest, AFeedListThatCannotBeReadIsLoggedWithItsPathAndReason) {
    const std::string path = (dir_ / "feedlist.xml").string();
    const std::pair<std::string, std::string> cases[] = {
        {"<opml><body>", path + ": line "},
        {"<rss/>", path + ": the document element is not opml"},
    };
    for (const auto& [opml, reason] : cases) {
        fs::remove(dir_ / "log.txt");
        Write("feedlist.xml", opml);
        EXPECT_TRUE(FeedUrls().empty());
        EXPECT_NE(ReadLog().find("OPMLフィードリストの解析に失敗しました。\n" + reason), std::string::npos) << ReadLog();
    }
}

TEST_F(RssManagerTest, DeeplyNestedOutlinesDoNotExhaustTheStack) {
    auto nested = [](int depth) {
        std::string opml = "<opml><body>";
        for (int i = 0; i < depth; ++i) opml += "<outline xmlUrl='u" + std::to_string(i) + "'>";
        for (int i = 0; i < depth; ++i) opml += "</outline>";
        return opml + "</body></opml>";
    };
    // As deep as the XML parser nests, every outline is a feed.
    const int depth = 250;
    Write("feedlist.xml", nested(depth));
    auto urls = FeedUrls();
    ASSERT_EQ(urls.size(), static_cast<size_t>(depth));
    EXPECT_EQ(urls.front(), "u0");
    EXPECT_EQ(urls.back(), "u" + std::to_string(depth - 1));
    EXPECT_TRUE(notifier_->shown.empty());
    // Deeper than that the parser stops, and the list is one it cannot read.
    Write("feedlist.xml", nested(20000));
    EXPECT_TRUE(FeedUrls().empty());
    EXPECT_EQ(notifier_->shown, std::vector<std::string>{"error|OPMLフィードリストの解析に失敗しました。"});
}

TEST_F(RssManagerTest, LoadingTheFeedListRebuildsTheHandlersEveryTime) {
    Write("Quillo.xml", "<quillo><feed-list><feed>http://127.0.0.1:9/a</feed></feed-list></quillo>");
    RssManager manager(context_);
    manager.LoadSettings();
    manager.LoadFeedList();
    auto first = manager.Handlers();
    ASSERT_EQ(first.size(), 1u);
    Write("Quillo.xml", "<quillo><feed-list><feed>http://127.0.0.1:9/a</feed><feed>http://127.0.0.1:9/b</feed></feed-list></quillo>");
    manager.LoadFeedList();
    ASSERT_EQ(manager.Handlers().size(), 2u);
    EXPECT_NE(manager.Handlers()[0], first[0]);
}

}  // namespace
