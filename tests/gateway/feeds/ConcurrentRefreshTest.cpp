// A concurrent refresh must give exactly what the one-at-a-time refresh gives: the same
// mailbox, the same log entries in the same order, the same files, the same flag.
#include "FeedRefresh.h"

#include "FeedDownload.h"
#include "GatewayContext.h"
#include "InternetSession.h"
#include "LoopbackHttpServer.h"
#include "Notifier.h"
#include "RefreshWorker.h"
#include "RssManager.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Request = LoopbackHttpServer::Request;
using Response = LoopbackHttpServer::Response;

class QuietNotifier : public Notifier {
public:
    Answer Show(const std::string&, const std::string&, Icon, Buttons) override { return Answer::No; }
};

std::string Rss(const std::string& title, int items, const std::string& tag) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>\n"
                       "<title>" + title + "</title><link>http://example.invalid/</link>\n";
    for (int i = 0; i < items; ++i) {
        std::string n = std::to_string(i);
        text += "<item><title>" + title + " 記事 " + n + tag + "</title>"
                "<link>http://example.invalid/" + title + "/" + n + "</link>"
                "<pubDate>Sat, 0" + std::to_string(1 + i % 9) + " Jan 2005 10:00:00 GMT</pubDate>"
                "<description>本文 " + n + "</description></item>\n";
    }
    return text + "</channel></rss>\n";
}

std::string EucJpRss() {
    // "日本語" in EUC-JP.
    return "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<rss version=\"2.0\"><channel>"
           "<title>euc</title><item><title>\xC6\xFC\xCB\xDC\xB8\xEC</title>"
           "<link>http://example.invalid/euc/1</link>"
           "<pubDate>Sat, 01 Jan 2005 10:00:00 GMT</pubDate></item></channel></rss>\n";
}

const char* kLastModified = "Sat, 01 Jan 2005 00:00:00 GMT";

// The mixed set: what every path of the download can meet, spread over two hosts.
Response MixedSet(const Request& request) {
    Response response;
    const std::string& path = request.target;
    auto conditional = [&](bool lastModified, const std::string& etag) {
        if (lastModified) response.headers.emplace_back("Last-Modified", kLastModified);
        if (!etag.empty()) response.headers.emplace_back("ETag", etag);
        bool matches = (lastModified && request.Header("If-Modified-Since") == kLastModified) ||
                       (!etag.empty() && request.Header("If-None-Match") == etag);
        if (matches) {
            response.status = 304;
            response.reason = "Not Modified";
        }
    };
    if (path.rfind("/ok/", 0) == 0) {
        std::string name = path.substr(4);
        response.body = Rss(name, 4, "");
        conditional(true, "\"" + name + "-v1\"");
        response.delay = std::chrono::milliseconds(10 * (name.size() % 5));
    } else if (path == "/etag-only.xml") {
        response.body = Rss("etag", 3, "");
        conditional(false, "W/\"only-etag\"");
    } else if (path == "/plain.xml") {  // no validator at all: always 200
        response.body = Rss("plain", 2, "");
    } else if (path == "/slow.xml") {   // answers late, but within its time-out
        response.body = Rss("slow", 2, "");
        response.delay = 300ms;
    } else if (path == "/hang.xml") {  // answers after the transfer's time-out
        response.body = Rss("hang", 2, "");
        response.delay = 2500ms;
    } else if (path == "/moved.xml") {
        response.status = 301;
        response.reason = "Moved Permanently";
        response.headers.emplace_back("Location", "/ok/target.xml");
    } else if (path == "/broken.xml") {
        response.body = "<?xml version=\"1.0\"?>\n<rss><channel><item><title>x</title>";
    } else if (path == "/euc.xml") {
        response.body = EucJpRss();
    } else if (path == "/cut.xml") {  // headers, then half the body, then the connection drops
        response.body = Rss("cut", 5, "");
        response.cutAfter = static_cast<long long>(response.body.size() / 2);
    } else if (path == "/gone.xml") {
        response.status = 500;
        response.reason = "Internal Server Error";
        response.body = "oops";
    } else {
        response.status = 404;
        response.reason = "Not Found";
        response.body = "not here";
    }
    return response;
}

struct Snapshot {
    std::string mailbox;
    std::vector<std::string> log;
    std::map<std::string, std::string> files;
    bool feedError = false;
};

class ConcurrentRefresh : public ::testing::Test {
protected:
  // A gateway context whose files are all in dir, boxes kept quiet; it lives as long
  // as the test.
  GatewayContext& ContextIn(const fs::path& dir) {
      auto& context = contexts_.emplace_back(
          std::make_unique<GatewayContext>(PortableAppLayout(dir.string())));
      context->UseNotifier(std::make_shared<QuietNotifier>());
      return *context;
  }
  // A short time-out, so the feed that never answers in time ends quickly.
  static FeedTransferLimits ShortLimits() {
      FeedTransferLimits limits;
      limits.totalTimeout = 1000ms;
      return limits;
  }
  std::vector<std::unique_ptr<GatewayContext>> contexts_;

  std::vector<std::string> MixedUrls(const LoopbackHttpServer& server) {
      std::vector<std::string> urls;
      const char* paths[] = {"/ok/a.xml",   "/missing.xml",   "/ok/bb.xml", "/moved.xml",
                             "/broken.xml", "/etag-only.xml", "/hang.xml",  "/slow.xml",
                             "/cut.xml",    "/euc.xml",       "/gone.xml",  "/plain.xml",
                             "/ok/ccc.xml"};
      size_t host = 0;
      for (const char* path : paths) urls.push_back(server.Url(host++ % 2, path));
      urls.push_back("http://127.0.0.1:1/refused.xml");  // nothing listens there
      urls.push_back("ftp://127.0.0.1/feed.xml");        // a scheme no feed uses
      urls.push_back(server.Url(0, "/ok/a.xml"));        // listed twice: two handlers
      return urls;
    }

    void WriteSettings(const fs::path& dir, const std::vector<std::string>& urls,
                       const std::string& concurrency) {
        fs::create_directories(dir);
        std::ofstream file(dir / "Quillo.xml", std::ios::binary);
        file << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo><settings>"
             << "<disable-messagebox>true</disable-messagebox>";
        if (!concurrency.empty()) file << "<download-concurrency>" << concurrency << "</download-concurrency>";
        file << "</settings><feed-list>";
        for (const auto& url : urls) file << "<feed>" << url << "</feed>";
        file << "</feed-list></quillo>\n";
    }

    static std::string Describe(RssManager& manager, const Mailbox& mailbox) {
        std::uint64_t total = 0;
        std::string lines;
        const auto& entries = mailbox.Entries();
        std::size_t count = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            // The feed report (the moved and the gone feed) tells the time it was filed.
            if (entries[i].uid.starts_with("feedreport")) continue;
            const auto& message = *entries[i].message;
            ++count;
            total += message.Size() + message.DotLines();
            lines += std::to_string(i + 1) + " " + std::to_string(message.Size()) + " " + entries[i].uid + "\n";
        }
        std::string text = std::to_string(count) + " " + std::to_string(total) + "\n" + lines;
        for (const auto& handler : manager.Handlers()) {
            std::vector<SentRecord> records;
            SentItemsStore::ReadRecords(handler->FeedFolder() + "sentitems.xml", records);
            text += "handler " + handler->GetFeed()->url + " [" + handler->GetFeed()->title + "] " +
                    std::to_string(handler->GetMailbox()->Pending().size()) + " pending, " +
                    std::to_string(handler->GetMailbox()->Deleted().size()) + " delivered, " +
                    std::to_string(records.size()) + " records\n";
            for (const auto& message : handler->GetMailbox()->Pending()) text += message->GetText();
        }
        return text;
    }

    // Two connections through the refresh worker, as the gateway makes them: the first
    // deletes messages 1, 3 and 5 and quits, so the second reads sentitems.xml and meets
    // the validators the first stored.
    Snapshot Run(const fs::path& dir) {
        GatewayContext& context = ContextIn(dir);
        Snapshot snapshot;
        {
            RssManager manager(context, ShortLimits());
            manager.LoadSettings();
            RefreshWorker worker(manager);
            for (int connection = 0; connection < 2; ++connection) {
                // Every feed is asked at both connections: the failing ones' waits are
                // forgotten (the fetch state is compared apart, below).
                if (connection == 1) ForgetFetchStates(dir);
                worker.RefreshBefore(std::chrono::steady_clock::now() + 60s);
                auto claim = worker.TryClaim();
                Mailbox& mailbox = claim->Open();
                snapshot.mailbox += "connection " + std::to_string(connection) + "\n" + Describe(manager, mailbox);
                if (connection == 0) {
                    for (int n : {1, 3, 5}) mailbox.Delete(n);
                    EXPECT_EQ(mailbox.Commit(), "");
                }
            }
        }
        snapshot.feedError = context.HadFeedError();
        std::string log = ReadFile(dir / "log.txt");
        // Entries without their time stamps, in file order.
        std::regex stamp(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] )");
        std::sregex_token_iterator it(log.begin(), log.end(), stamp, -1), end;
        for (; it != end; ++it) {
            if (it->length() > 0) snapshot.log.push_back(*it);
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir / "data")) {
            if (!entry.is_regular_file()) continue;
            // Stored messages are named by the time and process that stored them; the
            // mailbox above shows what they hold.
            std::string name = fs::relative(entry.path(), dir).string();
            // The fetch state holds the times of the requests.
            if (entry.path().filename() == "fetchstate.txt") continue;
            if (name.find("/mail/") != std::string::npos) name = name.substr(0, name.find("/mail/") + 9) + "*";
            snapshot.files[name] += ReadFile(entry.path()).substr(0, name.ends_with("*") ? 0 : std::string::npos);
        }
        return snapshot;
    }

    static void ExpectSame(const Snapshot& expected, const Snapshot& actual, const std::string& what) {
        EXPECT_EQ(expected.mailbox, actual.mailbox) << what;
        EXPECT_EQ(expected.log, actual.log) << what;
        EXPECT_EQ(expected.feedError, actual.feedError) << what;
        std::vector<std::string> expectedNames, actualNames;
        for (const auto& [name, _] : expected.files) expectedNames.push_back(name);
        for (const auto& [name, _] : actual.files) actualNames.push_back(name);
        ASSERT_EQ(expectedNames, actualNames) << what;
        for (const auto& [name, content] : expected.files) {
            EXPECT_EQ(content, actual.files.at(name)) << what << ": " << name;
        }
    }

    static void ForgetFetchStates(const fs::path& dir) {
        for (const auto& entry : fs::recursive_directory_iterator(dir / "data")) {
            if (entry.path().filename() == "fetchstate.txt") fs::remove(entry.path());
        }
    }

    // A connection's refresh through the worker; the number of messages it is offered.
    static int Connect(RefreshWorker& worker) {
        worker.RefreshBefore(std::chrono::steady_clock::now() + 60s);
        auto claim = worker.TryClaim();
        return claim->Open().Count();
    }
    static int Connect(RssManager& manager) {
        RefreshWorker worker(manager);
        return Connect(worker);
    }

    TempDir temp_{"quillo-concurrent"};
    fs::path root_ = temp_.Path();
};

TEST_F(ConcurrentRefresh, GivesTheSameMailboxLogAndFilesAsOneAtATime) {
    LoopbackHttpServer server({"127.0.0.1", "127.0.0.2"}, MixedSet);
    auto urls = MixedUrls(server);

    WriteSettings(root_ / "reference", urls, "1");
    Snapshot reference = Run(root_ / "reference");
    // The mixed set really meets every path: each failing feed is logged at both
    // connections, the 304s and the redirect give messages.
    EXPECT_TRUE(reference.feedError);
    for (const char* failing : {"/missing.xml", "/broken.xml", "/hang.xml", "/cut.xml", "/gone.xml",
                                "/refused.xml", "ftp://"}) {
        int entries = 0;
        for (const auto& entry : reference.log) entries += entry.find(failing) != std::string::npos;
        EXPECT_EQ(entries, 2) << failing;
    }
    ASSERT_EQ(reference.log.size(), 14u);
    EXPECT_EQ(reference.log[0].rfind("HTTPステータス: 404 Not Found\n", 0), 0u) << reference.log[0];
    EXPECT_NE(reference.mailbox.find("[target.xml]"), std::string::npos);

    struct Case {
        const char* name;
        const char* concurrency;
    };
    for (const Case& c : {Case{"one", "1"}, Case{"two", "2"}, Case{"default", ""}, Case{"many", "64"}}) {
        server.ResetCounters();
        WriteSettings(root_ / c.name, urls, c.concurrency);
        Snapshot snapshot = Run(root_ / c.name);
        ExpectSame(reference, snapshot, std::string("download-concurrency ") + c.concurrency);
    }
}

TEST_F(ConcurrentRefresh, OverlapsTransfersWithinTheLimits) {
    LoopbackHttpServer server({"127.0.0.1", "127.0.0.2"}, [](const Request&) {
        Response response;
        response.body = Rss("feed", 1, "");
        response.delay = 100ms;
        return response;
    });
    std::vector<std::string> urls;
    for (int i = 0; i < 24; ++i) urls.push_back(server.Url(static_cast<size_t>(i % 2), "/f" + std::to_string(i) + ".xml"));
    struct Case {
        const char* concurrency;
        int peak, peakPerHost;
    };
    for (const Case& c : {Case{"1", 1, 1}, Case{"3", 3, 3}, Case{"", 8, 4}}) {
        server.ResetCounters();
        fs::path dir = root_ / (std::string("c") + c.concurrency);
        WriteSettings(dir, urls, c.concurrency);
        RssManager manager(ContextIn(dir), ShortLimits());
        manager.LoadSettings();
        EXPECT_EQ(Connect(manager), 24);
        EXPECT_EQ(server.PeakInFlight(), c.peak) << "download-concurrency " << c.concurrency;
        EXPECT_LE(server.PeakInFlight("127.0.0.1"), c.peakPerHost);
        EXPECT_LE(server.PeakInFlight("127.0.0.2"), c.peakPerHost);
        // Kept-alive connections: at most one per slot and host, even one at a time.
        EXPECT_LE(server.ConnectionsAccepted(), 2 * c.peakPerHost) << "download-concurrency " << c.concurrency;
    }
}

TEST_F(ConcurrentRefresh, StoresTheETagOfA200AndSendsItBack) {
    std::string lastIfNoneMatch = "unset";
    LoopbackHttpServer server({"127.0.0.1"}, [&](const Request& request) {
        Response response;
        lastIfNoneMatch = request.Header("If-None-Match");
        response.headers.emplace_back("ETag", "\"abc\"");
        if (lastIfNoneMatch == "\"abc\"") {
            response.status = 304;
            response.reason = "Not Modified";
        } else {
            response.body = Rss("etag", 2, "");
        }
        return response;
    });
    fs::path dir = root_ / "etag";
    WriteSettings(dir, {server.Url("/feed.xml")}, "");
    RssManager manager(ContextIn(dir), ShortLimits());
    manager.LoadSettings();

    RefreshWorker worker(manager);
    EXPECT_EQ(Connect(worker), 2);
    EXPECT_EQ(lastIfNoneMatch, "");
    fs::path folder = dir / "data" / ("127.0.0.1:" + server.Url("").substr(server.Url("").rfind(':') + 1) + "-feed.xml");
    EXPECT_EQ(ReadFile(folder / "etag.txt"), "\"abc\"");
    EXPECT_FALSE(fs::exists(folder / "lastmodified.txt"));

    EXPECT_EQ(Connect(worker), 2);
    EXPECT_EQ(lastIfNoneMatch, "\"abc\"");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("If-Modified-Since"), "");
    EXPECT_EQ(ReadFile(folder / "etag.txt"), "\"abc\"");
}

TEST_F(ConcurrentRefresh, StoresACompressedBodyDecoded) {
    const std::string packed = ReadFile(QUILLO_TEST_DATA "/compressed/feed.xml.gz");
    const std::string plain = ReadFile(QUILLO_TEST_DATA "/compressed/feed.xml");
    ASSERT_FALSE(packed.empty());
    ASSERT_FALSE(plain.empty());
    std::string acceptEncoding;
    LoopbackHttpServer server({"127.0.0.1"}, [&](const Request& request) {
        Response response;
        acceptEncoding = request.Header("Accept-Encoding");
        if (acceptEncoding.find("gzip") != std::string::npos) {
            response.headers.emplace_back("Content-Encoding", "gzip");
            response.body = packed;
        } else {
            response.body = plain;
        }
        return response;
    });
    fs::path dir = root_ / "gzip";
    WriteSettings(dir, {server.Url("/packed.xml")}, "");
    RssManager manager(ContextIn(dir), ShortLimits());
    manager.LoadSettings();
    Connect(manager);
    EXPECT_NE(acceptEncoding.find("gzip"), std::string::npos) << acceptEncoding;
    fs::path folder = dir / "data" / ("127.0.0.1:" + server.Url("").substr(server.Url("").rfind(':') + 1) + "-packed.xml");
    EXPECT_EQ(ReadFile(folder / "latest.xml"), plain);
}
TEST_F(ConcurrentRefresh, ReportsProgressFeedByFeedInListOrder) {
    LoopbackHttpServer server({"127.0.0.1"}, [](const Request& request) {
        Response response;
        response.body = Rss("p", 1, "");
        // Later feeds answer sooner; progress still counts in list order.
        response.delay = std::chrono::milliseconds(request.target == "/0.xml" ? 150 : 0);
        return response;
    });
    std::vector<std::string> urls;
    for (int i = 0; i < 5; ++i) urls.push_back(server.Url("/" + std::to_string(i) + ".xml"));
    fs::path dir = root_ / "progress";
    WriteSettings(dir, urls, "");
    GatewayContext& context = ContextIn(dir);
    std::vector<std::pair<int, int>> reports;
    context.Progress().Listen([&](int done, int total) { reports.emplace_back(done, total); });
    RssManager manager(context, ShortLimits());
    manager.LoadSettings();
    Connect(manager);
    std::vector<std::pair<int, int>> expected = {{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {0, 0}};
    EXPECT_EQ(reports, expected);
}
}  // namespace
