#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QUrl>

#include "HttpClient.h"
#include "UnitFrmMainImages.h"
#include "UiTestSupport.h"
#include "UnitFrmAddItemFromUrl.h"
#include "UnitFrmAppointOpmlUrl.h"
#include "UnitFrmOption.h"
#include "UnitFrmSearchBulkfeeds.h"

namespace {

class NetworkCommandsTest : public FrmMainTest {
protected:
    static void SetUpTestSuite() {
        TestApp();
        server_ = new EditorHttpServer;
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        FrmMainTest::SetUp();
        ASSERT_NE(server_->Port(), 0) << "loopback server did not start";
    }
    // The window with the fake service as its Bulkfeeds host.
    TFrmMain& OpenWithHost(const QStringList& arguments = {}, const std::string& apiKey = "") {
        CorvaneSettings settings;
        settings.bulkfeedsHost = server_->Host().toStdString();
        settings.apiKey = apiKey;
        SaveSettings(settings, SettingsFile());
        return Open(arguments);
    }
    void AnswerUrl(const QString& url) {
        dialogs_.SetNextDialogHandler([url](QDialog* d) {
            if (auto* u = qobject_cast<TFrmAppointOpmlUrl*>(d)) u->EdtOpmlUrl->setText(url);
            if (auto* a = qobject_cast<TFrmAddItemFromUrl*>(d)) a->EdtUrl->setText(url);
            return int(QDialog::Accepted);
        });
    }
    void AnswerSearch(const QString& text, int field) {
        dialogs_.SetNextDialogHandler([text, field](QDialog* d) {
            auto* s = static_cast<TFrmSearchBulkfeeds*>(d);
            s->EdtSearchString->setText(text);
            s->CbxSearchType->setCurrentIndex(field);
            return int(QDialog::Accepted);
        });
    }
    static QString ServerLog() {
        HttpClient client;
        const HttpResult r = client.Get(server_->Url("/__log").toStdString());
        return QString::fromUtf8(r.body);
    }
    static EditorHttpServer* server_;
};

EditorHttpServer* NetworkCommandsTest::server_ = nullptr;

TEST_F(NetworkCommandsTest, ClientSendsTheEditorsHeaders) {
    TestApp();
    HttpClient client;
    const HttpResult r = client.Get(server_->Url("/echo").toStdString());
    ASSERT_TRUE(r.ok) << r.errorMessage;
    const QString headers = QString::fromUtf8(r.body);
    EXPECT_TRUE(headers.contains("User-Agent: Mozilla/3.0 (compatible; Corvane 1.1.3; Powered by Indy Library)"));
    EXPECT_TRUE(headers.contains("Connection: Close"));
    EXPECT_TRUE(headers.contains("Accept: text/html, */*"));
}

TEST_F(NetworkCommandsTest, ClientKeepsCookiesBetweenRequests) {
    HttpClient client;
    ASSERT_TRUE(client.Get(server_->Url("/cookie/set").toStdString()).ok);
    EXPECT_EQ(client.Get(server_->Url("/cookie/check").toStdString()).body, "sid=abc123");
}

struct StatusCase {
    const char* path;
    bool ok;
    long status;
};

class HttpStatusRule : public NetworkCommandsTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(HttpStatusRule, OnlySuccessAndRedirectsWithALocationComplete) {
    HttpClient client;
    const HttpResult r = client.Get(server_->Url(GetParam().path).toStdString());
    EXPECT_EQ(r.ok, GetParam().ok) << r.errorMessage;
    EXPECT_EQ(r.status, GetParam().status);
    if (!r.ok) {
        EXPECT_FALSE(r.errorMessage.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Statuses, HttpStatusRule,
                         ::testing::Values(StatusCase{"/opml/basic.opml", true, 200},
                                           StatusCase{"/status/204", true, 204},
                                           StatusCase{"/redirect", true, 302},
                                           StatusCase{"/status/304", false, 304},
                                           StatusCase{"/status/301", false, 301},
                                           StatusCase{"/status/404", false, 404},
                                           StatusCase{"/status/500", false, 500}),
                         [](const auto& info) { return "Status" + std::to_string(info.param.status); });

TEST_F(NetworkCommandsTest, RedirectIsReportedNotFollowed) {
    HttpClient client;
    const HttpResult r = client.Get(server_->Url("/redirect").toStdString());
    EXPECT_EQ(r.body, "moved");
    EXPECT_EQ(r.location, server_->Url("/opml/basic.opml").toStdString());
}

TEST_F(NetworkCommandsTest, SilentServerFailsAfterTheReadTimeOut) {
    HttpClient client;
    client.SetReadTimeoutMs(1000);
    const HttpResult r = client.Get(server_->Url("/slow").toStdString());
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.errorMessage.empty());
}

TEST_F(NetworkCommandsTest, WindowKeepsPaintingWhileARequestRuns) {
    TFrmMain& w = Open();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(50);
    w.Http().SetReadTimeoutMs(1000);
    w.Http().Get(server_->Url("/slow").toStdString());
    EXPECT_GE(ticks, 5);
}

TEST_F(NetworkCommandsTest, ProxyFromTheEnvironmentIsNeverUsed) {
    qputenv("http_proxy", "http://127.0.0.1:1");
    qputenv("HTTP_PROXY", "http://127.0.0.1:1");
    HttpClient client;
    const HttpResult r = client.Get(server_->Url("/opml/basic.opml").toStdString());
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    EXPECT_TRUE(r.ok) << r.errorMessage;
}

TEST_F(NetworkCommandsTest, OnlyHttpAddressesAreFetched) {
    const QString local = WriteFile("secret.txt", "secret");
    HttpClient client;
    const HttpResult r = client.Get(QUrl::fromLocalFile(local).toString().toStdString());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.body.isEmpty());
}

TEST_F(NetworkCommandsTest, OversizedBodyFailsInsteadOfFillingMemory) {
    HttpClient client;
    client.SetMaxBodyBytes(100);
    const HttpResult r = client.Get(server_->Url("/opml/basic.opml").toStdString());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.body.isEmpty());
}

TEST_F(NetworkCommandsTest, RefusedConnectionFails) {
    HttpClient client;
    const HttpResult r = client.Get("http://127.0.0.1:1/");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
}

TEST_F(NetworkCommandsTest, OpenFromUrlReplacesTheTreeAndLeavesSaveOff) {
    TFrmMain& w = OpenWithHost({WriteFile("a.opml", kTwoLevelOpml)});
    AnswerUrl(server_->Url("/opml/basic.opml"));
    Act(w, "ActOpenOpmlFileFromUrl")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder A\n  Feed One\nFeed Two\n");
    EXPECT_EQ(Status(w)->text(), server_->Url("/opml/basic.opml"));
    EXPECT_EQ(w.DocumentFileName(), "feeds.opml");
    EXPECT_EQ(w.DocumentHead().title, "Loopback list");
    EXPECT_TRUE(Act(w, "ActAddOpmlFile")->isEnabled());
    EXPECT_TRUE(Act(w, "ActSaveAsOpmlFile")->isEnabled());
    EXPECT_FALSE(Act(w, "ActSaveOpmlFile")->isEnabled());
    EXPECT_TRUE(w.Modified());
    EXPECT_EQ(Form<TFrmAppointOpmlUrl>(w)->windowTitle(), "URLからOPMLファイルを開く...");
}

TEST_F(NetworkCommandsTest, OpenFromAnUnreachableUrlLeavesAnEmptyUnmodifiedDocument) {
    TFrmMain& w = OpenWithHost({WriteFile("a.opml", kTwoLevelOpml)});
    const QString url = server_->Url("/status/404");
    AnswerUrl(url);
    Act(w, "ActOpenOpmlFileFromUrl")->trigger();
    EXPECT_EQ(dialogs_.TakeShownMessages(),
              QStringList{"インターネット接続に失敗しました。\n" + url});
    EXPECT_EQ(TopCount(w), 0);
    EXPECT_TRUE(Status(w)->text().isEmpty());
    EXPECT_FALSE(w.Modified());
    EXPECT_TRUE(w.close());
}

TEST_F(NetworkCommandsTest, OpenFromAUrlWithoutOutlinesSaysNoFeedsWereFound) {
    TFrmMain& w = OpenWithHost();
    AnswerUrl(server_->Url("/opml/empty.opml"));
    Act(w, "ActOpenOpmlFileFromUrl")->trigger();
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"RSSが見つかりませんでした。"});
    EXPECT_FALSE(Act(w, "ActSaveAsOpmlFile")->isEnabled());
}

TEST_F(NetworkCommandsTest, OpenALatin1SubscriptionListOverHttp) {
    TFrmMain& w = OpenWithHost();
    AnswerUrl(server_->Url("/data/opml/subscriptions-latin1.opml"));
    Act(w, "ActOpenOpmlFileFromUrl")->trigger();
    EXPECT_EQ(TopCount(w), 13);
    EXPECT_TRUE(Record(w, Top(w, 0)).has_value());
}

TEST_F(NetworkCommandsTest, AddFromUrlAppendsAfterAnOpenedFile) {
    TFrmMain& w = OpenWithHost({WriteFile("a.opml", kTwoLevelOpml)});
    AnswerUrl(server_->Url("/opml/basic.opml"));
    Act(w, "ActAddOpmlFileFromUrl")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\nFolder A\n  Feed One\nFeed Two\n");
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_TRUE(Act(w, "ActSaveOpmlFile")->isEnabled());
}

TEST_F(NetworkCommandsTest, AddFromAFailingUrlLeavesTheTreeAlone) {
    TFrmMain& w = OpenWithHost({WriteFile("a.opml", kTwoLevelOpml)});
    AnswerUrl(server_->Url("/status/500"));
    Act(w, "ActAddOpmlFileFromUrl")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\n");
    EXPECT_EQ(dialogs_.TakeShownMessages().size(), 1);
}

TEST_F(NetworkCommandsTest, SearchSendsUtf8PercentEncodedTextAndTheFieldSuffix) {
    TFrmMain& w = OpenWithHost();
    AnswerSearch(QStringLiteral("日本 1"), 2);
    Act(w, "ActOpenBulkfeedsSearchResult")->trigger();
    EXPECT_EQ(Form<TFrmSearchBulkfeeds>(w)->windowTitle(), "Bulkfeedsの検索結果を開く...");
    EXPECT_TRUE(ServerLog().contains("GET /app/search.opml?q=%E6%97%A5%E6%9C%AC+%31;field=link"));
    ASSERT_EQ(TopCount(w), 1);
    EXPECT_FALSE(Act(w, "ActSaveOpmlFile")->isEnabled());
}

TEST_F(NetworkCommandsTest, SearchFieldIndexesGiveTheirSuffixes) {
    TFrmMain& w = OpenWithHost();
    const QString base = "http://" + server_->Host() + "/app/search.opml?q=a";
    EXPECT_EQ(w.SearchUrl("a", 0), base + ";field=title");
    EXPECT_EQ(w.SearchUrl("a", 1), base + ";field=description");
    EXPECT_EQ(w.SearchUrl("a", 2), base + ";field=link");
    EXPECT_EQ(w.SearchUrl("a", 7), base + ";field=title");
}

TEST_F(NetworkCommandsTest, AddSearchResultAppends) {
    TFrmMain& w = OpenWithHost({WriteFile("a.opml", kTwoLevelOpml)});
    AnswerSearch("x", 0);
    Act(w, "ActAddBulkfeedsSearchResult")->trigger();
    EXPECT_EQ(Form<TFrmSearchBulkfeeds>(w)->windowTitle(), "Bulkfeedsの検索結果を追加...");
    EXPECT_EQ(TopCount(w), 3);
}

TEST_F(NetworkCommandsTest, AddItemFromAPageUsesThePagesOwnFeedLink) {
    TFrmMain& w = OpenWithHost();
    AnswerUrl(server_->Url("/page/with-link.html"));
    Act(w, "ActAddItemFromUrl")->trigger();
    ASSERT_EQ(TopCount(w), 1);
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "ループバック日記");
    EXPECT_EQ(Record(w, node)->xmlUrl, server_->Url("/feed/rss2.xml").toStdString());
    EXPECT_EQ(Record(w, node)->description, "毎日のこと");
    EXPECT_EQ(Record(w, node)->htmlUrl, "http://127.0.0.1/diary/");
    EXPECT_TRUE(dialogs_.TakeShownMessages().isEmpty());  // no key needed
    EXPECT_FALSE(ServerLog().contains("/app/discover.xml"));
    EXPECT_EQ(w.focusWidget(), Box(w, "EdtRssTitle"));
}

TEST_F(NetworkCommandsTest, AddItemFromAFeedUrlTakesTheFeedItself) {
    TFrmMain& w = OpenWithHost();
    AnswerUrl(server_->Url("/feed/rss2.xml"));
    Act(w, "ActAddItemFromUrl")->trigger();
    EXPECT_EQ(Text(Top(w, 0)), "ループバック日記");
}

TEST_F(NetworkCommandsTest, PageWithoutFeedLinkAndNoKeyAsksForTheKey) {
    TFrmMain& w = OpenWithHost();
    AnswerUrl(server_->Url("/page/no-link.html"));
    bool optionsShown = false;
    dialogs_.SetNextDialogHandler([&optionsShown](QDialog* d) {
        auto* option = qobject_cast<TFrmOption*>(d);
        optionsShown = option != nullptr && option->PageControl->currentWidget() == option->tbsBulkfeeds;
        return int(QDialog::Rejected);
    });
    Act(w, "ActAddItemFromUrl")->trigger();
    EXPECT_TRUE(optionsShown);
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"BulkfeedsのAPI Keyが未設定です。"});
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "新規アイテム");
    EXPECT_EQ(Record(w, node)->htmlUrl, server_->Url("/page/no-link.html").toStdString());
}

TEST_F(NetworkCommandsTest, PageWithoutFeedLinkFallsBackToTheDiscoveryService) {
    TFrmMain& w = OpenWithHost({}, "KEY");
    AnswerUrl(server_->Url("/page/no-link.html"));
    Act(w, "ActAddItemFromUrl")->trigger();
    EXPECT_TRUE(ServerLog().contains("/app/discover.xml?url=http%3A%2F%2F%31%32%37%2E%30%2E%30%2E%31%3A"));
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "ループバック日記");
    EXPECT_EQ(Record(w, node)->xmlUrl, server_->Url("/feed/rss2.xml").toStdString());
}

TEST_F(NetworkCommandsTest, DiscoveryAnswerWithoutSuccessLeavesANewItemWithThePageUrl) {
    TFrmMain& w = OpenWithHost({}, "WRONG");
    AnswerUrl(server_->Url("/page/no-link.html"));
    Act(w, "ActAddItemFromUrl")->trigger();
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"RSSのURLを取得できませんでした。"});
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "新規アイテム");
    EXPECT_EQ(Record(w, node)->xmlUrl, "http://");
    EXPECT_EQ(Record(w, node)->htmlUrl, server_->Url("/page/no-link.html").toStdString());
}

TEST_F(NetworkCommandsTest, UpdateFromFeedReplacesTitleDescriptionAndSource) {
    const QByteArray opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><body><outline text=\"Old\" type=\"rss\" xmlUrl=\"" +
                            server_->Url("/feed/rss2.xml").toUtf8() + "\" description=\"old\" htmlUrl=\"x\"/></body></opml>";
    TFrmMain& w = OpenWithHost({WriteFile("u.opml", opml)});
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    Act(w, "ActUpdateFromRss")->trigger();
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "ループバック日記");
    EXPECT_EQ(Record(w, node)->description, "毎日のこと");
    EXPECT_EQ(Record(w, node)->htmlUrl, "http://127.0.0.1/diary/");
    EXPECT_TRUE(w.Modified());
}

TEST_F(NetworkCommandsTest, UpdateFromAFeedWithoutDescriptionKeepsTheItemsDescription) {
    const QByteArray opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><body><outline text=\"Old\" type=\"rss\" xmlUrl=\"" +
                            server_->Url("/feed/no-description.xml").toUtf8() + "\" description=\"keep me\" htmlUrl=\"x\"/></body></opml>";
    TFrmMain& w = OpenWithHost({WriteFile("u.opml", opml)});
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    Act(w, "ActUpdateFromRss")->trigger();
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "No description feed");
    EXPECT_EQ(Record(w, node)->description, "keep me");
}

TEST_F(NetworkCommandsTest, UpdateAnsweredNoOrFailingLeavesTheItemAlone) {
    const QByteArray opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><body><outline text=\"Old\" type=\"rss\" xmlUrl=\"" +
                            server_->Url("/status/404").toUtf8() + "\" description=\"old\" htmlUrl=\"x\"/></body></opml>";
    TFrmMain& w = OpenWithHost({WriteFile("u.opml", opml)});
    const qsizetype before = ServerLog().count("/status/404");
    dialogs_.SetNextAnswer(QMessageBox::No);
    Act(w, "ActUpdateFromRss")->trigger();
    EXPECT_EQ(ServerLog().count("/status/404"), before);
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    Act(w, "ActUpdateFromRss")->trigger();
    QPersistentModelIndex node = Top(w, 0);
    EXPECT_EQ(Text(node), "Old");
    EXPECT_EQ(Record(w, node)->description, "old");
    EXPECT_FALSE(w.Modified());
}

TEST_F(NetworkCommandsTest, CheckStatusReportsOkOnlyFor200) {
    const QByteArray opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><body>"
                            "<outline text=\"Good\" type=\"rss\" xmlUrl=\"" + server_->Url("/feed/rss2.xml").toUtf8() + "\"/>"
                            "<outline text=\"Moved\" type=\"rss\" xmlUrl=\"" + server_->Url("/redirect").toUtf8() + "\"/>"
                            "<outline text=\"Gone\" type=\"rss\" xmlUrl=\"" + server_->Url("/status/404").toUtf8() + "\"/>"
                            "</body></opml>";
    TFrmMain& w = OpenWithHost({WriteFile("s.opml", opml)});
    auto check = [this, &w](int row) {
        Tree(w)->setCurrentIndex(Top(w, row));
        w.FlushSelectionChange();
        Act(w, "ActCheckStatus")->trigger();
        return dialogs_.TakeShownMessages();
    };
    EXPECT_EQ(check(0), QStringList{"HTTP 1.1 200 OK."});
    EXPECT_TRUE(check(1).isEmpty());
    const QStringList gone = check(2);
    ASSERT_EQ(gone.size(), 1);
    EXPECT_TRUE(gone.front().contains("404"));
    EXPECT_TRUE(ServerLog().contains("HEAD /feed/rss2.xml"));
}

}  // namespace
