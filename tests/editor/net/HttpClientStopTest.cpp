// A stopped request ends at once, whether the client or the request's own token
// is stopped, and whether it runs on the window thread or another one.
#include "HttpClient.h"

#include "EditorHttpServer.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

class HttpClientStop : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new EditorHttpServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_GT(server_->Port(), 0); }
    // /slow answers 200 after 5 s; a stopped request never sees that answer.
    static std::string Slow() { return server_->Url("/slow").toStdString(); }
    static EditorHttpServer* server_;
};

EditorHttpServer* HttpClientStop::server_ = nullptr;

TEST_F(HttpClientStop, TheClientsStopEndsARequestOnTheWindowThread) {
    HttpClient client;
    QTimer::singleShot(100, [&client] { client.RequestStop(); });
    const HttpResult result = client.Get(Slow());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.errorMessage, HttpClient::kCancelledMessage);
    // Every later request fails as well: the client is closing.
    EXPECT_EQ(client.Get(server_->Url("/opml/basic.opml").toStdString()).errorMessage,
              HttpClient::kCancelledMessage);
}

TEST_F(HttpClientStop, ARequestsOwnTokenEndsItOnAnyThread) {
    HttpClient client;
    std::stop_source stop;
    HttpResult result;
    std::thread request([&] { result = client.Head(Slow(), stop.get_token()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.request_stop();
    request.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.errorMessage, HttpClient::kCancelledMessage);
    // The client itself goes on.
    EXPECT_TRUE(client.Get(server_->Url("/opml/basic.opml").toStdString()).ok);
}

TEST_F(HttpClientStop, LeavingTheEventLoopsEndsTheRequest) {
    HttpClient client;
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    const HttpResult result = client.Get(Slow());
    EXPECT_EQ(result.errorMessage, HttpClient::kCancelledMessage);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
