// Delivering into a Maildir: whole messages in new/ or nothing, the syncs in the order
// that makes a delivery survive a crash, one folder sync per batch, and listing that
// never takes a foreign or damaged file for a message.
#include "Maildir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A file's folder and the first letters of its name, enough to tell the calls apart.
std::string Short(const std::string& path) {
    const fs::path p(path);
    const std::string folder = p.parent_path().filename().string();
    return (folder.empty() ? "" : folder + "/") + (p.filename().string().find('.') == 0 ? p.filename().string() : "msg");
}

class MaildirTest : public ::testing::Test {
protected:
    // The real calls, each noted as "fsync tmp/msg", "rename tmp/msg new/msg", ...; a
    // call named in failing (with the number of the time it is made, from 1) fails with
    // failWith instead. Syncs come from several threads at once.
    MaildirCalls Watched() {
        MaildirCalls calls = SystemMaildirCalls();
        const MaildirCalls real = SystemMaildirCalls();
        calls.open = [this, real](const char* path, int flags, mode_t mode) {
            const std::string what = (flags & O_DIRECTORY) ? fs::path(path).filename().string() + "/" : Short(path);
            if (Fails("open " + what)) return -1;
            const int fd = real.open(path, flags, mode);
            if (fd >= 0) Note(fd, what);
            return fd;
        };
        calls.write = [this, real](int fd, const void* data, size_t size) -> ssize_t {
            if (Fails("write " + PathOf(fd))) return -1;
            // Short writes, as a pipe or a signal may give them.
            return real.write(fd, data, std::min<size_t>(size, 7));
        };
        calls.fsync = [this, real](int fd) { return Fails("fsync " + PathOf(fd)) ? -1 : real.fsync(fd); };
        calls.renameNoReplace = [this, real](const char* from, const char* to) {
            return Fails("rename " + Short(from) + " " + Short(to)) ? -1 : real.renameNoReplace(from, to);
        };
        calls.unlink = [this, real](const char* path) {
            return Fails("unlink " + Short(path)) ? -1 : real.unlink(path);
        };
        return calls;
    }

    void Note(int fd, const std::string& what) {
        std::lock_guard lock(mutex_);
        paths_[fd] = what;
    }
    std::string PathOf(int fd) {
        std::lock_guard lock(mutex_);
        return paths_[fd];
    }
    bool Fails(const std::string& call) {
        std::lock_guard lock(mutex_);
        log_.push_back(call);
        const int count = ++counts_[call];
        if (call != failing_ || (failingTime_ != 0 && count != failingTime_)) return false;
        errno = failWith_;
        return true;
    }

    Maildir Make(const MaildirCalls& calls) {
        std::string error;
        auto maildir = Maildir::Create(dir_.File("Maildir"), error, calls);
        EXPECT_TRUE(maildir) << error;
        return *maildir;
    }

    std::string Folder(const char* name) const { return dir_.File(std::string("Maildir/") + name); }

    TempDir dir_{"quillo-maildir"};
    std::mutex mutex_;
    std::map<int, std::string> paths_;
    std::map<std::string, int> counts_;
    std::vector<std::string> log_;
    std::string failing_;
    int failingTime_ = 0;
    int failWith_ = ENOSPC;
};

TEST_F(MaildirTest, CreateMakesPrivateFoldersAndOpenRefusesAFolderThatIsNoMaildir) {
    Make(SystemMaildirCalls());
    for (const char* folder : {"", "tmp", "new", "cur"}) {
        struct stat info {};
        ASSERT_EQ(stat(Folder(folder).c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
    std::string error;
    EXPECT_TRUE(Maildir::Open(Folder(""), error));
    EXPECT_TRUE(Maildir::Create(Folder(""), error)) << "an existing Maildir is opened";

    fs::remove(Folder("cur"));
    EXPECT_FALSE(Maildir::Open(Folder(""), error));
    EXPECT_NE(error.find("no cur/"), std::string::npos) << error;

    dir_.Write("plain-file", "x");
    EXPECT_FALSE(Maildir::Create(dir_.File("plain-file"), error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
}

TEST_F(MaildirTest, DeliverWritesSyncsAndRenamesBeforeSyncingNew) {
    Maildir maildir = Make(Watched());
    log_.clear();
    const std::string message = "Subject: one\n\nA body longer than one short write.\n";
    std::string name;
    std::string error;
    ASSERT_TRUE(maildir.Deliver(message, "abc123", name, error)) << error;

    EXPECT_EQ(name.substr(0, 4), "new/");
    EXPECT_EQ(dir_.Read("Maildir/" + name), message);
    EXPECT_TRUE(FilesIn(Folder("tmp")).empty());
    std::vector<std::string> calls;
    for (const auto& call : log_) {
        if (calls.empty() || calls.back() != call) calls.push_back(call);  // one line for the short writes
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"open tmp/msg", "write tmp/msg", "fsync tmp/msg",
                                               "rename tmp/msg new/msg", "open new/", "fsync new/"}));

    const auto parsed = ParseMaildirName(name.substr(4));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->key, "abc123");
    EXPECT_EQ(parsed->size, message.size());
    EXPECT_EQ(parsed->wireSize, message.size() + 3);
    EXPECT_EQ(maildir.List().ByKey(), (std::map<std::string, std::string>{{"abc123", name}}));
}

TEST_F(MaildirTest, ABatchSyncsEveryFileSeveralAtOnceButTheFolderOnce) {
    MaildirCalls calls = Watched();
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
    calls.fsync = [watched = calls.fsync, &inFlight, &mostInFlight](int fd) {
        const int now = ++inFlight;
        for (int seen = mostInFlight; now > seen && !mostInFlight.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const int result = watched(fd);
        --inFlight;
        return result;
    };
    Maildir maildir = Make(calls);
    log_.clear();
    std::vector<std::string> bodies;
    for (int i = 0; i < 200; ++i) bodies.push_back("Subject: " + std::to_string(i) + "\n\nbody\n");
    std::vector<MaildirMessage> messages;
    for (int i = 0; i < 200; ++i) messages.push_back({bodies[i], "k" + std::to_string(i)});

    const auto results = maildir.DeliverAll(messages);
    ASSERT_EQ(results.size(), 200u);
    for (std::size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i].error, "") << i;
        EXPECT_EQ(dir_.Read("Maildir/" + results[i].name), bodies[i]);
    }
    EXPECT_EQ(counts_["fsync tmp/msg"], 200);
    EXPECT_EQ(counts_["fsync new/"], 1);
    EXPECT_GT(mostInFlight, 1) << "the file syncs wait one after another";
    // No file is renamed into new/ before it is synced.
    int synced = 0;
    for (const auto& call : log_) {
        if (call == "fsync tmp/msg") ++synced;
        if (call.rfind("rename", 0) == 0) {
            ASSERT_GT(synced--, 0) << "renamed before its sync";
        }
    }
    const auto listing = maildir.List();
    ASSERT_EQ(listing.messages.size(), 200u);
    for (std::size_t i = 0; i < 200; ++i) EXPECT_EQ(listing.messages[i].name, results[i].name) << "arrival order";
}

TEST_F(MaildirTest, WhenOneSyncFlushesEverythingTheFilesOfABatchAreSyncedOnTheDeliveringThread) {
    MaildirCalls calls = Watched();
    calls.fsyncFlushesAll = true;
    std::mutex mutex;
    std::vector<std::thread::id> syncingThreads;
    calls.fsync = [watched = calls.fsync, &mutex, &syncingThreads](int fd) {
        {
            std::lock_guard lock(mutex);
            syncingThreads.push_back(std::this_thread::get_id());
        }
        return watched(fd);
    };
    Maildir maildir = Make(calls);
    log_.clear();
    syncingThreads.clear();
    std::vector<std::string> bodies;
    std::vector<MaildirMessage> messages;
    for (int i = 0; i < 40; ++i) bodies.push_back("Subject: " + std::to_string(i) + "\n\nbody\n");
    for (int i = 0; i < 40; ++i) messages.push_back({bodies[i], "k" + std::to_string(i)});

    const auto results = maildir.DeliverAll(messages);
    for (std::size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i].error, "") << i;
        EXPECT_EQ(dir_.Read("Maildir/" + results[i].name), bodies[i]);
    }
    // Every file is still synced before its rename; no thread is started for it.
    EXPECT_EQ(counts_["fsync tmp/msg"], 40);
    EXPECT_EQ(counts_["fsync new/"], 1);
    ASSERT_EQ(syncingThreads.size(), 41u);
    for (const auto& id : syncingThreads) EXPECT_EQ(id, std::this_thread::get_id());
}

struct Fault {
    const char* call;
    int time;  // 0: every time
    const char* reason;
};

TEST_F(MaildirTest, AFailedStepLeavesNoFileInNewOrTmpAndSaysWhy) {
    const Fault faults[] = {
        {"open tmp/msg", 0, "No space left on device"},
        {"write tmp/msg", 1, "No space left on device"},
        {"write tmp/msg", 3, "No space left on device"},
        {"fsync tmp/msg", 0, "No space left on device"},
        {"rename tmp/msg new/msg", 0, "No space left on device"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(std::string(fault.call) + " #" + std::to_string(fault.time));
        fs::remove_all(Folder(""));
        Maildir maildir = Make(Watched());
        counts_.clear();
        failing_ = fault.call;
        failingTime_ = fault.time;
        std::string name;
        std::string error;
        EXPECT_FALSE(maildir.Deliver("Subject: full\n\nThe disk is full.\n", "", name, error));
        EXPECT_NE(error.find(fault.reason), std::string::npos) << error;
        EXPECT_EQ(name, "");
        EXPECT_TRUE(FilesIn(Folder("new")).empty());
        EXPECT_TRUE(FilesIn(Folder("tmp")).empty());
        failing_.clear();
    }
}

TEST_F(MaildirTest, InABatchOnlyTheFailedMessageIsMissing) {
    Maildir maildir = Make(Watched());
    failing_ = "fsync tmp/msg";
    failingTime_ = 2;
    const auto results = maildir.DeliverAll({{"Subject: a\n\na\n", "a"}, {"Subject: b\n\nb\n", "b"},
                                             {"Subject: c\n\nc\n", "c"}, {"", "empty"}, {"x\n", "not a key!"}});
    EXPECT_EQ(results[0].error, "");
    EXPECT_NE(results[1].error.find("No space left on device"), std::string::npos) << results[1].error;
    EXPECT_EQ(results[1].name, "");
    EXPECT_EQ(results[2].error, "");
    EXPECT_NE(results[3].error, "");
    EXPECT_NE(results[4].error, "");
    EXPECT_EQ(FilesIn(Folder("new")).size(), 2u);
    EXPECT_TRUE(FilesIn(Folder("tmp")).empty());
    EXPECT_EQ(maildir.List().ByKey().count("b"), 0u);
}

TEST_F(MaildirTest, AFailedFolderSyncReportsEveryMessageOfTheBatchAsUnsure) {
    Maildir maildir = Make(Watched());
    failing_ = "fsync new/";
    const auto results = maildir.DeliverAll({{"a\n", ""}, {"b\n", ""}});
    for (const auto& result : results) {
        EXPECT_NE(result.name, "") << "the file is in new/";
        EXPECT_NE(result.error.find("No space left on device"), std::string::npos) << result.error;
    }
}

TEST_F(MaildirTest, ANameTakenInNewNeverReplacesTheMessageThere) {
    // Two Maildir objects of one process on one folder, with a clock that stands still,
    // make the same first name for messages of one size.
    MaildirCalls frozen = SystemMaildirCalls();
    frozen.now = [] { return timespec{1700000000, 5000}; };
    Maildir first = Make(frozen);
    Maildir second = Make(frozen);
    std::string a;
    std::string b;
    std::string error;
    ASSERT_TRUE(first.Deliver("first\n", "", a, error)) << error;
    ASSERT_TRUE(second.Deliver("other\n", "", b, error)) << error;
    EXPECT_NE(a, b);
    EXPECT_EQ(dir_.Read("Maildir/" + a), "first\n");
    EXPECT_EQ(dir_.Read("Maildir/" + b), "other\n");
}

TEST_F(MaildirTest, ListingSkipsAndReportsWhatIsNoMessage) {
    Maildir maildir = Make(SystemMaildirCalls());
    // Other deliverers' names and a message a reader has moved to cur/ with flags.
    dir_.Write("Maildir/new/10.M5P7Q1.host", "late\n");
    dir_.Write("Maildir/new/9.M5P7Q1.host", "early\n");
    dir_.Write("Maildir/cur/1700000000.M12P34.mail.example.org,S=6,W=7:2,RS", "dove\n");
    dir_.Write("Maildir/cur/1700000001.R1234567.host:2,", "mutt\n");
    // Foreign or damaged entries.
    dir_.Write("Maildir/new/1700000002.M1P1Q1.host", "");
    dir_.Write("Maildir/new/notes.txt", "not mail\n");
    dir_.Write("Maildir/new/.hidden", "x\n");
    fs::create_directory(Folder("new/1700000003.M1P1Q1.host"));
    fs::create_symlink("/etc/hostname", Folder("cur/1700000004.M1P1Q1.host"));

    const auto listing = maildir.List();
    std::vector<std::string> names;
    for (const auto& entry : listing.messages) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"new/9.M5P7Q1.host", "new/10.M5P7Q1.host",
                                               "cur/1700000000.M12P34.mail.example.org,S=6,W=7:2,RS",
                                               "cur/1700000001.R1234567.host:2,"}));
    EXPECT_EQ(listing.messages[0].size, 6u);
    std::map<std::string, std::string> skipped;
    for (const auto& entry : listing.skipped) skipped[fs::path(entry.path).filename().string()] = entry.reason;
    EXPECT_EQ(skipped, (std::map<std::string, std::string>{
                           {"1700000002.M1P1Q1.host", "empty"},
                           {"notes.txt", "not a message name"},
                           {".hidden", "not a message name"},
                           {"1700000003.M1P1Q1.host", "not a regular file"},
                           {"1700000004.M1P1Q1.host", "not a regular file"},
                       }));
    EXPECT_EQ(listing.error, "");
}

TEST_F(MaildirTest, ReadTakesOnlyNamesInsideNewAndCur) {
    Maildir maildir = Make(SystemMaildirCalls());
    dir_.Write("Maildir/tmp/1.M1P1Q1.host", "half\n");
    dir_.Write("secret", "secret\n");
    std::string name;
    std::string error;
    ASSERT_TRUE(maildir.Deliver("Subject: x\n\nbody\n", "", name, error));
    std::string bytes;
    EXPECT_TRUE(maildir.Read(name, bytes, error)) << error;
    EXPECT_EQ(bytes, "Subject: x\n\nbody\n");
    for (const char* bad : {"tmp/1.M1P1Q1.host", "new/../../secret", "../secret", "new/", "new/..", "cur/missing"}) {
        EXPECT_FALSE(maildir.Read(bad, bytes, error)) << bad;
        EXPECT_EQ(bytes, "") << bad;
    }
}

TEST_F(MaildirTest, RemovingSyncsEachFolderOnceAndAMissingMessageCountsAsRemoved) {
    Maildir maildir = Make(Watched());
    const auto results = maildir.DeliverAll({{"a\n", ""}, {"b\n", ""}, {"c\n", ""}});
    dir_.Write("Maildir/cur/5.M1P1Q1.host:2,S", "seen\n");
    counts_.clear();
    failing_ = "unlink new/msg";
    failingTime_ = 2;
    failWith_ = EACCES;
    const auto errors = maildir.RemoveAll({results[0].name, results[1].name, results[2].name,
                                           "cur/5.M1P1Q1.host:2,S", "new/gone", "../escape"});
    EXPECT_EQ(errors[0], "");
    EXPECT_NE(errors[1].find("Permission denied"), std::string::npos) << errors[1];
    EXPECT_EQ(errors[2], "");
    EXPECT_EQ(errors[3], "");
    EXPECT_EQ(errors[4], "");
    EXPECT_NE(errors[5], "");
    EXPECT_EQ(FilesIn(Folder("new")).size(), 1u);
    EXPECT_TRUE(FilesIn(Folder("cur")).empty());
    EXPECT_EQ(counts_["fsync new/"], 1);
    EXPECT_EQ(counts_["fsync cur/"], 1);
}

TEST_F(MaildirTest, CleaningTmpRemovesOnlyFilesUntouchedFor36Hours) {
    MaildirCalls calls = SystemMaildirCalls();
    constexpr time_t now = 1700000000;
    calls.now = [] { return timespec{now, 0}; };
    Maildir maildir = Make(calls);
    const auto age = [&](const char* file, time_t seconds) {
        dir_.Write(std::string("Maildir/tmp/") + file, "partial");
        const timespec times[2] = {{now - seconds, 0}, {now - seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, Folder((std::string("tmp/") + file).c_str()).c_str(), times, 0), 0);
    };
    age("old", 36 * 3600 + 60);
    age("recent", 36 * 3600 - 60);
    std::string error;
    EXPECT_EQ(maildir.CleanTmp(error), 1);
    EXPECT_EQ(error, "");
    EXPECT_EQ(FilesIn(Folder("tmp")), std::vector<std::string>{"recent"});
}

TEST_F(MaildirTest, ASubfolderCarriesTheMaildirfolderMarker) {
    Maildir maildir = Make(SystemMaildirCalls());
    std::string error;
    auto sub = maildir.CreateSubfolder(".Feeds.Tech", error);
    ASSERT_TRUE(sub) << error;
    EXPECT_TRUE(fs::is_regular_file(Folder(".Feeds.Tech/maildirfolder")));
    EXPECT_TRUE(fs::is_directory(Folder(".Feeds.Tech/new")));
    for (const char* bad : {"Feeds", ".", "..", ".a/b", ""}) EXPECT_FALSE(maildir.CreateSubfolder(bad, error)) << bad;
}

}  // namespace
