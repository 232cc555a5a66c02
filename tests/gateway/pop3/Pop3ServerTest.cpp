#include "Pop3Server.h"

#include "GatewayContext.h"
#include "LoopbackPort.h"
#include "Notifier.h"
#include "RefreshWorker.h"
#include "RssManager.h"
#include "TempDir.h"
#include "TestTls.h"

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
    // Whether it stands for a display.
    bool ShowsBoxes() const override { return display; }
    bool display = false;
    std::vector<std::string> Shown() {
        std::lock_guard lock(mutex);
        return shown;
    }
    std::mutex mutex;
    std::vector<std::string> shown;
};

// A blocking loopback client with a receive time-out; from 127.0.0.1, or from another
// loopback address when one is given (the server then sees another client address).
class Client {
public:
    explicit Client(int port, const char* from = nullptr) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < 200; ++i) {
            fd_ = socket(AF_INET, SOCK_STREAM, 0);
            if (from != nullptr) {
                sockaddr_in local{};
                local.sin_family = AF_INET;
                inet_pton(AF_INET, from, &local.sin_addr);
                (void)bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
            }
            if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                connected_ = true;
                break;
            }
            close(fd_);
            std::this_thread::sleep_for(20ms);
        }
        timeval tv{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Client() { close(fd_); }
    bool Connected() const { return connected_; }
    // A TLS client over this connection, from here on.
    std::unique_ptr<testcert::Client> StartTls(const std::string& certificate) {
        return std::make_unique<testcert::Client>(dup(fd_), certificate);
    }
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
    // True when nothing at all has come: no byte, no close.
    bool NothingReceived() {
        char c;
        return recv(fd_, &c, 1, MSG_DONTWAIT) < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
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
        NewContext(false);
        port_ = FreeLoopbackPort();
        WriteSettings("");
    }
    void TearDown() override {
        if (server_) server_->Stop();
        if (thread_.joinable()) thread_.join();
    }
    // The gateway's context on the test directory, boxes recorded; once: "-once".
    void NewContext(bool once) {
        context_ =
            std::make_unique<GatewayContext>(PortableAppLayout(dir_.string()), once);
        context_->UseNotifier(notifier_);
    }
    void WriteSettings(const std::string& extra) {
        std::ofstream(dir_ / "Quillo.xml") << "<quillo><settings><port>" << port_ << "</port>" << extra
                                          << "</settings></quillo>";
    }
    // The manager on the settings and feeds of Quillo.xml, as the gateway reads them at start.
    std::unique_ptr<RssManager> ReadSettings() {
        auto manager = std::make_unique<RssManager>(*context_);
        EXPECT_TRUE(manager->LoadSettings());
        return manager;
    }
    // A server on the settings, handed a refresh worker on their feeds once it listens.
    void Start(ServerOptions options = {}) {
        manager_ = ReadSettings();
        server_ = std::make_unique<Pop3Server>(*context_, Pop3Server::Hooks{[this] { ++closes_; }}, options);
        thread_ = std::thread([this] {
            if (server_->Listen(manager_->GetSettings())) {
                RefreshWorker worker(*manager_);
                server_->Run(worker);
            }
            finished_ = true;
        });
    }
    // A server on the settings of Quillo.xml that is only asked to listen.
    bool Listens() {
        const auto manager = ReadSettings();
        Pop3Server server(*context_, {[this] { ++closes_; }});
        return server.Listen(manager->GetSettings());
    }
    bool WaitFinished() {
        for (int i = 0; i < 500 && !finished_; ++i) std::this_thread::sleep_for(10ms);
        return finished_;
    }

    TempDir temp_{"quillo-server"};
    fs::path dir_ = temp_.Path();
    int port_ = 0;
    std::shared_ptr<RecordingNotifier> notifier_ = std::make_shared<RecordingNotifier>();
    std::unique_ptr<GatewayContext> context_;
    std::unique_ptr<RssManager> manager_;
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
    next.Send("USER me\r\n");
    EXPECT_EQ(next.ReadUntil("\r\n"), "+OK Password required\r\n");
}

TEST_F(Pop3ServerTest, BytesWithoutALineEndDoNotKeepTheSessionAlive) {
    Start({.idleTimeout = 400ms});
    Client trickler(port_);
    EXPECT_EQ(trickler.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    trickler.Send("USER me\r\n");
    EXPECT_EQ(trickler.ReadUntil("\r\n"), "+OK Password required\r\n");
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
    third.Send("USER me\r\nPASS x\r\n");
    EXPECT_EQ(third.ReadUntil("+OK\r\n"), "+OK Password required\r\n+OK\r\n");
}

TEST_F(Pop3ServerTest, WithAPasswordEveryGreetingCarriesItsOwnApopTimestamp) {
    WriteSettings("<password>pw</password>");
    Start();
    std::vector<std::string> greetings;
    for (int i = 0; i < 3; ++i) {
        Client c(port_);
        greetings.push_back(c.ReadUntil("\r\n"));
        c.Send("QUIT\r\n");
        EXPECT_EQ(c.ReadUntil("\r\n"), "+OK\r\n");
    }
    const std::string prefix = "+OK QUILLO WELCOME <" + std::to_string(getpid()) + ".";
    for (const auto& greeting : greetings) {
        EXPECT_EQ(greeting.rfind(prefix, 0), 0u) << greeting;
        EXPECT_EQ(greeting.substr(greeting.size() - 3), ">\r\n") << greeting;
        EXPECT_NE(greeting.find('@'), std::string::npos) << greeting;
    }
    EXPECT_NE(greetings[0], greetings[1]);
    EXPECT_NE(greetings[1], greetings[2]);
}

TEST_F(Pop3ServerTest, WithAPasswordTheGreetingComesAtOnceAndOnlyALoginHoldsTheMailbox) {
    WriteSettings("<password>pw</password>");
    Start();
    // A client without the password, greeted and busy, holds nothing.
    Client stranger(port_);
    EXPECT_EQ(stranger.ReadUntil("\r\n").rfind("+OK QUILLO WELCOME <", 0), 0u);
    stranger.Send("CAPA\r\nUSER me\r\n");
    EXPECT_NE(stranger.ReadUntil("required\r\n").find("+OK Password required"), std::string::npos);
    Client owner(port_);
    owner.ReadUntil("\r\n");
    owner.Send("USER me\r\nPASS pw\r\nSTAT\r\n");
    EXPECT_EQ(owner.ReadUntil("+OK 0 0\r\n"), "+OK Password required\r\n+OK\r\n+OK 0 0\r\n");
    // Now the mailbox is held: a right password is told so.
    stranger.Send("PASS pw\r\n");
    EXPECT_EQ(stranger.ReadUntil("\r\n"), "-ERR [IN-USE] mailbox in use\r\n");
    // A QUIT before any login ends only that connection (in once mode too).
    stranger.Send("QUIT\r\n");
    EXPECT_EQ(stranger.ReadUntil("\r\n"), "+OK\r\n");
    owner.Send("QUIT\r\n");
    EXPECT_EQ(owner.ReadUntil("\r\n"), "+OK\r\n");
    Client next(port_);
    next.ReadUntil("\r\n");
    next.Send("APOP me " + std::string(64, 'x') + "\r\n");
    next.Send("USER me\r\nPASS pw\r\n");
    EXPECT_EQ(next.ReadUntil("+OK\r\n"),
              "-ERR [AUTH] invalid password\r\n+OK Password required\r\n+OK\r\n");
}

TEST_F(Pop3ServerTest, FailedLoginsAreLoggedWithTheAddressAndTheThirdClosesTheConnection) {
    WriteSettings("<password>right horse</password>");
    Start({.loginDelays = {.first = 1ms, .longest = 2ms}});
    Client guesser(port_);
    guesser.ReadUntil("\r\n");
    guesser.Send("USER me\r\nPASS guess one\r\nAPOP me 0123456789abcdef\r\nUSER me\r\nPASS guess three\r\n"
                 "USER me\r\nPASS right horse\r\n");
    EXPECT_EQ(guesser.ReadUntil("password\r\n-ERR [AUTH] invalid password\r\n+OK Password required\r\n"
                                "-ERR [AUTH] invalid password\r\n"),
              "+OK Password required\r\n-ERR [AUTH] invalid password\r\n-ERR [AUTH] invalid password\r\n"
              "+OK Password required\r\n-ERR [AUTH] invalid password\r\n");
    EXPECT_TRUE(guesser.ClosedByPeer());
    std::ifstream in(dir_ / "log.txt");
    const std::string log(std::istreambuf_iterator<char>(in), {});
    for (const char* count : {"1回目", "2回目", "3回目"})
        EXPECT_NE(log.find("POP3のログインに失敗しました。アドレス: 127.0.0.1 (このアドレスから" + std::string(count)),
                  std::string::npos)
            << log;
    for (const char* secret : {"guess", "0123456789abcdef", "right horse"}) EXPECT_EQ(log.find(secret), std::string::npos) << log;
}

TEST_F(Pop3ServerTest, AnAddressHeldBackByItsFailuresKeepsNoOtherClientWaiting) {
    WriteSettings("<password>pw</password>");
    // Far longer than the test: the held answer never comes before Stop.
    Start({.loginDelays = {.first = std::chrono::hours(1), .longest = std::chrono::hours(1)}});
    Client guesser(port_);
    guesser.ReadUntil("\r\n");
    guesser.Send("USER me\r\n");
    guesser.ReadUntil("\r\n");
    guesser.Send("PASS wrong\r\n");
    // The owner, from another address, is answered and served meanwhile.
    Client owner(port_, "127.0.0.2");
    ASSERT_TRUE(owner.Connected());
    EXPECT_EQ(owner.ReadUntil("\r\n").rfind("+OK QUILLO WELCOME", 0), 0u);
    owner.Send("USER me\r\nPASS pw\r\nSTAT\r\n");
    EXPECT_EQ(owner.ReadUntil("+OK 0 0\r\n"), "+OK Password required\r\n+OK\r\n+OK 0 0\r\n");
    EXPECT_TRUE(guesser.NothingReceived());
    // Stop wakes the held session too.
    server_->Stop();
    EXPECT_TRUE(WaitFinished());
}

TEST_F(Pop3ServerTest, AClientThatDoesNotLogInInTimeIsDroppedWhateverItSends) {
    WriteSettings("<password>pw</password>");
    Start({.loginTimeout = 300ms});
    Client lingerer(port_);
    lingerer.ReadUntil("\r\n");
    Client user(port_);
    user.ReadUntil("\r\n");
    user.Send("USER me\r\nPASS pw\r\n");
    EXPECT_EQ(user.ReadUntil("+OK\r\n"), "+OK Password required\r\n+OK\r\n");
    // A command now and then does not keep a connection that never logs in.
    EXPECT_TRUE(Eventually([&] {
        lingerer.Send("CAPA\r\n");
        return lingerer.DrainedToClose();
    }));
    // The one that logged in is served on.
    user.Send("NOOP\r\n");
    EXPECT_EQ(user.ReadUntil("\r\n"), "+OK\r\n");
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
    NewContext(true);
    Start();
    Client c(port_);
    c.ReadUntil("\r\n");
    c.Send("QUIT\r\n");
    EXPECT_EQ(c.ReadUntil("\r\n"), "+OK\r\n");
    EXPECT_TRUE(c.ClosedByPeer());
    EXPECT_TRUE(WaitFinished());
    EXPECT_EQ(closes_, 1);
    EXPECT_FALSE(context_->Running());
}

TEST_F(Pop3ServerTest, DroppedConnectionInOnceModeKeepsServing) {
    NewContext(true);
    Start();
    {
        Client c(port_);
        c.ReadUntil("\r\n");
        c.Send("USER me\r\nPASS x\r\nSTAT\r\n");
        EXPECT_EQ(c.ReadUntil("+OK 0 0\r\n"), "+OK Password required\r\n+OK\r\n+OK 0 0\r\n");
    }
    Client next(port_);
    EXPECT_EQ(next.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    EXPECT_EQ(closes_, 0);
}

TEST_F(Pop3ServerTest, FeedErrorsOfferTheLogAfterQuit) {
    context_->FeedFailed();
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
    context_->FeedFailed();
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
    EXPECT_FALSE(Listens());
    auto shown = notifier_->Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("error|ソケットのバインドに失敗しました。(ポート: " + std::to_string(port_) + ")\r\n", 0), 0u)
        << shown[0];
}

class Pop3ServerTlsTest : public Pop3ServerTest {
protected:
    void SetUp() override {
        Pop3ServerTest::SetUp();
        files_ = testcert::Make(dir_.string());
        ASSERT_FALSE(files_.certificate.empty());
        notifier_->display = true;
        tlsPort_ = FreeLoopbackPort();
    }
    std::string LogText() {
        std::ifstream in(dir_ / "log.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testcert::Files files_;
    int tlsPort_ = 0;
};

constexpr const char* kCapaWithStls = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nSTLS\r\n.\r\n";
constexpr const char* kCapa = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\n.\r\n";

TEST_F(Pop3ServerTlsTest, StlsUpgradesTheSessionAndTheTlsPortStartsInTls) {
    // Relative names are found beside Quillo.xml.
    WriteSettings("<tls-certificate>server.crt</tls-certificate><tls-key>server.key</tls-key><tls-port>" +
                  std::to_string(tlsPort_) + "</tls-port>");
    Start();
    {
        Client c(port_);
        ASSERT_TRUE(c.Connected());
        EXPECT_EQ(c.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
        c.Send("CAPA\r\n");
        EXPECT_EQ(c.ReadUntil(".\r\n"), kCapaWithStls);
        // The command after STLS rides in its packet and must not be answered.
        c.Send("STLS\r\nSTAT\r\n");
        EXPECT_EQ(c.ReadUntil("\r\n"), "+OK Begin TLS negotiation\r\n");
        auto tls = c.StartTls(files_.certificate);
        ASSERT_TRUE(tls->Handshake());
        ASSERT_TRUE(tls->Write("CAPA\r\n"));
        EXPECT_EQ(tls->ReadUntil(".\r\n"), kCapa);
        ASSERT_TRUE(tls->Write("USER me\r\nPASS x\r\nSTAT\r\nQUIT\r\n"));
        EXPECT_EQ(tls->ReadUntil("+OK\r\n+OK 0 0\r\n+OK\r\n"), "+OK Password required\r\n+OK\r\n+OK 0 0\r\n+OK\r\n");
    }
    {
        Client c(tlsPort_);
        ASSERT_TRUE(c.Connected());
        auto tls = c.StartTls(files_.certificate);
        ASSERT_TRUE(tls->Handshake());
        EXPECT_EQ(tls->ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
        ASSERT_TRUE(tls->Write("CAPA\r\nSTLS\r\nQUIT\r\n"));
        EXPECT_EQ(tls->ReadUntil("active\r\n+OK\r\n"),
                  std::string(kCapa) + "-ERR Command not permitted when TLS active\r\n+OK\r\n");
    }
}

TEST_F(Pop3ServerTlsTest, RequireTlsAlwaysRefusesAPlainLoginFromLoopbackToo) {
    WriteSettings("<tls-certificate>server.crt</tls-certificate><tls-key>server.key</tls-key><tls-port>" +
                  std::to_string(tlsPort_) + "</tls-port><require-tls>always</require-tls><password>pw</password>");
    Start();
    Client c(port_);
    ASSERT_TRUE(c.Connected());
    c.ReadUntil("\r\n");
    c.Send("CAPA\r\n");
    EXPECT_EQ(c.ReadUntil(".\r\n"), "+OK\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nSTLS\r\n.\r\n");
    c.Send("USER me\r\nPASS pw\r\n");
    EXPECT_EQ(c.ReadUntil("first\r\n-ERR [AUTH] TLS required: send STLS first\r\n"),
              "-ERR [AUTH] TLS required: send STLS first\r\n-ERR [AUTH] TLS required: send STLS first\r\n");
    c.Send("STLS\r\n");
    EXPECT_EQ(c.ReadUntil("\r\n"), "+OK Begin TLS negotiation\r\n");
    auto tls = c.StartTls(files_.certificate);
    ASSERT_TRUE(tls->Handshake());
    ASSERT_TRUE(tls->Write("CAPA\r\nUSER me\r\nPASS pw\r\nQUIT\r\n"));
    EXPECT_EQ(tls->ReadUntil("+OK\r\n+OK\r\n"),
              std::string(kCapa) + "+OK Password required\r\n+OK\r\n+OK\r\n");
}

TEST_F(Pop3ServerTlsTest, AnUnusableCertificateOrKeyStopsTheServerWithAReason) {
    const testcert::Files other = testcert::Make(dir_.string(), "other");
    const std::string cases[] = {
        "<tls-certificate>missing.crt</tls-certificate>",
        "<tls-certificate>" + files_.certificate + "</tls-certificate><tls-key>" + other.key + "</tls-key>",
        "<tls-key>" + files_.key + "</tls-key>",
    };
    for (const auto& tls : cases) {
        WriteSettings(tls + "<tls-port>" + std::to_string(tlsPort_) + "</tls-port>");
        notifier_->shown.clear();
        EXPECT_FALSE(Listens()) << tls;
        ASSERT_EQ(notifier_->Shown().size(), 1u) << tls;
        EXPECT_NE(notifier_->Shown()[0].find("TLS"), std::string::npos) << notifier_->Shown()[0];
        // Nothing listens: never clear text in place of TLS.
        int probe = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_NE(connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << tls;
        close(probe);
    }
    EXPECT_NE(LogText().find("missing.crt"), std::string::npos) << LogText();
    EXPECT_NE(LogText().find("does not belong"), std::string::npos) << LogText();
}

TEST_F(Pop3ServerTlsTest, ATakenTlsPortStopsTheServerButTheDefaultOneOnlyWarns) {
    const std::string certificate =
        "<tls-certificate>" + files_.certificate + "</tls-certificate><tls-key>" + files_.key + "</tls-key>";
    auto hold = [](int port) {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Whether this bind works or not (no root, or taken), the server cannot have it.
        (void)bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(s, 1);
        return s;
    };
    int held = hold(tlsPort_);
    WriteSettings(certificate + "<tls-port>" + std::to_string(tlsPort_) + "</tls-port>");
    EXPECT_FALSE(Listens());
    ASSERT_EQ(notifier_->Shown().size(), 1u);
    EXPECT_NE(notifier_->Shown()[0].find("(ポート: " + std::to_string(tlsPort_) + ")"), std::string::npos);
    close(held);

    held = hold(995);
    WriteSettings(certificate);
    Start();
    Client c(port_);
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.ReadUntil("\r\n"), "+OK QUILLO WELCOME\r\n");
    c.Send("CAPA\r\n");
    EXPECT_EQ(c.ReadUntil(".\r\n"), kCapaWithStls);
    EXPECT_NE(LogText().find("995"), std::string::npos) << LogText();
    close(held);
}

}  // namespace
