#include "EditorLauncher.h"

#include "AppDirectory.h"
#include "MainObject.h"
#include "TrayIcon.h"
#include "TrayTestSupport.h"

#include <QMessageBox>
#include <QPushButton>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

// Records where and with what it was started.
constexpr const char* kFakeEditor =
    "#!/bin/sh\n"
    "{ pwd; echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > launched.tmp\n"
    "mv launched.tmp launched.txt\n";

// Records the signals blocked in the started program itself (a shell that forks
// blocks signals of its own for a moment, so the mask is read after exec, by grep).
constexpr const char* kMaskRecorder =
    "#!/bin/sh\n"
    "exec grep '^SigBlk' /proc/self/status > mask.txt\n";

class EditorLauncherTest : public ::testing::Test {
protected:
  void SetUp() override { TestApp(); }

  void InstallFakeEditor(const char* script = kFakeEditor) {
      dir_.Write("Corvane", script);
      chmod(dir_.File("Corvane").c_str(), 0755);
    }
    bool WaitForLaunch(const char* record = "launched.txt") {
        for (int i = 0; i < 500; ++i) {
            if (dir_.Read(record).find('\n') != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    TempDir dir_{"quillo-tray"};
    GatewayContext context_{PortableAppLayout(dir_.Path())};
};

TEST_F(EditorLauncherTest, StartsTheEditorOnFeedListInTheApplicationDirectory) {
    InstallFakeEditor();
    EXPECT_EQ(LaunchEditor(context_), EditorLaunch::Started);
    ASSERT_TRUE(WaitForLaunch());
    std::string recorded = dir_.Read("launched.txt");
    std::string expected = dir_.Path() + "\n1\n" + dir_.Path() + "/feedlist.xml\n";
    EXPECT_EQ(recorded.substr(0, expected.size()), expected);
}

TEST_F(EditorLauncherTest, InstalledGatewayStartsTheEditorBesideItOnTheFeedListOfItsSettingsFolder) {
    InstallFakeEditor();
    const std::string config = dir_.File("config");
    std::filesystem::create_directories(config);
    // The programs in one folder, the settings and feed list in another.
    const GatewayContext installed({config, dir_.File("state"), dir_.Path(), true});
    EXPECT_EQ(LaunchEditor(installed), EditorLaunch::Started);
    const std::string record = "config/launched.txt";
    ASSERT_TRUE(WaitForLaunch(record.c_str()));
    const std::string expected = config + "\n1\n" + config + "/feedlist.xml\n";
    EXPECT_EQ(dir_.Read(record).substr(0, expected.size()), expected);
}

TEST_F(EditorLauncherTest, EditorGetsDefaultSignalMaskAndLeavesNoZombie) {
    InstallFakeEditor(kMaskRecorder);
    // The gateway blocks the exit signals in all its threads; the editor must not
    // inherit that, or it could not be ended.
    sigset_t exitSignals, old;
    sigemptyset(&exitSignals);
    sigaddset(&exitSignals, SIGINT);
    sigaddset(&exitSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &exitSignals, &old);
    EditorLaunch result = LaunchEditor(context_);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_EQ(result, EditorLaunch::Started);
    ASSERT_TRUE(WaitForLaunch("mask.txt"));
    EXPECT_EQ(dir_.Read("mask.txt"), "SigBlk:\t0000000000000000\n");
    // The editor is not our child: nothing is left to wait for.
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(EditorLauncherTest, FeedListPathIsPassedEvenWhenTheFileIsMissing) {
    InstallFakeEditor();
    ASSERT_FALSE(std::filesystem::exists(dir_.File("feedlist.xml")));
    MainObject main(context_, {});
    main.OnCommand(kCommandEditFeedList);
    ASSERT_TRUE(WaitForLaunch());
    EXPECT_NE(dir_.Read("launched.txt").find(dir_.Path() + "/feedlist.xml\n"), std::string::npos);
}

TEST_F(EditorLauncherTest, MissingEditorShowsTheBoxAndStartsNothing) {
    std::string text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    WhenModalBoxOpens([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        text = box->text().toStdString();
        title = box->windowTitle().toStdString();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    MainObject main(context_, {});
    main.OnCommand(kCommandEditFeedList);
    EXPECT_EQ(text, "アプリケーションのディレクトリに、Corvane がありません。\n編集ツールを起動できません。");
    EXPECT_EQ(title, "error");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("launched.txt")));
}

TEST_F(EditorLauncherTest, AnEditorThatCannotBeExecutedIsNotReported) {
    dir_.Write("Corvane", "not a program");  // readable, but not executable
    EXPECT_EQ(LaunchEditor(context_), EditorLaunch::Started);
}

TEST(SpawnDetached, DirectoryThatDoesNotExistIsAFailure) {
    EXPECT_FALSE(SpawnDetached("/bin/true", {}, "/nonexistent/quillo-test-dir"));
}

}  // namespace
