// One feed's refresh (DownloadFeeds) against a real HTTP server on loopback.
#include "FeedDownload.h"
#include "FeedFolder.h"
#include "FeedRefresh.h"
#include "FetchState.h"
#include "FeedTestSupport.h"
#include "InternetSession.h"
#include "LoopbackHttpServer.h"
#include "RssHandler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <mutex>

namespace {

using namespace feedtest;
using Response = LoopbackHttpServer::Response;
using Request = LoopbackHttpServer::Request;

const char kFeed[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<rss version=\"2.0\"><channel><title>Loopback</title>"
    "<item><title>One</title><link>http://example.invalid/1</link><description>first</description></item>"
    "<item><title>Two</title><link>http://example.invalid/2</link><description>second</description></item>"
    "</channel></rss>\n";

class FeedDownload : public AppDirTest {
protected:
    void SetUp() override {
        AppDirTest::SetUp();
        session_.Open("QUILLO");
        server_ = std::make_unique<LoopbackHttpServer>(
            std::vector<std::string>{"127.0.0.1"}, [this](const Request& request) {
                std::lock_guard<std::mutex> lock(mutex_);
                return reply_(request);
            });
    }
    void TearDown() override {
        server_.reset();
        AppDirTest::TearDown();
    }
    void Reply(std::function<Response(const Request&)> reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = std::move(reply);
    }
    static Response Ok(std::string body, std::string lastModified = "") {
        Response r;
        r.body = std::move(body);
        if (!lastModified.empty()) r.headers.push_back({"Last-Modified", lastModified});
        return r;
    }
    std::shared_ptr<RssHandler> Run(const std::string& url) {
        auto handler = std::make_shared<RssHandler>(Context(), url, true, false);
        DownloadFeeds({handler}, session_, 1);
        return handler;
    }
    fs::path Folder(const std::string& url) { return GetFeedFolderPath(dir_.string(), url); }
    static FeedTransferLimits ShortLimits() {
        FeedTransferLimits limits;
        limits.connectTimeout = std::chrono::milliseconds(2000);
        limits.totalTimeout = std::chrono::milliseconds(1500);
        limits.maxBodyBytes = 64 * 1024;
        return limits;
    }

    InternetSession session_{ShortLimits()};
    std::mutex mutex_;
    std::function<Response(const Request&)> reply_ = [](const Request&) { return Ok(kFeed); };
    std::unique_ptr<LoopbackHttpServer> server_;
};

TEST_F(FeedDownload, A200ReplyStoresTheBodyAndLastModifiedAndYieldsItsItems) {
    Reply([](const Request&) { return Ok(kFeed, "Sat, 01 Jan 2005 00:00:00 GMT"); });
    const std::string url = server_->Url("/feed.xml");
    auto handler = Run(url);
    EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), kFeed);
    EXPECT_EQ(ReadFile(Folder(url) / "lastmodified.txt"), "Sat, 01 Jan 2005 00:00:00 GMT");
    ASSERT_EQ(Pending(*handler).size(), 2u);
    EXPECT_EQ(Pending(*handler)[0]->GetSubject(), "One");
    EXPECT_EQ(handler->GetFeed()->title, "Loopback");
    EXPECT_FALSE(Context().HadFeedError());
    EXPECT_TRUE(LogEntries().empty());
    EXPECT_FALSE(fs::exists(Folder(url) / "latest.xml.part"));
}

TEST_F(FeedDownload, TheFirstRequestCarriesNoConditionalHeaderAndLaterOnesTheStoredTextExactly) {
    Reply([](const Request&) { return Ok(kFeed, "Sat, 01 Jan 2005 00:00:00 GMT"); });
    const std::string url = server_->Url("/feed.xml");
    Run(url);
    WriteFile(Folder(url) / "lastmodified.txt", "whatever text  stored");
    Run(url);
    auto requests = server_->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headers.count("if-modified-since"), 0u);
    EXPECT_EQ(requests[1].Header("if-modified-since"), "whatever text  stored");
    EXPECT_EQ(requests[1].Header("user-agent"), "QUILLO");
    EXPECT_EQ(requests[1].target, "/feed.xml");
}

TEST_F(FeedDownload, ALineEndInTheStoredTextNeverStartsAHeaderOfItsOwn) {
    const std::string url = server_->Url("/feed.xml");
    WriteFile(Folder(url) / "lastmodified.txt", "Sat, 01 Jan 2005\r\nX-Injected: yes");
    Run(url);
    auto requests = server_->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("if-modified-since"), "Sat, 01 Jan 2005");
    EXPECT_EQ(requests[0].headers.count("x-injected"), 0u);
}

TEST_F(FeedDownload, A304ParsesTheStoredCopyAndChangesNoFile) {
    const std::string url = server_->Url("/feed.xml");
    Reply([](const Request&) { return Ok(kFeed, "Sat, 01 Jan 2005 00:00:00 GMT"); });
    Run(url);
    Reply([](const Request&) {
        Response r;
        r.status = 304;
        r.reason = "Not Modified";
        r.headers.push_back({"Last-Modified", "Sun, 02 Jan 2005 00:00:00 GMT"});
        return r;
    });
    auto handler = Run(url);
    EXPECT_EQ(Pending(*handler).size(), 2u);
    EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), kFeed);
    EXPECT_EQ(ReadFile(Folder(url) / "lastmodified.txt"), "Sat, 01 Jan 2005 00:00:00 GMT");
    EXPECT_TRUE(LogEntries().empty());
    EXPECT_FALSE(Context().HadFeedError());
}

TEST_F(FeedDownload, A304WithoutAStoredCopyYieldsNothingAndIsNoError) {
    Reply([](const Request&) {
        Response r;
        r.status = 304;
        r.reason = "Not Modified";
        return r;
    });
    auto handler = Run(server_->Url("/feed.xml"));
    EXPECT_TRUE(Pending(*handler).empty());
    EXPECT_TRUE(LogEntries().empty());
    EXPECT_FALSE(Context().HadFeedError());
}

TEST_F(FeedDownload, A200WithoutLastModifiedKeepsTheOldValue) {
    const std::string url = server_->Url("/feed.xml");
    WriteFile(Folder(url) / "lastmodified.txt", "Sat, 01 Jan 2005 00:00:00 GMT");
    Reply([](const Request&) { return Ok("<rss version=\"2.0\"><channel/></rss>"); });
    Run(url);
    EXPECT_EQ(ReadFile(Folder(url) / "lastmodified.txt"), "Sat, 01 Jan 2005 00:00:00 GMT");
    EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), "<rss version=\"2.0\"><channel/></rss>");
}

TEST_F(FeedDownload, EveryOtherStatusIsLoggedWithCodeReasonAndUrlAndStoresNothing) {
    struct Case {
        int status;
        std::string reason;
    };
    for (const Case& c : {Case{404, "Not Found"}, Case{203, "Non-Authoritative Information"},
                          Case{206, "Partial Content"}, Case{500, "Internal Server Error"}}) {
        SCOPED_TRACE(c.status);
        fs::remove(dir_ / "log.txt");
        RestartContext();
        const std::string url = server_->Url("/s" + std::to_string(c.status));
        WriteFile(Folder(url) / "latest.xml", "old");
        Reply([c](const Request&) {
            Response r = Ok("error page", "Sat, 01 Jan 2005 00:00:00 GMT");
            r.status = c.status;
            r.reason = c.reason;
            return r;
        });
        auto handler = Run(url);
        EXPECT_TRUE(Pending(*handler).empty());
        EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), "old");
        EXPECT_FALSE(fs::exists(Folder(url) / "lastmodified.txt"));
        EXPECT_TRUE(Context().HadFeedError());
        EXPECT_EQ(LogEntries(), std::vector<std::string>{
                                    "HTTPステータス: " + std::to_string(c.status) + " " + c.reason +
                                    "\nURLが正しいかどうか確認してください。\nURL: " + url + "\n\n"});
    }
}

TEST_F(FeedDownload, ARefusedConnectionIsASendFailure) {
    // A port nothing listens on: bind one, note it, close it.
    int port;
    {
        LoopbackHttpServer gone({"127.0.0.1"}, [](const Request&) { return Response{}; });
        std::string u = gone.Url("/");
        port = std::stoi(u.substr(u.rfind(':') + 1));
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/feed.xml";
    auto handler = Run(url);
    EXPECT_TRUE(Pending(*handler).empty());
    EXPECT_TRUE(Context().HadFeedError());
    EXPECT_EQ(LogEntries(), std::vector<std::string>{"HttpSendRequest()に失敗。\nURL: " + url + "\n\n"});
}

TEST_F(FeedDownload, SchemesOtherThanHttpAndHttpsCannotBeRequested) {
    for (std::string url : {"ftp://127.0.0.1/feed.xml", "file:///etc/passwd", "gopher://127.0.0.1/",
                            "http://127.0.0.1:99999/feed.xml", "http://127.0.0.1/a feed.xml", ""}) {
        SCOPED_TRACE(url);
        fs::remove(dir_ / "log.txt");
        Run(url);
        EXPECT_EQ(LogEntries(), std::vector<std::string>{"HttpOpenRequestに失敗。\nURL: " + url + "\n\n"});
        EXPECT_TRUE(Context().HadFeedError());
    }
    EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(FeedDownload, FailedTransfersKeepTheLastGoodCopy) {
    struct Case {
        const char* name;
        std::function<Response(const Request&)> reply;
    };
    const std::string big(200 * 1024, 'x');
    std::vector<Case> cases = {
        {"cut off midway",
         [](const Request&) {
             Response r = Ok(std::string(kFeed) + std::string(5000, ' '));
             r.cutAfter = 100;
             return r;
         }},
        {"slower than the time-out",
         [](const Request&) {
             Response r = Ok(kFeed);
             r.delay = std::chrono::milliseconds(4000);
             return r;
         }},
        {"larger than the limit", [big](const Request&) { return Ok(big); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "log.txt");
        RestartContext();
        const std::string url = server_->Url(std::string("/") + c.name[0] + ".xml");
        WriteFile(Folder(url) / "latest.xml", "last good copy");
        Reply(c.reply);
        auto handler = Run(url);
        EXPECT_TRUE(Pending(*handler).empty());
        EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), "last good copy");
        EXPECT_FALSE(fs::exists(Folder(url) / "latest.xml.part"));
        EXPECT_TRUE(Context().HadFeedError());
        EXPECT_EQ(LogEntries(), std::vector<std::string>{"HttpSendRequest()に失敗。\nURL: " + url + "\n\n"});
    }
}

TEST_F(FeedDownload, RedirectsAreFollowedAndTheFinalReplyCounts) {
    Reply([this](const Request& request) {
        if (request.target == "/old") {
            Response r;
            r.status = 301;
            r.reason = "Moved Permanently";
            r.headers.push_back({"Location", server_->Url("/new")});
            r.headers.push_back({"Last-Modified", "Mon, 01 Jan 2001 00:00:00 GMT"});
            return r;
        }
        return Ok(kFeed, "Sat, 01 Jan 2005 00:00:00 GMT");
    });
    const std::string url = server_->Url("/old");
    auto handler = Run(url);
    EXPECT_EQ(Pending(*handler).size(), 2u);
    EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), kFeed);
    EXPECT_EQ(ReadFile(Folder(url) / "lastmodified.txt"), "Sat, 01 Jan 2005 00:00:00 GMT");
}

TEST_F(FeedDownload, OnlyPermanentRedirectsAtTheStartOfTheChainNameANewAddress) {
    // Each path redirects as its name says: "/301-x" answers 301 to "/x".
    Reply([this](const Request& request) {
        const std::string& target = request.target;
        if (target.size() > 5 && std::isdigit(static_cast<unsigned char>(target[1])) && target[4] == '-') {
            Response r;
            r.status = std::stoi(target.substr(1, 3));
            r.reason = "Redirect";
            // Relative: resolved against the address that sent it.
            r.headers.push_back({"Location", "/" + target.substr(5)});
            return r;
        }
        return Ok(kFeed);
    });
    const struct {
        const char* path;
        const char* movedTo;  // "" for none
    } cases[] = {
        {"/feed", ""},
        {"/301-feed", "/feed"},
        {"/308-feed", "/feed"},
        {"/302-feed", ""},
        {"/307-feed", ""},
        {"/301-308-feed", "/feed"},
        {"/301-302-feed", "/302-feed"},
        {"/302-301-feed", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string url = server_->Url(c.path);
        FeedTransfer transfer(url, Folder(url).string() + "/");
        ASSERT_TRUE(transfer.Setup(session_));
        const FeedTransferResult result = transfer.Perform();
        EXPECT_EQ(result.status, 200);
        EXPECT_EQ(result.requestedUrl, url);
        EXPECT_EQ(result.movedTo, *c.movedTo ? server_->Url(c.movedTo) : "");
    }
}

TEST_F(FeedDownload, TheHeadersThatSayWhenToAskAgainAreKeptFromTheFinalReply) {
    Reply([this](const Request& request) {
        if (request.target == "/old") {
            Response r;
            r.status = 301;
            r.headers = {{"Location", server_->Url("/busy")}, {"Retry-After", "5"}, {"Cache-Control", "max-age=1"}};
            return r;
        }
        Response r;
        r.status = 429;
        r.reason = "Too Many Requests";
        r.headers = {{"Retry-After", " 120 "}, {"Cache-Control", "public"}, {"Cache-Control", "max-age=600"},
                     {"Expires", "Thu, 01 Dec 2044 16:00:00 GMT"}, {"Date", "Thu, 01 Dec 2044 15:00:00 GMT"}};
        return r;
    });
    const std::string url = server_->Url("/old");
    FeedTransfer transfer(url, Folder(url).string() + "/");
    ASSERT_TRUE(transfer.Setup(session_));
    const FeedTransferResult result = transfer.Perform();
    EXPECT_EQ(result.status, 429);
    EXPECT_EQ(result.retryAfter, "120");
    EXPECT_EQ(result.cacheControl, "public, max-age=600");
    EXPECT_EQ(result.expires, "Thu, 01 Dec 2044 16:00:00 GMT");
    EXPECT_EQ(result.date, "Thu, 01 Dec 2044 15:00:00 GMT");
}

TEST_F(FeedDownload, AFeedThatMovedIsRequestedAtTheAddressItsStateRecords) {
    const std::string url = server_->Url("/old");
    const std::string folder = Folder(url).string() + "/";
    ASSERT_TRUE(MakeSureDirectoryPathExists(folder));
    FetchState state;
    state.url = url;
    state.movedTo = server_->Url("/new");
    std::string error;
    ASSERT_TRUE(WriteFetchState(folder, state, error)) << error;
    FeedTransfer transfer(url, folder);
    ASSERT_TRUE(transfer.Setup(session_));
    const FeedTransferResult result = transfer.Perform();
    EXPECT_EQ(result.requestedUrl, server_->Url("/new"));
    ASSERT_EQ(server_->Requests().size(), 1u);
    EXPECT_EQ(server_->Requests()[0].target, "/new");
}

TEST_F(FeedDownload, MoreThanTenRedirectsOrOneToAnotherSchemeIsASendFailure) {
    Reply([this](const Request& request) {
        Response r;
        r.status = 302;
        r.reason = "Found";
        if (request.target == "/to-ftp") {
            r.headers.push_back({"Location", "ftp://127.0.0.1/feed"});
        } else {
            int n = std::stoi(request.target.substr(1));
            r.headers.push_back({"Location", server_->Url("/" + std::to_string(n + 1))});
        }
        return r;
    });
    for (std::string path : {"/0", "/to-ftp"}) {
        SCOPED_TRACE(path);
        fs::remove(dir_ / "log.txt");
        const std::string url = server_->Url(path);
        Run(url);
        EXPECT_EQ(LogEntries(), std::vector<std::string>{"HttpSendRequest()に失敗。\nURL: " + url + "\n\n"});
    }
    EXPECT_LE(server_->Requests().size(), 12u + 1u);
}

TEST_F(FeedDownload, AnUnreadableDocumentIsLoggedAsAParseFailure) {
    Reply([](const Request&) { return Ok("<<<not a feed>>>"); });
    const std::string url = server_->Url("/broken.xml");
    auto handler = Run(url);
    EXPECT_TRUE(Pending(*handler).empty());
    EXPECT_TRUE(Context().HadFeedError());
    EXPECT_EQ(LogEntries(), std::vector<std::string>{
                                "RSSの解析に失敗しました。\n予期しない書式です。\nURL: " + url + "\n\n"});
}

TEST_F(FeedDownload, BytesTheDeclaredJapaneseEncodingCannotReadAreLoggedAsARepair) {
    // EUC-JP with one pair of an empty row (0xA9 0xA1) inside a title.
    Reply([](const Request&) {
        return Ok("<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<rss version=\"2.0\"><channel><title>t</title>"
                  "<item><title>\xC6\xFC\xA9\xA1\xCB\xDC</title><link>http://x/1</link></item></channel></rss>\n");
    });
    const std::string url = server_->Url("/euc.xml");
    auto handler = Run(url);
    ASSERT_EQ(Pending(*handler).size(), 1u);
    EXPECT_EQ(Pending(*handler)[0]->GetSubject(), "日\uFFFD本");
    EXPECT_EQ(LogEntries(), std::vector<std::string>{"フィードを修復して読み込みました。\n"
                                                     "EUC-JPとして読めないバイト列1箇所をU+FFFD(\uFFFD)に置き換えました。\n"
                                                     "URL: " + url + "\n\n"});
    // A repair is no feed error.
    EXPECT_FALSE(Context().HadFeedError());
}

TEST_F(FeedDownload, ALongBodyIsStoredWholeInOrder) {
    std::string body = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>t</title>";
    for (int i = 0; i < 500; ++i)
        body += "<item><title>item " + std::to_string(i) + "</title><link>l" + std::to_string(i) + "</link></item>";
    body += "</channel></rss>";
    Reply([body](const Request&) { return Ok(body); });
    const std::string url = server_->Url("/long.xml");
    auto handler = Run(url);
    EXPECT_EQ(ReadFile(Folder(url) / "latest.xml"), body);
    ASSERT_EQ(Pending(*handler).size(), 500u);
    EXPECT_EQ(Pending(*handler)[499]->GetSubject(), "item 499");
}

// https against a local server whose certificate comes from a test CA made by openssl.
class HttpsDownload : public AppDirTest {
protected:
    void SetUp() override {
        AppDirTest::SetUp();
        const fs::path tls = dir_ / "tls";
        const std::string script = std::string(QUILLO_TEST_SUPPORT) + "/http_server.py";
        ASSERT_EQ(std::system(("python3 " + script + " --make-ca " + tls.string()).c_str()), 0);
        WriteFile(dir_ / "body.xml", kFeed);
        const fs::path portFile = dir_ / "port";
        server_ = ::popen(("python3 " + script + " --body " + (dir_ / "body.xml").string() +
                           " --port-file " + portFile.string() + " --tls-dir " + tls.string())
                              .c_str(),
                          "w");
        ASSERT_NE(server_, nullptr);
        for (int i = 0; i < 200 && !fs::exists(portFile); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        port_ = ReadFile(portFile);
        ASSERT_FALSE(port_.empty());
        ca_ = (tls / "ca.pem").string();
    }
    void TearDown() override {
        if (server_) ::pclose(server_);  // closing its input ends the server
        AppDirTest::TearDown();
    }
    std::shared_ptr<RssHandler> Run(const std::string& url, FeedTransferLimits limits = {}) {
        InternetSession session(std::move(limits));
        session.Open("QUILLO");
        auto handler = std::make_shared<RssHandler>(Context(), url, true, false);
        DownloadFeeds({handler}, session, 1);
        return handler;
    }

    FILE* server_ = nullptr;
    std::string port_;
    std::string ca_;
};

TEST_F(HttpsDownload, AServerWhoseCertificateChecksOutIsFetched) {
    FeedTransferLimits limits;
    limits.caFile = ca_;
    const std::string url = "https://127.0.0.1:" + port_ + "/feed.xml";
    auto handler = Run(url, limits);
    EXPECT_EQ(Pending(*handler).size(), 2u);
    EXPECT_FALSE(Context().HadFeedError());
    EXPECT_EQ(ReadFile(fs::path(GetFeedFolderPath(dir_.string(), url)) / "lastmodified.txt"),
              "Sat, 01 Jan 2005 00:00:00 GMT");
}

TEST_F(HttpsDownload, ACertificateFromAnUnknownAuthorityIsASendFailure) {
    const std::string url = "https://127.0.0.1:" + port_ + "/feed.xml";
    auto handler = Run(url);
    EXPECT_TRUE(Pending(*handler).empty());
    EXPECT_TRUE(Context().HadFeedError());
    EXPECT_EQ(LogEntries(), std::vector<std::string>{"HttpSendRequest()に失敗。\nURL: " + url + "\n\n"});
}

}  // namespace
