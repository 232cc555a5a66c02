#include "Pop3Server.h"

#include "AppDirectory.h"
#include "LoopbackPort.h"
#include "Notifier.h"
#include "ProcessFlags.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordingNotifier : public Notifier {
public:
    Answer Show(const std::string& text, const std::string& title, Icon, Buttons buttons) override {
        std::lock_guard lock(mutex);
        shown.push_back(title + "|" + text);
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    std::vector<std::string> Shown() {
        std::lock_guard lock(mutex);
        return shown;
    }
    std::mutex mutex;
    std::vector<std::string> shown;
};

// A blocking loopback client with a receive time-out.
class Client {
public:
    explicit Client(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < 200; ++i) {
            if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                connected_ = true;
                break;
            }
            close(fd_);
            fd_ = socket(AF_INET, SOCK_STREAM, 0);
            std::this_thread::sleep_for(20ms);
        }
        timeval tv{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Client() { close(fd_); }
    bool Connected() const { return connected_; }
    void Send(const std::string& s) { (void)!send(fd_, s.data(), s.size(), MSG_NOSIGNAL); }
    // Reads until the text ends with `until` or the peer closes; "" on close.
    std::string ReadUntil(const std::string& until) {
        std::string got;
        char buf[4096];
        while (got.size() < until.size() || got.compare(got.size() - until.size(), until.size(), until) != 0) {
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return got;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    // Reads what has come, without waiting; true once the peer's close is among it.
    bool DrainedToClose() {
        char buf[65536];
        for (;;) {
            ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0) return true;
            if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
        }
    }
    bool ClosedByPeer() {
        char c;
        return recv(fd_, &c, 1, 0) == 0;
    }
    // True when the peer has already closed (or reset) the connection, without waiting.
    bool AlreadyClosed() {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) != 1) return false;
        char c;
        return recv(fd_, &c, 1, MSG_DONTWAIT) <= 0;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

// Waits up to ten seconds for the condition; a generous limit, never a measurement.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

class Pop3ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppDirectoryForTesting(dir_.string());
        InstallNotifier(notifier_);
        port_ = FreeLoopbackPort();
        g_running = true;
        g_once = false;
        g_feedError = false;
        WriteSettings("");
    }
    void TearDown() override {
        if (server_) server_->Stop();
        if (thread_.joinable()) thread_.join();
        InstallNotifier(nullptr);
        SetAppDirectoryForTesting("");
        g_running = true;
        g_once = false;
        g_feedError = false;
    }
    void WriteSettings(const std::string& extra) {
        std::ofstream(dir_ / "Quillo.xml") << "<quillo><settings><port>" << port_ << "</port>" << extra
                                          << "</settings></quillo>";
    }
    void Start(ServerOptions options = {}) {
        server_ = std::make_unique<Pop3Server>(Pop3Server::Hooks{[this] { ++closes_; }, nullptr}, options);
        thread_ = std::thread([this] {
            server_->Run();
            finished_ = true;
        });
    }
    bool WaitFinished() {
        for (int i = 0; i < 500 && !finished_; ++i) std::this_thread::sleep_for(10ms);
        return finished_;
    }

    TempDir temp_{"quillo-server"};
    fs::path dir_ = temp_.Path();
    int port_ = 0;
    std::shared_ptr<RecordingNotifier> notifier_ = std::make_shared<RecordingNotifier>();
    std::unique_ptr<Pop3Server> server_;
    std::thread thread_;
    std::atomic<int> closes_{0};
    std::atomic<bool> finished_{false};
};

constexpr const char* kPrompt = "エラー|RSSの取得、解析中にエラーがありました。\r\n詳細な情報はlog.txtを参照してください。\r\n\r\nlog.txtを開きますか？";

TEST_F(Pop3ServerTest, StopWakesAWaitingAccept) {
    Start();
    {
        Client c(port_);
        ASSERT_TRUE(c.Connected());
        EXPECT_EQ(c.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
        c.Send("QUIT\r\n");
        EXPECT_EQ(c.ReadUntil("\r\n"), "+OK\r\n");
    }
    server_->Stop();
    EXPECT_TRUE(WaitFinished());
    EXPECT_EQ(closes_, 0);
}

TEST_F(Pop3ServerTest, StopEndsASessionInProgress) {
    Start();
    Client c(port_);
    EXPECT_EQ(c.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    server_->Stop();
    EXPECT_TRUE(WaitFinished());
    EXPECT_TRUE(c.ClosedByPeer());
}

TEST_F(Pop3ServerTest, SilentClientIsDroppedAfterTheIdleTime) {
    Start({.idleTimeout = 200ms});
    Client silent(port_);
    EXPECT_EQ(silent.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    EXPECT_TRUE(silent.ClosedByPeer());
    Client next(port_);
    EXPECT_EQ(next.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    next.Send("NOOP\r\n");
    EXPECT_EQ(next.ReadUntil("\r\n"), "+OK\r\n");
}

TEST_F(Pop3ServerTest, BytesWithoutALineEndDoNotKeepTheSessionAlive) {
    Start({.idleTimeout = 400ms});
    Client trickler(port_);
    EXPECT_EQ(trickler.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    trickler.Send("NOOP\r\n");
    EXPECT_EQ(trickler.ReadUntil("\r\n"), "+OK\r\n");
    // One byte every 100 ms for more than twice the idle time, never a line end.
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(100ms);
        trickler.Send("X");
    }
    EXPECT_TRUE(trickler.AlreadyClosed());
}

TEST_F(Pop3ServerTest, ASecondClientIsGreetedAndToldTheMailboxIsInUse) {
    Start();
    Client first(port_);
    EXPECT_EQ(first.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    first.Send("USER me\r\nPASS x\r\n");
    EXPECT_EQ(first.ReadUntil("+OK\r\n"), "+OK Password required\r\n+OK\r\n");
    {
        Client second(port_);
        EXPECT_EQ(second.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
        second.Send("CAPA\r\n");
        EXPECT_NE(second.ReadUntil(".\r\n").find("\r\nRESP-CODES\r\n"), std::string::npos);
        second.Send("USER me\r\nPASS x\r\n");
        EXPECT_EQ(second.ReadUntil("use\r\n"), "+OK Password required\r\n-ERR [IN-USE] mailbox in use\r\n");
        second.Send("QUIT\r\n");
        EXPECT_EQ(second.ReadUntil("\r\n"), "+OK\r\n");
    }
    first.Send("QUIT\r\n");
    EXPECT_EQ(first.ReadUntil("\r\n"), "+OK\r\n");
    // Back at once: the mailbox is this client's again.
    Client third(port_);
    EXPECT_EQ(third.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    third.Send("PASS x\r\n");
    EXPECT_EQ(third.ReadUntil("\r\n"), "+OK\r\n");
}

TEST_F(Pop3ServerTest, AClientThatStopsReadingIsDropped) {
    Start({.sendTimeout = 300ms});
    Client stalled(port_);
    EXPECT_EQ(stalled.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    // Far more reply bytes than the socket buffers hold, and nobody reads them.
    std::string many;
    for (int i = 0; i < 1000000; ++i) many += "CAPA\r\n";
    stalled.Send(many);
    Client other(port_);
    EXPECT_EQ(other.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    // Once dropped, what was sent drains and the connection ends.
    EXPECT_TRUE(Eventually([&] { return stalled.DrainedToClose(); }));
}

TEST_F(Pop3ServerTest, QuitInOnceModeClosesTheMainWindow) {
    g_once = true;
    Start();
    Client c(port_);
    c.ReadUntil("\r\n");
    c.Send("QUIT\r\n");
    EXPECT_EQ(c.ReadUntil("\r\n"), "+OK\r\n");
    EXPECT_TRUE(c.ClosedByPeer());
    EXPECT_TRUE(WaitFinished());
    EXPECT_EQ(closes_, 1);
    EXPECT_FALSE(g_running);
}

TEST_F(Pop3ServerTest, DroppedConnectionInOnceModeKeepsServing) {
    g_once = true;
    Start();
    {
        Client c(port_);
        c.ReadUntil("\r\n");
        c.Send("STAT\r\n");
        c.ReadUntil("\r\n");
    }
    Client next(port_);
    EXPECT_EQ(next.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    EXPECT_EQ(closes_, 0);
}

TEST_F(Pop3ServerTest, FeedErrorsOfferTheLogAfterQuit) {
    g_feedError = true;
    Start();
    Client c(port_);
    c.ReadUntil("\r\n");
    c.Send("QUIT\r\n");
    EXPECT_EQ(c.ReadUntil("\r\n"), "+OK\r\n");
    EXPECT_TRUE(c.ClosedByPeer());
    Client next(port_);  // served only once the box is answered
    next.ReadUntil("\r\n");
    EXPECT_EQ(notifier_->Shown(), std::vector<std::string>{kPrompt});
}

TEST_F(Pop3ServerTest, DisabledMessageBoxesSkipThePromptButNotTheBindFailure) {
    WriteSettings("<disable-messagebox>true</disable-messagebox>");
    g_feedError = true;
    Start();
    {
        Client c(port_);
        c.ReadUntil("\r\n");
        c.Send("QUIT\r\n");
        c.ReadUntil("\r\n");
        EXPECT_TRUE(c.ClosedByPeer());
    }
    Client next(port_);
    next.ReadUntil("\r\n");
    EXPECT_TRUE(notifier_->Shown().empty());

    // A second server on the same port.
    Pop3Server second({[this] { ++closes_; }, nullptr});
    EXPECT_EQ(second.Run(), 0);
    EXPECT_EQ(closes_, 1);
    auto shown = notifier_->Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("error|ソケットのバインドに失敗しました。(ポート: " + std::to_string(port_) + ")\r\n", 0), 0u)
        << shown[0];
}

TEST_F(Pop3ServerTest, PortOutsideTheRangeIsABindFailure) {
    for (const char* port : {"0", "65536", "-1", "abc"}) {
        std::ofstream(dir_ / "Quillo.xml") << "<quillo><settings><port>" << port << "</port></settings></quillo>";
        notifier_->shown.clear();
        Pop3Server server({[this] { ++closes_; }, nullptr});
        EXPECT_EQ(server.Run(), 0);
        ASSERT_EQ(notifier_->Shown().size(), 1u) << port;
        EXPECT_NE(notifier_->Shown()[0].find("ソケットのバインドに失敗しました。"), std::string::npos);
    }
}

}  // namespace
