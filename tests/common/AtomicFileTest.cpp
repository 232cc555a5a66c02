// Replacing a file: the old or the new bytes after any failure, the previous file kept
// on request, and the folder synced once the rename is done.
#include "AtomicFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("quillo-atomic-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const char* name) const { return (dir_ / name).string(); }

    // The real calls, each noted as "open PATH", "fsync PATH", "rename FROM TO", ...;
    // failing names a call that fails with failWith instead.
    FileSystemCalls Watched(std::string failing = "", int failWith = ENOSPC) {
        FileSystemCalls calls = SystemFileCalls();
        const FileSystemCalls real = SystemFileCalls();
        auto fails = [failing, failWith](const std::string& call) {
            if (call != failing) return false;
            errno = failWith;
            return true;
        };
        calls.open = [this, real](const char* path, int flags, mode_t mode) {
            const int fd = real.open(path, flags, mode);
            if (fd >= 0) paths_[fd] = fs::path(path).filename().string();
            return fd;
        };
        calls.write = [real, fails](int fd, const void* data, size_t size) -> ssize_t {
            if (fails("write")) return -1;
            return real.write(fd, data, size);
        };
        calls.fsync = [this, real, fails](int fd) {
            log_.push_back("fsync " + paths_[fd]);
            return fails("fsync " + paths_[fd]) ? -1 : real.fsync(fd);
        };
        calls.rename = [this, real, fails](const char* from, const char* to) {
            log_.push_back("rename " + fs::path(from).filename().string() + " " + fs::path(to).filename().string());
            return fails("rename") ? -1 : real.rename(from, to);
        };
        calls.link = [this, real, fails](const char* existing, const char* added) {
            log_.push_back("link " + fs::path(existing).filename().string() + " " +
                           fs::path(added).filename().string());
            return fails("link") ? -1 : real.link(existing, added);
        };
        return calls;
    }

    fs::path dir_;
    std::map<int, std::string> paths_;
    std::vector<std::string> log_;
};

TEST_F(AtomicFile, AReplaceSyncsTheDataThenRenamesThenSyncsTheFolder) {
    WriteFile(Path("f.txt"), "old");
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(Path("f.txt"), "new bytes", error, Watched())) << error;
    EXPECT_EQ(ReadFile(Path("f.txt")), "new bytes");
    EXPECT_FALSE(fs::exists(Path("f.txt.new")));
    const std::string folder = dir_.filename().string();
    EXPECT_EQ(log_, (std::vector<std::string>{"fsync f.txt.new", "rename f.txt.new f.txt", "fsync " + folder}));
}

TEST_F(AtomicFile, AnInstallKeepsThePreviousFileAndReplacesAnOlderOne) {
    WriteFile(Path("f.txt"), "first");
    WriteFile(Path("f.txt.bak"), "older");
    WriteFile(Path("f.txt.bak.new"), "left by a crash");
    std::string error;
    ASSERT_TRUE(WriteFileSynced(Path("f.txt.new"), "second", error)) << error;
    ASSERT_TRUE(InstallFile(Path("f.txt.new"), Path("f.txt"), Path("f.txt.bak"), error, Watched())) << error;
    EXPECT_EQ(ReadFile(Path("f.txt")), "second");
    EXPECT_EQ(ReadFile(Path("f.txt.bak")), "first");
    EXPECT_FALSE(fs::exists(Path("f.txt.bak.new")));
    EXPECT_EQ(log_, (std::vector<std::string>{"link f.txt f.txt.bak.new", "rename f.txt.bak.new f.txt.bak",
                                              "rename f.txt.new f.txt", "fsync " + dir_.filename().string()}));
    // Without a file to keep the install still happens, and leaves no previous file.
    ASSERT_TRUE(WriteFileSynced(Path("g.txt.new"), "g", error)) << error;
    ASSERT_TRUE(InstallFile(Path("g.txt.new"), Path("g.txt"), Path("g.txt.bak"), error)) << error;
    EXPECT_EQ(ReadFile(Path("g.txt")), "g");
    EXPECT_FALSE(fs::exists(Path("g.txt.bak")));
}

TEST_F(AtomicFile, AnyFailureLeavesTheOldFileAndNoPartOfTheNewOne) {
    struct Case {
        const char* failing;
        const char* reason;
    };
    const Case cases[] = {
        {"write", "No space left on device"},
        {"fsync f.txt.new", "No space left on device"},
        {"rename", "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        WriteFile(Path("f.txt"), "old");
        std::string error;
        EXPECT_FALSE(ReplaceFileAtomically(Path("f.txt"), "new", error, Watched(c.failing)));
        EXPECT_EQ(error, c.reason);
        EXPECT_EQ(ReadFile(Path("f.txt")), "old");
        EXPECT_FALSE(fs::exists(Path("f.txt.new")));
    }
    // A folder that is not there.
    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(Path("missing/f.txt"), "x", error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST_F(AtomicFile, AFailedFolderSyncIsAFailure) {
    WriteFile(Path("f.txt"), "old");
    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(Path("f.txt"), "new", error, Watched("fsync " + dir_.filename().string(), EIO)));
    EXPECT_EQ(error, "Input/output error");
}

TEST_F(AtomicFile, KeepingThePreviousFileFailsTheInstallUnlessTheFileSystemHasNoHardLinks) {
    std::string error;
    WriteFile(Path("f.txt"), "old");
    WriteFile(Path("f.txt.new"), "new");
    EXPECT_FALSE(InstallFile(Path("f.txt.new"), Path("f.txt"), Path("f.txt.bak"), error, Watched("link", EIO)));
    EXPECT_EQ(ReadFile(Path("f.txt")), "old");
    EXPECT_TRUE(fs::exists(Path("f.txt.new")));
    // vfat answers EPERM: the file is installed without a previous copy.
    EXPECT_TRUE(InstallFile(Path("f.txt.new"), Path("f.txt"), Path("f.txt.bak"), error, Watched("link", EPERM)));
    EXPECT_EQ(ReadFile(Path("f.txt")), "new");
    EXPECT_FALSE(fs::exists(Path("f.txt.bak")));
}

}  // namespace
