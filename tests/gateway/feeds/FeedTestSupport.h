#pragma once

// A temporary application directory, and what feed tests read back from it: files,
// log entries without their time stamps, the boxes shown.

#include "AppDirectory.h"
#include "Notifier.h"
#include "ProcessFlags.h"


#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace feedtest {

namespace fs = std::filesystem;

class RecordingNotifier : public Notifier {
public:
    Answer Show(const std::string& text, const std::string& title, Icon, Buttons) override {
        shown.push_back(title + "|" + text);
        return Answer::Ok;
    }
    std::vector<std::string> shown;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class AppDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("quillo-feeds-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
                info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        SetAppDirectoryForTesting(dir_.string());
        notifier_ = std::make_shared<RecordingNotifier>();
        InstallNotifier(notifier_);
        g_feedError = false;
    }
    void TearDown() override {
        InstallNotifier(nullptr);
        SetAppDirectoryForTesting("");
        fs::remove_all(dir_);
    }

    // log.txt with the "[YYYY/MM/DD hh:mm:ss] " stamps taken off each entry.
    std::vector<std::string> LogEntries() const {
        std::string log = ReadFile(dir_ / "log.txt");
        std::vector<std::string> entries;
        size_t pos = 0;
        while (pos < log.size()) {
            size_t next = log.find("\n\n[", pos);
            size_t end = next == std::string::npos ? log.size() : next + 2;
            std::string entry = log.substr(pos, end - pos);
            if (entry.size() >= 22 && entry[0] == '[') entry.erase(0, 22);
            entries.push_back(entry);
            pos = end;
        }
        return entries;
    }

    fs::path dir_;
    std::shared_ptr<RecordingNotifier> notifier_;
};

}  // namespace feedtest
