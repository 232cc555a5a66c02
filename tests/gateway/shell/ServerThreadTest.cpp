// The server thread as RunQuillo starts it, headless: settings first, then the tray
// icon, the ports, and the refresh worker handed to the POP3 server.
#include "ServerThread.h"

#include "GatewayContext.h"
#include "LoopbackPort.h"
#include "MainLoop.h"
#include "Notifier.h"
#include "Pop3Server.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Counts the closes the server thread asks for instead of running a loop.
class RecordingLoop : public MainLoop {
public:
    int Run() override { return 0; }
    void PostClose() override { ++closes; }
    std::atomic<int> closes{0};
};

class RecordingNotifier : public Notifier {
public:
    Answer Show(const std::string& text, const std::string& title, Icon, Buttons) override {
        shown.push_back(title + "|" + text);
        return Answer::Ok;
    }
    std::vector<std::string> shown;
};

// Reads the greeting of a POP3 server on the loopback port, retrying while it starts.
std::string Greeting(int port) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            char buffer[64] = {};
            const ssize_t n = recv(fd, buffer, sizeof buffer - 1, 0);
            close(fd);
            return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
}

class ServerThread : public ::testing::Test {
protected:
    void SetUp() override { context_.UseNotifier(notifier_); }
    void WriteSettings(const std::string& settings) {
        std::ofstream(temp_.Path() + "/Quillo.xml") << "<quillo><settings>" << settings << "</settings></quillo>";
    }
    // The thread's exit status; the tray icon counted in trayShown_.
    int Run() {
        return RunServerThread(context_, server_, loop_, [this] { ++trayShown_; });
    }

    TempDir temp_{"quillo-server-thread"};
    std::shared_ptr<RecordingNotifier> notifier_ = std::make_shared<RecordingNotifier>();
    GatewayContext context_{PortableAppLayout(temp_.Path())};
    RecordingLoop loop_;
    Pop3Server server_{context_, {[this] { loop_.PostClose(); }}};
    std::atomic<int> trayShown_{0};
};

TEST_F(ServerThread, UnusableSettingsEndItWithStatusOneBeforeTheTrayIconOrAnyPort) {
    for (const char* port : {"0", "65536", "-1", "abc"}) {
        SCOPED_TRACE(port);
        WriteSettings(std::string("<port>") + port + "</port>");
        loop_.closes = 0;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Run(), 1);
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("the port \"" + std::string(port) + "\""),
                  std::string::npos);
        EXPECT_EQ(loop_.closes, 1);
        EXPECT_EQ(trayShown_, 0);
        // Headless the reason is on standard error; nothing of a bind failure.
        EXPECT_TRUE(notifier_->shown.empty());
    }
}

TEST_F(ServerThread, APortThatCannotBeBoundEndsItWithStatusOneAndClosesTheLoop) {
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    socklen_t length = sizeof address;
    getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    WriteSettings("<port>" + std::to_string(ntohs(address.sin_port)) + "</port>");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(loop_.closes, 1);
    close(taken);
}

TEST_F(ServerThread, UsableSettingsServeUntilStoppedAndShowTheTrayIconUnlessDisabled) {
    for (const bool disabled : {false, true}) {
        SCOPED_TRACE(disabled);
        const int port = FreeLoopbackPort();
        WriteSettings("<port>" + std::to_string(port) + "</port><disable-trayicon>" + (disabled ? "true" : "false") +
                      "</disable-trayicon>");
        trayShown_ = 0;
        std::atomic<int> status{-1};
        // A stop ends the gateway's run for good: each start has a context of its own.
        GatewayContext context(PortableAppLayout(temp_.Path()));
        Pop3Server server(context, {[this] { loop_.PostClose(); }});
        std::thread thread([&] { status = RunServerThread(context, server, loop_, [this] { ++trayShown_; }); });
        EXPECT_EQ(Greeting(port), "+OK QUILLO WELCOME\r\n");
        server.Stop();
        thread.join();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(loop_.closes, 0);
        EXPECT_EQ(trayShown_, disabled ? 0 : 1);
    }
}

}  // namespace
