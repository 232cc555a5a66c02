#include "CorvaneSettings.h"

#include "ExecutableDirectory.h"
#include "IniFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

// XDG_CONFIG_HOME names another folder while the object lives.
class ScopedConfigHome {
  public:
    explicit ScopedConfigHome(const fs::path& folder) {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) saved_ = old;
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }
    ~ScopedConfigHome() {
        if (saved_)
            setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

  private:
    std::optional<std::string> saved_;
};

class CorvaneSettingsTest : public testing::Test {
  protected:
    void Write(const std::string& text) { std::ofstream(Path(), std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(Path(), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string Path() const { return (dir_ / "Corvane.ini").string(); }

    TempDir temp_{"corvane-settings"};
    fs::path dir_ = temp_.Path();
};

TEST_F(CorvaneSettingsTest, TheRunningCopyResolvesItsPathsFromItsDirectoryAndEnvironment) {
    // The test program's own directory holds neither Corvane.ini nor Quillo.xml.
    const fs::path config = dir_ / "config";
    const ScopedConfigHome home(config);
    CorvanePaths paths = ResolveCorvanePaths();
    EXPECT_EQ(paths.settingsFile, ChooseSettingsFilePath(ExecutableDirectory(), config.string()));
    EXPECT_EQ(paths.settingsFile, (config / "corvane" / "Corvane.ini").string());
    EXPECT_EQ(paths.defaultFeedList, "");
    fs::create_directories(config / "quillo");
    std::ofstream(config / "quillo" / "feedlist.xml") << "<opml/>";
    paths = ResolveCorvanePaths();
    EXPECT_EQ(paths.defaultFeedList, (config / "quillo" / "feedlist.xml").string());
}

TEST_F(CorvaneSettingsTest, PortableCopyKeepsItsFilesBesideItAndAnInstalledOneInTheXdgFolder) {
    const fs::path exe = dir_ / "bin";
    const fs::path config = dir_ / "config";
    fs::create_directories(exe);
    EXPECT_EQ(ChooseSettingsFilePath(exe.string(), config.string()), (config / "corvane" / "Corvane.ini").string());
    EXPECT_EQ(ChooseDefaultFeedListPath(exe.string(), config.string()), "");
    fs::create_directories(config / "quillo");
    std::ofstream(config / "quillo" / "feedlist.xml") << "<opml/>";
    EXPECT_EQ(ChooseDefaultFeedListPath(exe.string(), config.string()), (config / "quillo" / "feedlist.xml").string());

    for (const char* marker : {"Corvane.ini", "Quillo.xml"}) {
        SCOPED_TRACE(marker);
        std::ofstream(exe / marker) << "";
        EXPECT_EQ(ChooseSettingsFilePath(exe.string(), config.string()), (exe / "Corvane.ini").string());
        EXPECT_EQ(ChooseDefaultFeedListPath(exe.string(), config.string()), "");
        fs::remove(exe / marker);
    }
    EXPECT_EQ(ConfigHome("/x", "/home/u"), "/x");
    EXPECT_EQ(ConfigHome("", "/home/u"), "/home/u/.config");
    EXPECT_EQ(ConfigHome("rel", "/home/u"), "/home/u/.config");
}

TEST_F(CorvaneSettingsTest, AnInstalledCopyMakesItsMissingXdgFolderWhenSaving) {
    const fs::path config = dir_ / "config";
    const ScopedConfigHome home(config);
    const std::string path = ResolveCorvanePaths().settingsFile;
    ASSERT_EQ(path, (config / "corvane" / "Corvane.ini").string());
    CorvaneSettings s;
    s.width = 500;
    EXPECT_TRUE(SaveSettings(s, path));
    EXPECT_EQ(LoadSettings(path).width, 500);
}

TEST_F(CorvaneSettingsTest, FirstStartWithoutAFileGivesTheDefaults) {
    const CorvaneSettings s = LoadSettings(Path());
    EXPECT_EQ(s.left, 80);
    EXPECT_EQ(s.top, 80);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 444);
    EXPECT_TRUE(s.confirmOnClose);
    EXPECT_TRUE(s.confirmOnUpdateFromRss);
    EXPECT_TRUE(s.confirmOnDelete);
    EXPECT_EQ(s.apiKey, "");
    EXPECT_EQ(s.bulkfeedsHost, kDefaultBulkfeedsHost);
}

TEST_F(CorvaneSettingsTest, SavingANewFileWritesThreeSectionsInOrder) {
    ASSERT_TRUE(SaveSettings(LoadSettings(Path()), Path()));
    EXPECT_EQ(Read(),
              "[General]\nTop=80\nLeft=80\nHeight=444\nWidth=320\n"
              "[Confirm]\nOnClose=1\nOnUpdateFromRss=1\nOnDelete=1\n"
              "[Bulkfeeds]\nApiKey=\nHost=bulkfeeds.net\n");
}

TEST_F(CorvaneSettingsTest, ValuesSurviveASaveAndLoad) {
    CorvaneSettings s;
    s.top = -20;
    s.left = 1900;
    s.height = 600;
    s.width = 500;
    s.confirmOnDelete = false;
    s.confirmOnClose = false;
    s.apiKey = "k3y";
    s.bulkfeedsHost = "127.0.0.1:8080";
    ASSERT_TRUE(SaveSettings(s, Path()));
    const CorvaneSettings r = LoadSettings(Path());
    EXPECT_EQ(r.top, -20);
    EXPECT_EQ(r.left, 1900);
    EXPECT_EQ(r.height, 600);
    EXPECT_EQ(r.width, 500);
    EXPECT_FALSE(r.confirmOnDelete);
    EXPECT_FALSE(r.confirmOnClose);
    EXPECT_TRUE(r.confirmOnUpdateFromRss);
    EXPECT_EQ(r.apiKey, "k3y");
    EXPECT_EQ(r.bulkfeedsHost, "127.0.0.1:8080");
}

TEST_F(CorvaneSettingsTest, BadValuesReadAsDefaultsAndAnyNonZeroIsTrue) {
    Write("[general]\r\ntop = abc\r\nLeft=12px\r\nHeight=\r\nWidth=99999999999\r\n"
          "[Confirm]\r\nOnClose=2\r\nOnUpdateFromRss=yes\r\nOnDelete=-1\r\n");
    const CorvaneSettings s = LoadSettings(Path());
    EXPECT_EQ(s.top, 80);
    EXPECT_EQ(s.left, 80);
    EXPECT_EQ(s.height, 444);
    EXPECT_EQ(s.width, 320);
    EXPECT_TRUE(s.confirmOnClose);
    EXPECT_TRUE(s.confirmOnUpdateFromRss);
    EXPECT_TRUE(s.confirmOnDelete);
    Write("[Confirm]\nOnClose=0\n");
    EXPECT_FALSE(LoadSettings(Path()).confirmOnClose);
}

TEST_F(CorvaneSettingsTest, UnknownSectionsKeysAndCommentsAreKept) {
    Write("; my settings\n[Other]\nColour=blue\n\n[General]\nTop=5\nExtra=x\n\n[Bulkfeeds]\nApiKey=old\n");
    CorvaneSettings s = LoadSettings(Path());
    EXPECT_EQ(s.top, 5);
    s.apiKey = "new";
    ASSERT_TRUE(SaveSettings(s, Path()));
    EXPECT_EQ(Read(),
              "; my settings\n[Other]\nColour=blue\n\n"
              "[General]\nTop=5\nExtra=x\nLeft=80\nHeight=444\nWidth=320\n\n"
              "[Bulkfeeds]\nApiKey=new\nHost=bulkfeeds.net\n"
              "[Confirm]\nOnClose=1\nOnUpdateFromRss=1\nOnDelete=1\n");
}

TEST_F(CorvaneSettingsTest, ALineBreakInTheKeyCannotInjectAnotherKey) {
    CorvaneSettings s;
    s.apiKey = "abc\nOnDelete=0";
    ASSERT_TRUE(SaveSettings(s, Path()));
    const CorvaneSettings r = LoadSettings(Path());
    EXPECT_TRUE(r.confirmOnDelete);
    EXPECT_EQ(r.apiKey, "abc OnDelete=0");
}

TEST_F(CorvaneSettingsTest, SaveWhereTheFolderCannotBeMadeFails) {
    std::ofstream(dir_ / "taken") << "a file, not a folder";
    EXPECT_FALSE(SaveSettings(CorvaneSettings{}, (dir_ / "taken" / "Corvane.ini").string()));
}

TEST(IniFile, KeepsLinesThatAreNotPairs) {
    const IniFile ini = IniFile::Parse("junk line\n[S]\n=novalue\nk=v=w\n");
    EXPECT_EQ(ini.Value("S", "k"), "v=w");
    EXPECT_EQ(ini.Value("s", "K"), "v=w");
    EXPECT_FALSE(ini.Value("S", "missing"));
    EXPECT_EQ(ini.Text(), "junk line\n[S]\n=novalue\nk=v=w\n");
}

}  // namespace
