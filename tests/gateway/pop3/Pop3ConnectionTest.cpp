// The TLS transport of a connection against an OpenSSL client over loopback TCP, with
// every limit the clear-text connection keeps.
#include "Pop3Connection.h"

#include "TestTls.h"
#include "TlsServerContext.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Both ends of one loopback TCP connection.
struct SocketPair {
    int server = -1;
    int client = -1;
};

SocketPair Connected() {
    SocketPair pair;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    listen(listener, 1);
    pair.client = socket(AF_INET, SOCK_STREAM, 0);
    connect(pair.client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pair.server = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
    close(listener);
    return pair;
}

using TlsClient = testcert::Client;

class TlsConnection : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quillo-tls-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        files_ = testcert::Make(dir_.string());
        ASSERT_FALSE(files_.certificate.empty());
        std::string error;
        context_ = TlsServerContext::Load(files_.certificate, files_.key, error);
        ASSERT_TRUE(context_) << error;
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    void TearDown() override {
        close(wakeFd_);
        fs::remove_all(dir_);
    }
    void Wake() {
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
    }

    fs::path dir_;
    testcert::Files files_;
    std::unique_ptr<TlsServerContext> context_;
    int wakeFd_ = -1;
};

TEST_F(TlsConnection, CommandsAndRepliesTravelInsideTls) {
    SocketPair pair = Connected();
    Pop3Connection connection(pair.server, wakeFd_, 10s);
    TlsClient client(pair.client, files_.certificate);
    auto handshake = std::async(std::launch::async, [&] { return client.Handshake(); });
    ASSERT_TRUE(connection.StartTls(*context_, Clock::now() + 10s));
    ASSERT_TRUE(handshake.get());
    EXPECT_TRUE(connection.TlsActive());
    ASSERT_TRUE(client.Write("NOOP\r\n"));
    EXPECT_EQ(connection.Receive(Clock::now() + 10s), "NOOP\r\n");
    // A reply of many records, more than the socket buffers hold at once.
    const std::string reply(3 * 1024 * 1024, 'x');
    auto read = std::async(std::launch::async, [&] { return client.Read(reply.size()); });
    EXPECT_TRUE(connection.Send(reply));
    EXPECT_EQ(read.get(), reply);
    EXPECT_FALSE(connection.PeerClosed());
}

TEST_F(TlsConnection, AHandshakeEndsAtItsDeadlineAtStopAndOnClearText) {
    {
        // A client that connects and never says hello.
        SocketPair pair = Connected();
        Pop3Connection connection(pair.server, wakeFd_, 10s);
        EXPECT_FALSE(connection.StartTls(*context_, Clock::now() + 200ms));
        close(pair.client);
    }
    {
        // Clear text where the ClientHello belongs is never a command.
        SocketPair pair = Connected();
        Pop3Connection connection(pair.server, wakeFd_, 10s);
        ASSERT_EQ(send(pair.client, "STAT\r\n", 6, 0), 6);
        EXPECT_FALSE(connection.StartTls(*context_, Clock::now() + 10s));
        close(pair.client);
    }
    {
        SocketPair pair = Connected();
        Pop3Connection connection(pair.server, wakeFd_, 10s);
        Wake();
        EXPECT_FALSE(connection.StartTls(*context_, Clock::now() + 60s));
        close(pair.client);
    }
}

TEST_F(TlsConnection, AReceiveEndsAtItsDeadlineAndAtStop) {
    SocketPair pair = Connected();
    Pop3Connection connection(pair.server, wakeFd_, 10s);
    TlsClient client(pair.client, files_.certificate);
    auto handshake = std::async(std::launch::async, [&] { return client.Handshake(); });
    ASSERT_TRUE(connection.StartTls(*context_, Clock::now() + 10s));
    ASSERT_TRUE(handshake.get());
    EXPECT_EQ(connection.Receive(Clock::now() + 200ms), "");
    ASSERT_TRUE(client.Write("NOOP\r\n"));
    EXPECT_EQ(connection.Receive(Clock::now() + 10s), "NOOP\r\n");
    Wake();
    ASSERT_TRUE(client.Write("NOOP\r\n"));
    EXPECT_EQ(connection.Receive(Clock::now() + 60s), "");
}

// Small fixed socket buffers on both ends, so a reply cannot hide in them.
SocketPair SmallBuffers() {
    SocketPair pair = Connected();
    int small = 8192;
    setsockopt(pair.client, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    setsockopt(pair.server, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    return pair;
}

TEST_F(TlsConnection, AClientThatTakesNoBytesIsDroppedAndASlowReaderIsServed) {
    {
        SocketPair pair = SmallBuffers();
        Pop3Connection connection(pair.server, wakeFd_, 300ms);
        TlsClient client(pair.client, files_.certificate);
        auto handshake = std::async(std::launch::async, [&] { return client.Handshake(); });
        ASSERT_TRUE(connection.StartTls(*context_, Clock::now() + 10s));
        ASSERT_TRUE(handshake.get());
        // Nobody reads: the send gives up instead of waiting for ever.
        EXPECT_FALSE(connection.Send(std::string(1024 * 1024, 'x')));
    }
    {
        // Reads a little at a time with pauses longer than the send limit in all: every
        // read takes bytes of new records, so the reply is never given up.
        SocketPair pair = SmallBuffers();
        Pop3Connection connection(pair.server, wakeFd_, 1000ms);
        TlsClient client(pair.client, files_.certificate);
        auto handshake = std::async(std::launch::async, [&] { return client.Handshake(); });
        ASSERT_TRUE(connection.StartTls(*context_, Clock::now() + 10s));
        ASSERT_TRUE(handshake.get());
        const std::string reply(128 * 1024, 'y');
        auto read = std::async(std::launch::async, [&] {
            std::string got;
            while (got.size() < reply.size()) {
                std::this_thread::sleep_for(600ms);
                std::string part = client.Read(std::min<size_t>(16 * 1024, reply.size() - got.size()));
                if (part.empty()) break;
                got += part;
            }
            return got;
        });
        EXPECT_TRUE(connection.Send(reply));
        EXPECT_EQ(read.get().size(), reply.size());
    }
}

TEST(TlsServerContext, AMissingOrForeignKeyIsRefusedWithAReason) {
    const fs::path dir = fs::temp_directory_path() / "quillo-tls-context";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const testcert::Files one = testcert::Make(dir.string(), "one");
    const testcert::Files two = testcert::Make(dir.string(), "two");
    std::string error;
    EXPECT_TRUE(TlsServerContext::Load(one.certificate, one.key, error)) << error;
    EXPECT_FALSE(TlsServerContext::Load((dir / "none.crt").string(), one.key, error));
    EXPECT_NE(error.find("none.crt"), std::string::npos) << error;
    EXPECT_FALSE(TlsServerContext::Load(one.certificate, two.key, error));
    EXPECT_NE(error.find("does not belong"), std::string::npos) << error;
    std::ofstream(dir / "empty.key") << "";
    EXPECT_FALSE(TlsServerContext::Load(one.certificate, (dir / "empty.key").string(), error));
    EXPECT_NE(error.find("empty.key"), std::string::npos) << error;
    fs::remove_all(dir);
}

}  // namespace
