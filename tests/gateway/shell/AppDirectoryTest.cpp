#include "AppDirectory.h"
#include "FeedFolder.h"
#include "GatewayContext.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const XdgEnvironment kHomeOnly{"/home/u", "", ""};

TEST(AppLayoutChoice, SettingsBesideTheExecutableKeepEverythingThere) {
    const AppLayout layout = ChooseAppLayout("/opt/q", std::nullopt, true, kHomeOnly);
    EXPECT_EQ(layout.configDir, "/opt/q");
    EXPECT_EQ(layout.stateDir, "/opt/q");
    EXPECT_EQ(layout.programDir, "/opt/q");
    EXPECT_FALSE(layout.installed);
}

TEST(AppLayoutChoice, DirOptionWinsOverSettingsBesideTheExecutable) {
    const AppLayout layout = ChooseAppLayout("/opt/q", std::string("/srv/feeds"), true, kHomeOnly);
    EXPECT_EQ(layout.configDir, "/srv/feeds");
    EXPECT_EQ(layout.stateDir, "/srv/feeds");
    EXPECT_EQ(layout.programDir, "/opt/q");
    EXPECT_FALSE(layout.installed);
}

TEST(AppLayoutChoice, InstalledUsesTheXdgFoldersOrTheirDefaults) {
    AppLayout layout = ChooseAppLayout("/usr/bin", std::nullopt, false, kHomeOnly);
    EXPECT_EQ(layout.configDir, "/home/u/.config/quillo");
    EXPECT_EQ(layout.stateDir, "/home/u/.local/state/quillo");
    EXPECT_EQ(layout.programDir, "/usr/bin");
    EXPECT_TRUE(layout.installed);

    layout = ChooseAppLayout("/usr/bin", std::nullopt, false, {"/home/u", "/cfg/", "/st"});
    EXPECT_EQ(layout.configDir, "/cfg/quillo");
    EXPECT_EQ(layout.stateDir, "/st/quillo");

    // Relative values are not XDG base directories: the defaults apply.
    layout = ChooseAppLayout("/usr/bin", std::nullopt, false, {"/home/u", "cfg", "st"});
    EXPECT_EQ(layout.configDir, "/home/u/.config/quillo");
    EXPECT_EQ(layout.stateDir, "/home/u/.local/state/quillo");
}

class AppLayoutPreparation : public ::testing::Test {
protected:
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    TempDir temp_{"quillo-layout"};
    fs::path root_ = temp_.Path();
};

TEST_F(AppLayoutPreparation, FirstStartMakesTheFoldersAndCommentedFilesButKeepsTheUsersOwn) {
    const AppLayout layout = ChooseAppLayout("/usr/bin", std::nullopt, false,
                                             {root_.string(), (root_ / "c").string(), (root_ / "s").string()});
    std::string error;
    ASSERT_TRUE(PrepareAppLayout(layout, error)) << error;
    EXPECT_TRUE(fs::is_directory(root_ / "s" / "quillo"));
    EXPECT_EQ(Read(root_ / "c" / "quillo" / "Quillo.xml"), kFirstStartSettings);
    EXPECT_NE(std::string(kFirstStartSettings).find("<port>1110</port>"), std::string::npos);
    EXPECT_NE(std::string(kFirstStartSettings).find("<listen-address>127.0.0.1</listen-address>"),
              std::string::npos);
    EXPECT_EQ(Read(root_ / "c" / "quillo" / "feedlist.xml"), kFirstStartFeedList);

    std::ofstream(root_ / "c" / "quillo" / "Quillo.xml", std::ios::trunc) << "<quillo/>";
    fs::remove(root_ / "c" / "quillo" / "feedlist.xml");
    ASSERT_TRUE(PrepareAppLayout(layout, error)) << error;
    EXPECT_EQ(Read(root_ / "c" / "quillo" / "Quillo.xml"), "<quillo/>");
    EXPECT_EQ(Read(root_ / "c" / "quillo" / "feedlist.xml"), kFirstStartFeedList);
}

TEST_F(AppLayoutPreparation, PortableDirectoryIsMadeButGetsNoFiles) {
    const AppLayout layout = ChooseAppLayout("/usr/bin", (root_ / "app").string(), false, kHomeOnly);
    std::string error;
    ASSERT_TRUE(PrepareAppLayout(layout, error)) << error;
    EXPECT_TRUE(fs::is_directory(root_ / "app"));
    EXPECT_TRUE(fs::is_empty(root_ / "app"));
}

TEST_F(AppLayoutPreparation, AFileInTheWayIsReportedWithItsPath) {
    fs::create_directories(root_);
    std::ofstream(root_ / "blocked") << "x";
    const AppLayout layout = ChooseAppLayout("/usr/bin", (root_ / "blocked").string(), false, kHomeOnly);
    std::string error;
    EXPECT_FALSE(PrepareAppLayout(layout, error));
    EXPECT_NE(error.find((root_ / "blocked").string()), std::string::npos) << error;
}

TEST(AppLayoutFiles, EachKindOfFileGoesToItsFolder) {
    const GatewayContext installed({"/c", "/s", "/p", true});
    EXPECT_EQ(installed.ConfigFile("Quillo.xml"), "/c/Quillo.xml");
    EXPECT_EQ(installed.StateFile("log.txt"), "/s/log.txt");
    EXPECT_EQ(installed.ProgramFile("Corvane"), "/p/Corvane");
    const GatewayContext portable(PortableAppLayout("/"));
    EXPECT_EQ(portable.StateFile("data/x/"), "/data/x/");
    EXPECT_EQ(GetFeedFolderPath("/s", "http://h/f"), "/s/data/h-f/");
}

}  // namespace
