#include "RefreshWorker.h"

#include "GatewayContext.h"
#include "LoopbackHttpServer.h"
#include "Notifier.h"
#include "RssManager.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class QuietNotifier : public Notifier {
public:
    Answer Show(const std::string&, const std::string&, Icon, Buttons) override { return Answer::No; }
};

std::string Rss(const std::string& title, int count) {
    std::string items;
    for (int i = 0; i < count; ++i) {
        items += "<item><title>" + title + " " + std::to_string(i) + "</title><link>http://127.0.0.1/" + title +
                 "/" + std::to_string(i) + "</link><description>text</description></item>";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>" + title +
           "</title><link>http://127.0.0.1/</link>" + items + "</channel></rss>";
}

// Waits up to ten seconds for the condition; a generous limit, never a measurement.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

class RefreshWorkerTest : public ::testing::Test {
protected:
  void SetUp() override { context_.UseNotifier(std::make_shared<QuietNotifier>()); }
  void WriteSettings(const std::vector<std::string>& urls, const std::string& extra) {
      std::ofstream file(dir_ / "Quillo.xml", std::ios::binary);
      file << "<quillo><settings><disable-messagebox>true</disable-messagebox>" << extra
           << "</settings><feed-list>";
      for (const auto& url : urls) file << "<feed>" << url << "</feed>";
      file << "</feed-list></quillo>";
    }
    int RequestsFor(const LoopbackHttpServer& server, const std::string& target) {
        int count = 0;
        for (const auto& request : server.Requests()) count += request.target == target ? 1 : 0;
        return count;
    }

    TempDir temp_{"quillo-worker"};
    fs::path dir_ = temp_.Path();
    GatewayContext context_{PortableAppLayout(dir_.string())};
};

// The late feed answers once the test lets it (or after half a minute).
LoopbackHttpServer::Handler Replies(std::shared_future<void> lateMayAnswer) {
    return [lateMayAnswer](const LoopbackHttpServer::Request& request) {
        LoopbackHttpServer::Response response;
        if (request.target == "/late.xml") {
            lateMayAnswer.wait_for(30s);
            response.body = Rss("late", 3);
        } else {
            response.body = Rss("early", 2);
        }
        return response;
    };
}

TEST_F(RefreshWorkerTest, FeedsArrivingWhileTheMailboxIsOpenAreFiledWhenTheSessionEnds) {
    std::promise<void> release;
    LoopbackHttpServer server({"127.0.0.1"}, Replies(release.get_future().share()));
    WriteSettings({server.Url("/late.xml"), server.Url("/early.xml")}, "<greeting-deadline>0</greeting-deadline>");
    RssManager manager(context_);
    manager.LoadSettings();
    RefreshWorker worker(manager);

    auto claim = worker.TryClaim();
    ASSERT_TRUE(claim);
    EXPECT_FALSE(worker.TryClaim()) << "the mailbox is one";
    worker.RefreshBefore(Clock::now() + 300ms);
    // The early feed is filed as it arrives; the late one before it in the list holds
    // back neither it nor the greeting.
    const std::string early = server.Url("/early.xml").substr(7);
    const fs::path earlyLatest = dir_ / "data" / (early.substr(0, early.find('/')) + "-early.xml") / "latest.xml";
    ASSERT_TRUE(Eventually([&] { return fs::exists(earlyLatest); }));
    Mailbox& mailbox = claim->Open();
    EXPECT_EQ(mailbox.Count(), 2);
    ASSERT_TRUE(mailbox.Delete(1));
    // The late reply comes in while the session is open: it is not filed, so the
    // refresh cannot end and nothing this session records is read before it is written.
    release.set_value();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(worker.FinishedRefreshes(), 0u);
    EXPECT_EQ(mailbox.Count(), 1);
    ASSERT_EQ(mailbox.Commit(), "");
    claim.reset();
    ASSERT_TRUE(Eventually([&] { return worker.FinishedRefreshes() == 1; }));

    // The next session: the recorded deletion stays, the late feed's items are there.
    claim = worker.TryClaim();
    ASSERT_TRUE(claim);
    EXPECT_EQ(claim->Open().Count(), 1 + 3);
    EXPECT_EQ(RequestsFor(server, "/late.xml"), 1);
}

TEST_F(RefreshWorkerTest, ASessionOpeningWhileABigFeedIsStoredGetsTheMailboxBetweenTwoBatches) {
    const int items = static_cast<int>(StoredFeed::kBatch) * 5;
    LoopbackHttpServer server({"127.0.0.1"}, [items](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Response response;
        response.body = Rss("big", items);
        return response;
    });
    WriteSettings({server.Url("/big.xml")}, "<greeting-deadline>0</greeting-deadline>");
    RssManager manager(context_);
    manager.LoadSettings();
    RefreshWorker worker(manager);

    auto claim = worker.TryClaim();
    ASSERT_TRUE(claim);
    worker.RefreshBefore(Clock::now());
    // The first batch is stored: its files are in new/.
    const std::string host = server.Url("/big.xml").substr(7);
    const fs::path stored = dir_ / "data" / (host.substr(0, host.find('/')) + "-big.xml") / "mail" / "new";
    bool begun = false;
    for (int i = 0; i < 20000 && !begun; ++i) {
        std::error_code error;
        begun = fs::directory_iterator(stored, error) != fs::directory_iterator();
        if (!begun) std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(begun);
    Mailbox& mailbox = claim->Open();
    const int offered = mailbox.Count();
    EXPECT_GE(offered, static_cast<int>(StoredFeed::kBatch));
    EXPECT_LT(offered, items) << "the session waited for the whole feed to be stored";
    for (int n = 1; n <= offered; ++n) ASSERT_TRUE(mailbox.Delete(n));
    ASSERT_EQ(mailbox.Commit(), "");
    claim.reset();
    ASSERT_TRUE(Eventually([&] { return worker.FinishedRefreshes() == 1; }));

    // The rest was stored after the session, once; the deleted ones stay delivered.
    claim = worker.TryClaim();
    ASSERT_TRUE(claim);
    EXPECT_EQ(claim->Open().Count(), items - offered);
}

TEST_F(RefreshWorkerTest, ARunningRefreshIsJoinedNotRepeated) {
    std::promise<void> release;
    LoopbackHttpServer server({"127.0.0.1"}, Replies(release.get_future().share()));
    WriteSettings({server.Url("/late.xml")}, "");
    RssManager manager(context_);
    manager.LoadSettings();
    RefreshWorker worker(manager);
    worker.RefreshBefore(Clock::now() + 100ms);
    worker.RefreshBefore(Clock::now() + 100ms);
    release.set_value();
    worker.RefreshBefore(Clock::now() + 20s);
    // Nothing was left asking for another one.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(worker.FinishedRefreshes(), 1u);
    EXPECT_EQ(RequestsFor(server, "/late.xml"), 1);
}

TEST_F(RefreshWorkerTest, StopEndsAHangingRefreshAtOnce) {
    LoopbackHttpServer server({"127.0.0.1"}, [](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Response response;
        response.delay = 60s;
        return response;
    });
    WriteSettings({server.Url("/hang.xml")}, "");
    RssManager manager(context_);
    manager.LoadSettings();
    auto worker = std::make_unique<RefreshWorker>(manager);
    worker->RefreshBefore(Clock::now() + 200ms);
    ASSERT_TRUE(Eventually([&] { return RequestsFor(server, "/hang.xml") == 1; }));
    // Joined in the destructor: it must not wait for the server's minute.
    auto start = Clock::now();
    worker.reset();
    EXPECT_LT(Clock::now() - start, 30s);
}

}  // namespace

TEST_F(RefreshWorkerTest, AClaimEndingWithinTheGraceGoesToTheNextSession) {
    WriteSettings({}, "");
    RssManager manager(context_);
    manager.LoadSettings();
    RefreshWorker worker(manager);

    auto first = worker.TryClaim();
    ASSERT_TRUE(first);
    EXPECT_FALSE(worker.TryClaim(50ms)) << "a holder that stays keeps the mailbox";
    // The first client has dropped its connection; its session notices a moment later.
    std::thread ending([&] {
        std::this_thread::sleep_for(100ms);
        first.reset();
    });
    auto second = worker.TryClaim(10s);
    ending.join();
    EXPECT_TRUE(second) << "a client that dialled again at once gets its mailbox";
}
