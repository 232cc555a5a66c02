#include "Log.h"

#include "AppDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace {

namespace fs = std::filesystem;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quillo-log-" + std::string(
            ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        SetAppDirectoryForTesting(dir_.string());
    }
    void TearDown() override {
        SetAppDirectoryForTesting("");
        fs::remove_all(dir_);
    }
    std::string Read() {
        std::ifstream file(dir_ / "log.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    fs::path dir_;
};

TEST_F(LogTest, EntriesAreAppendedWithTimeStampsAndKeptByteForByte) {
    WriteLog("インターネット接続をオープンできません。");
    WriteLog("インターネット接続をオープンできません。");
    WriteLog("RSSの解析に失敗しました。\n予期しない書式です。\nURL: http://127.0.0.1/\n\n");
    const std::string stamp = "\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] ";
    std::regex expected(stamp + "インターネット接続をオープンできません。" + stamp +
                        "インターネット接続をオープンできません。" + stamp +
                        "RSSの解析に失敗しました。\n予期しない書式です。\nURL: http://127.0.0.1/\n\n");
    std::string log = Read();
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

TEST_F(LogTest, UnwritableLogLosesTheEntrySilently) {
    SetAppDirectoryForTesting((dir_ / "missing" / "dir").string());
    WriteLog("lost");
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

}  // namespace
