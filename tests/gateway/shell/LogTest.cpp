#include "Log.h"

#include "GatewayContext.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

class LogTest : public ::testing::Test {
  protected:
    std::string Read() {
        std::ifstream file(dir_ / "log.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    TempDir temp_{"quillo-log"};
    fs::path dir_ = temp_.Path();
    GatewayContext context_{PortableAppLayout(dir_.string())};
};

TEST_F(LogTest, EntriesAreAppendedWithTimeStampsAndKeptByteForByte) {
    context_.Log("インターネット接続をオープンできません。");
    context_.Log("インターネット接続をオープンできません。");
    context_.Log("RSSの解析に失敗しました。\n予期しない書式です。\nURL: http://127.0.0.1/\n\n");
    const std::string stamp = "\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] ";
    std::regex expected(stamp + "インターネット接続をオープンできません。" + stamp +
                        "インターネット接続をオープンできません。" + stamp +
                        "RSSの解析に失敗しました。\n予期しない書式です。\nURL: http://127.0.0.1/\n\n");
    std::string log = Read();
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

TEST_F(LogTest, UnwritableLogLosesTheEntrySilently) {
    const std::string missing = (dir_ / "missing" / "dir").string();
    GatewayContext elsewhere(PortableAppLayout(missing));
    elsewhere.Log("lost");
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(LogTest, OpenLogFileHandsThePathToTheDesktopHandler) {
    fs::path bin = dir_ / "bin";
    fs::create_directories(bin);
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (dir_ / "opened").string() << "'\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    setenv("DISPLAY", ":99", 1);
    context_.OpenLog();
    unsetenv("DISPLAY");
    setenv("PATH", oldPath.c_str(), 1);
    std::string opened;
    for (int i = 0; i < 200 && opened.empty(); ++i) {
        std::ifstream file(dir_ / "opened");
        opened.assign(std::istreambuf_iterator<char>(file), {});
        if (opened.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(opened, (dir_ / "log.txt").string());
}

TEST_F(LogTest, OpenLogFileWithoutADisplayPrintsThePath) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ::testing::internal::CaptureStderr();
    context_.OpenLog();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "log: " + (dir_ / "log.txt").string() + "\n");
}

}  // namespace
