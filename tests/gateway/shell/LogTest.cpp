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

TEST_F(LogTest, ATextFromOutsideStaysInsideItsEntryAndAwayFromTheTerminal) {
    // A feed server's status line that retitles the terminal, clears it and fakes an entry.
    const std::string status = "OK\x1b]0;owned\x07\x1b[2J\r\n[2099/01/01 00:00:00] fake\n";
    context_.Log("HTTPステータス: 200 " + LogPiece(status) + "\nURL: " + LogPiece("http://h/\tx") + "\n\n");
    const std::string log = Read();
    EXPECT_EQ(log.substr(log.find(']') + 1),
              " HTTPステータス: 200 OK\\x1b]0;owned\\x07\\x1b[2J\\x0d\\x0a[2099/01/01 00:00:00] fake\\x0a"
              "\nURL: http://h/\\x09x\n\n");
    // C1 controls, bytes that are no UTF-8, and marks that turn the text around.
    EXPECT_EQ(LogPiece("a\xc2\x9b" "2Jb\xff\xe2\x80\xae" "c\xe2\x80\xa8" "d\x7f\xe6\xbc\xa2"),
              "a\\xc2\\x9b2Jb\\xff\\u{202E}c\\u{2028}d\\x7f\xe6\xbc\xa2");
}

TEST_F(LogTest, AnEntryKeepsItsLineEndsButNoOtherControlCharacter) {
    context_.Log("a\tb\r\nc\x1b[2Jd\re\n\n");
    const std::string log = Read();
    EXPECT_EQ(log.substr(log.find(']') + 1), " a\tb\r\nc\\x1b[2Jd\\x0de\n\n");
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
