#include "CorvaneSettings.h"

#include "IniFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

class CorvaneSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        SetSettingsDirectoryForTesting(dir_.string());
    }
    void TearDown() override {
        SetSettingsDirectoryForTesting("");
    }
    void Write(const std::string& text) { std::ofstream(Path(), std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(Path(), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string Path() const { return (dir_ / "Corvane.ini").string(); }

    TempDir temp_{"corvane-settings"};
    fs::path dir_ = temp_.Path();
};

TEST_F(CorvaneSettingsTest, TheFileIsCorvaneIniInTheChosenDirectory) {
    EXPECT_EQ(SettingsFilePath(), Path());
    SetSettingsDirectoryForTesting("");
    const std::string own = SettingsFilePath();
    EXPECT_EQ(fs::path(own).filename(), "Corvane.ini");
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
    // The test program's own directory holds neither Corvane.ini nor Quillo.xml.
    SetSettingsDirectoryForTesting("");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    CorvaneSettings s;
    s.width = 500;
    const bool ok = SaveSettings(s);
    const std::string path = SettingsFilePath();
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(ok);
    EXPECT_EQ(path, (dir_ / "config" / "corvane" / "Corvane.ini").string());
    EXPECT_EQ(LoadSettings(path).width, 500);
}

TEST_F(CorvaneSettingsTest, FirstStartWithoutAFileGivesTheDefaults) {
    const CorvaneSettings s = LoadSettings();
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
    ASSERT_TRUE(SaveSettings(LoadSettings()));
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
    ASSERT_TRUE(SaveSettings(s));
    const CorvaneSettings r = LoadSettings();
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
    const CorvaneSettings s = LoadSettings();
    EXPECT_EQ(s.top, 80);
    EXPECT_EQ(s.left, 80);
    EXPECT_EQ(s.height, 444);
    EXPECT_EQ(s.width, 320);
    EXPECT_TRUE(s.confirmOnClose);
    EXPECT_TRUE(s.confirmOnUpdateFromRss);
    EXPECT_TRUE(s.confirmOnDelete);
    Write("[Confirm]\nOnClose=0\n");
    EXPECT_FALSE(LoadSettings().confirmOnClose);
}

TEST_F(CorvaneSettingsTest, UnknownSectionsKeysAndCommentsAreKept) {
    Write("; my settings\n[Other]\nColour=blue\n\n[General]\nTop=5\nExtra=x\n\n[Bulkfeeds]\nApiKey=old\n");
    CorvaneSettings s = LoadSettings();
    EXPECT_EQ(s.top, 5);
    s.apiKey = "new";
    ASSERT_TRUE(SaveSettings(s));
    EXPECT_EQ(Read(),
              "; my settings\n[Other]\nColour=blue\n\n"
              "[General]\nTop=5\nExtra=x\nLeft=80\nHeight=444\nWidth=320\n\n"
              "[Bulkfeeds]\nApiKey=new\nHost=bulkfeeds.net\n"
              "[Confirm]\nOnClose=1\nOnUpdateFromRss=1\nOnDelete=1\n");
}

TEST_F(CorvaneSettingsTest, ALineBreakInTheKeyCannotInjectAnotherKey) {
    CorvaneSettings s;
    s.apiKey = "abc\nOnDelete=0";
    ASSERT_TRUE(SaveSettings(s));
    const CorvaneSettings r = LoadSettings();
    EXPECT_TRUE(r.confirmOnDelete);
    EXPECT_EQ(r.apiKey, "abc OnDelete=0");
}

TEST_F(CorvaneSettingsTest, SaveIntoAMissingDirectoryFails) {
    SetSettingsDirectoryForTesting((dir_ / "gone").string());
    EXPECT_FALSE(SaveSettings(CorvaneSettings{}));
}

TEST(IniFile, KeepsLinesThatAreNotPairs) {
    const IniFile ini = IniFile::Parse("junk line\n[S]\n=novalue\nk=v=w\n");
    EXPECT_EQ(ini.Value("S", "k"), "v=w");
    EXPECT_EQ(ini.Value("s", "K"), "v=w");
    EXPECT_FALSE(ini.Value("S", "missing"));
    EXPECT_EQ(ini.Text(), "junk line\n[S]\n=novalue\nk=v=w\n");
}

}  // namespace
