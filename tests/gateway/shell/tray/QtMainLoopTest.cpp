#include "QtMainLoop.h"

#include "GatewayContext.h"
#include "MainObject.h"
#include "Notifier.h"
#include "Pop3Server.h"
#include "QtNotifier.h"
#include "RefreshProgress.h"
#include "ServerThread.h"
#include "TrayIcon.h"
#include "TrayTestSupport.h"

#include <QAction>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::string SettingsXml(int port, bool disableTrayIcon, const std::string& feeds = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo>\n <settings>\n"
           "  <port>" + std::to_string(port) + "</port>\n"
           "  <disable-messagebox>true</disable-messagebox>\n"
           "  <disable-trayicon>" + std::string(disableTrayIcon ? "true" : "false") +
           "</disable-trayicon>\n </settings>\n" + feeds + "</quillo>\n";
}

// Connects to the gateway on loopback (retrying while it starts) and reads the
// greeting; -1 on failure.
int ConnectAndGreet(int port, std::string& greeting) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            char buffer[256];
            ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) greeting.assign(buffer, static_cast<size_t>(n));
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

// The gateway as RunQuillo wires it, on the test's QApplication: the Qt loop, the
// server thread and a temporary application directory.
class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        port_ = FreeLoopbackPort();
    }
    void TearDown() override {
        if (serverThread_.joinable()) {
            server_->Stop();
            serverThread_.join();
        }
        server_.reset();
        loop_.reset();
    }

    void Start(bool disableTrayIcon, const std::string& feeds = "") {
        dir_.Write("Quillo.xml", SettingsXml(port_, disableTrayIcon, feeds));
        loop_ = std::make_unique<QtMainLoop>(context_, [this] { server_->Stop(); });
        server_ = std::make_unique<Pop3Server>(context_, Pop3Server::Hooks{[this] { loop_->PostClose(); }});
        serverDone_ = serverFinished_.get_future();
        serverThread_ = std::thread([this] {
            RunServerThread(context_, *server_, *loop_, [this] { loop_->AddTrayIcon(); });
            serverFinished_.set_value();
        });
    }

    TempDir dir_{"quillo-tray"};
    GatewayContext context_{PortableAppLayout(dir_.Path())};
    int port_ = 0;
    std::unique_ptr<QtMainLoop> loop_;
    std::unique_ptr<Pop3Server> server_;
    std::promise<void> serverFinished_;
    std::future<void> serverDone_;
    std::thread serverThread_;
};

TEST_F(GatewayTest, ExitCommandEndsLoopAndServerWithinTenSecondsWhileAClientIsConnected) {
    Start(false);
    std::atomic<int> client{-1};
    std::string greeting;
    std::thread connecting([&] { client = ConnectAndGreet(port_, greeting); });
    bool iconBeforeExit = false;
    auto* poll = new QTimer(&TestApp());
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        if (client < 0) return;
        poll->stop();
        poll->deleteLater();
        iconBeforeExit = loop_->Main().Tray().IsShown();
        loop_->Main().Tray().Action(kCommandExit)->trigger();
    });
    poll->start(10);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(loop_->Run(), 0);
    connecting.join();
    EXPECT_EQ(greeting, "+OK QUILLO WELCOME\r\n");
    EXPECT_TRUE(iconBeforeExit);
    EXPECT_FALSE(loop_->Main().Tray().IsShown());
    EXPECT_EQ(serverDone_.wait_for(10s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_FALSE(context_.Running());
    // The session was cut without QUIT: the client sees the connection close.
    char byte;
    EXPECT_EQ(recv(client, &byte, 1, 0), 0);
    close(client);
}

TEST_F(GatewayTest, DisableTrayIconKeepsTheIconAwayWhileServing) {
    Start(true);
    std::string greeting;
    int client = ConnectAndGreet(port_, greeting);
    ASSERT_GE(client, 0);
    EXPECT_EQ(greeting, "+OK QUILLO WELCOME\r\n");
    // The settings were read before the greeting; any hand-over is delivered now.
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(loop_->Main().Tray().IsShown());
    close(client);
    loop_->Main().Tray().Action(kCommandExit)->trigger();
    loop_->Run();
    EXPECT_EQ(serverDone_.wait_for(10s), std::future_status::ready);
}

TEST_F(GatewayTest, TrayIconIsAddedAfterTheSettingsAreRead) {
    Start(false);
    EXPECT_TRUE(ProcessEventsUntil([&] { return loop_->Main().Tray().IsShown(); }));
    loop_->Main().Tray().Action(kCommandExit)->trigger();
    loop_->Run();
    EXPECT_EQ(serverDone_.wait_for(10s), std::future_status::ready);
}

TEST_F(GatewayTest, ServerKeepsServingWhileTheAboutBoxIsOpen) {
    Start(true);
    std::string greeting;
    bool boxWasOpen = false;
    WhenModalBoxOpens([&](QWidget* box) {
        std::atomic<bool> greeted{false};
        std::thread client([&] {
            int fd = ConnectAndGreet(port_, greeting);
            if (fd >= 0) close(fd);
            greeted = true;
        });
        ProcessEventsUntil([&] { return greeted.load(); }, 10000);
        client.join();
        boxWasOpen = box->isVisible();
        qobject_cast<QDialog*>(box)->accept();
    });
    loop_->Main().OnCommand(kCommandAbout);
    EXPECT_TRUE(boxWasOpen);
    EXPECT_EQ(greeting, "+OK QUILLO WELCOME\r\n");
    loop_->Main().Tray().Action(kCommandExit)->trigger();
    loop_->Run();
    EXPECT_EQ(serverDone_.wait_for(10s), std::future_status::ready);
}

TEST_F(GatewayTest, BindFailureClosesTheLoopFromTheServerThread) {
    // Someone else holds the port.
    int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    std::string title;
    WhenModalBoxOpens([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle().toStdString();
        box->button(QMessageBox::Ok)->click();
    });
    Start(false);
    EXPECT_EQ(loop_->Run(), 0);
    EXPECT_EQ(title, "error");
    EXPECT_EQ(serverDone_.wait_for(10s), std::future_status::ready);
    close(holder);
}

TEST_F(GatewayTest, RefreshReportsItsStartAndItsEnd) {
    std::mutex mutex;
    std::vector<std::pair<int, int>> reports;
    Start(true,
          " <feed-list>\n  <feed>http://127.0.0.1:1/a.xml</feed>\n"
          "  <feed>http://127.0.0.1:1/b.xml</feed>\n </feed-list>\n");
    // Listens beside the tray, which installed its own sink first.
    context_.Progress().Listen([&](int done, int total) {
        std::lock_guard lock(mutex);
        reports.emplace_back(done, total);
    });
    std::string greeting;
    int client = ConnectAndGreet(port_, greeting);
    ASSERT_GE(client, 0);
    close(client);
    context_.Progress().Listen({});
    std::lock_guard lock(mutex);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front(), std::make_pair(0, 2));
    EXPECT_EQ(reports.back(), std::make_pair(0, 0));
    for (const auto& [done, total] : reports) {
        if (total == 0) continue;
        EXPECT_EQ(total, 2);
        EXPECT_LE(done, total);
    }
}

// The server thread's boxes are real boxes on the GUI thread, and the thread waits.
class QtNotifierTest : public ::testing::Test {
protected:
    void SetUp() override { TestApp(); }
};

TEST_F(QtNotifierTest, ServerThreadWaitsForTheAnswerOfTheBoxOnTheGuiThread) {
    TestGateway gateway;
    MainObject main(gateway.context, {});
    std::string text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasYes = false, hasNo = false;
    WhenModalBoxOpens([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        text = box->text().toStdString();
        title = box->windowTitle().toStdString();
        icon = box->icon();
        hasYes = box->button(QMessageBox::Yes) != nullptr;
        hasNo = box->button(QMessageBox::No) != nullptr;
        box->button(QMessageBox::Yes)->click();
    });
    std::atomic<bool> answered{false};
    Notifier::Answer answer = Notifier::Answer::Ok;
    std::thread server([&] {
        answer = gateway.context.Boxes()->Show(
            "RSSの取得、解析中にエラーがありました。\r\n詳細な情報はlog.txtを参照してください。"
            "\r\n\r\nlog.txtを開きますか？",
            "エラー", Notifier::Icon::Exclamation, Notifier::Buttons::YesNo);
        answered = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return answered.load(); }));
    server.join();
    EXPECT_EQ(answer, Notifier::Answer::Yes);
    EXPECT_EQ(text,
              "RSSの取得、解析中にエラーがありました。\n詳細な情報はlog.txtを参照してください。"
              "\n\nlog.txtを開きますか？");
    EXPECT_EQ(title, "エラー");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_TRUE(hasYes);
    EXPECT_TRUE(hasNo);
}

struct BoxCase {
    Notifier::Icon icon;
    Notifier::Buttons buttons;
    QMessageBox::StandardButton press;
    QMessageBox::Icon shownIcon;
    Notifier::Answer answer;
};

TEST_F(QtNotifierTest, IconsButtonsAndAnswersMatchTheRequest) {
    const BoxCase cases[] = {
        {Notifier::Icon::Error, Notifier::Buttons::Ok, QMessageBox::Ok, QMessageBox::Critical,
         Notifier::Answer::Ok},
        {Notifier::Icon::Exclamation, Notifier::Buttons::YesNo, QMessageBox::No,
         QMessageBox::Warning, Notifier::Answer::No},
        {Notifier::Icon::None, Notifier::Buttons::YesNo, QMessageBox::Yes, QMessageBox::NoIcon,
         Notifier::Answer::Yes},
    };
    TestGateway gateway;
    MainObject main(gateway.context, {});
    for (const auto& c : cases) {
        QMessageBox::Icon shown = QMessageBox::Information;
        WhenModalBoxOpens([&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            ASSERT_NE(box, nullptr);
            shown = box->icon();
            box->button(c.press)->click();
        });
        std::promise<Notifier::Answer> answer;
        auto result = answer.get_future();
        std::thread server(
            [&] { answer.set_value(gateway.context.Boxes()->Show("t", "x", c.icon, c.buttons)); });
        ASSERT_TRUE(ProcessEventsUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
        server.join();
        EXPECT_EQ(result.get(), c.answer);
        EXPECT_EQ(shown, c.shownIcon);
    }
}

TEST_F(QtNotifierTest, ClosingWhileTheServerThreadWaitsAnswersNoAndLaterBoxesGoToStderr) {
    TestGateway gateway;
    auto main = std::make_unique<MainObject>(gateway.context, std::function<void()>{});
    WhenModalBoxOpens([&](QWidget*) { main->Close(); });
    std::promise<Notifier::Answer> answer;
    auto result = answer.get_future();
    std::thread server([&] {
        answer.set_value(gateway.context.Boxes()->Show("?", "エラー", Notifier::Icon::Exclamation,
                                                       Notifier::Buttons::YesNo));
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
    server.join();
    EXPECT_EQ(result.get(), Notifier::Answer::No);
    main.reset();
    ForgetApplicationExit();
    // The closed notifier is still the installed one; it must not touch the GUI.
    testing::internal::CaptureStderr();
    std::thread late([&gateway] {
        EXPECT_EQ(gateway.context.Boxes()->Show("late", "error", Notifier::Icon::Error,
                                                Notifier::Buttons::YesNo),
                  Notifier::Answer::No);
    });
    late.join();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("error: late"), std::string::npos);
}

TEST_F(QtNotifierTest, BoxAskedForOnTheGuiThreadIsShownThere) {
    TestGateway gateway;
    MainObject main(gateway.context, {});
    bool shown = false;
    WhenModalBoxOpens([&](QWidget* widget) {
        shown = true;
        qobject_cast<QMessageBox*>(widget)->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(gateway.context.Boxes()->Show("here", "error", Notifier::Icon::Error,
                                            Notifier::Buttons::Ok),
              Notifier::Answer::Ok);
    EXPECT_TRUE(shown);
}

}  // namespace
