#include "Maildir.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Paths.h"

namespace {

constexpr const char* kFolders[] = {"tmp", "new", "cur"};

// A batch is written a group at a time; the group bounds the open descriptors.
constexpr std::size_t kSyncGroup = 256;

// Syncs of one group run this many at a time, on threads of their own: the file system
// joins syncs that wait together into one journal commit and one disk cache flush, so
// a thousand files cost a few dozen flushes instead of a thousand.
constexpr std::size_t kParallelSyncs = 32;

// A name taken by another delivery in the same microsecond is retried with a new one.
constexpr int kNameAttempts = 5;

std::string Reason(int error) { return std::strerror(error); }

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// "new/<file>" or "cur/<file>" with a plain file name; anything else could escape.
bool IsMessageName(const std::string& name) {
    if (name.size() <= 4 || (name.compare(0, 4, "new/") != 0 && name.compare(0, 4, "cur/") != 0)) return false;
    const std::string_view file = std::string_view(name).substr(4);
    return file != "." && file != ".." && file.find('/') == std::string_view::npos &&
           file.find('\0') == std::string_view::npos;
}

bool MakeFolder(const std::string& path, const MaildirCalls& calls, bool& made, std::string& error) {
    if (calls.mkdir(path.c_str(), 0700) == 0) {
        made = true;
        return true;
    }
    const int e = errno;
    if (e == EEXIST && IsFolder(path)) return true;
    error = "cannot make " + path + ": " + Reason(e == EEXIST ? ENOTDIR : e);
    return false;
}

timespec Later(const timespec& a, const timespec& b) {
    return (a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec) ? a : b;
}

}  // namespace

std::map<std::string, std::string> MaildirListing::ByKey() const {
    std::map<std::string, std::string> index;
    for (const auto& message : messages) {
        if (!message.parsed.key.empty()) index.emplace(message.parsed.key, message.name);
    }
    return index;
}

Maildir::Maildir(std::string path, const MaildirCalls& calls) : path_(std::move(path)), calls_(calls) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    host_ = host;
    pid_ = static_cast<long>(getpid());
}

std::optional<Maildir> Maildir::Create(const std::string& path, std::string& error, const MaildirCalls& calls) {
    bool made = false;
    if (!MakeFolder(path, calls, made, error)) return std::nullopt;
    const bool madeTop = made;
    for (const char* folder : kFolders) {
        if (!MakeFolder(JoinPath(path, folder), calls, made, error)) return std::nullopt;
    }
    Maildir maildir(path, calls);
    // New folders are made permanent before anything is delivered into them.
    if (made && !maildir.SyncFolder(path, error)) return std::nullopt;
    if (madeTop) {
        const auto slash = path.find_last_of('/');
        const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (!maildir.SyncFolder(parent, error)) return std::nullopt;
    }
    return maildir;
}

std::optional<Maildir> Maildir::Open(const std::string& path, std::string& error, const MaildirCalls& calls) {
    for (const char* folder : kFolders) {
        if (!IsFolder(JoinPath(path, folder))) {
            error = path + " is not a Maildir (no " + folder + "/ folder)";
            return std::nullopt;
        }
    }
    return Maildir(path, calls);
}

std::optional<Maildir> Maildir::CreateSubfolder(const std::string& folderName, std::string& error) const {
    if (folderName.size() < 2 || folderName[0] != '.' || folderName == ".." ||
        folderName.find('/') != std::string::npos) {
        error = "not a Maildir++ folder name: " + folderName;
        return std::nullopt;
    }
    const std::string path = JoinPath(path_, folderName);
    auto folder = Create(path, error, calls_);
    if (!folder) return std::nullopt;
    // Courier and Dovecot know a subfolder by this empty file.
    const std::string marker = JoinPath(path, "maildirfolder");
    const int fd = calls_.open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot make " + marker + ": " + Reason(errno);
        return std::nullopt;
    }
    calls_.close(fd);
    return folder;
}

std::vector<int> Maildir::SyncFiles(const std::vector<Pending>& files) const {
    std::vector<int> errors(files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next++) < files.size();) errors[i] = calls_.fsync(files[i].fd) == 0 ? 0 : errno;
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t threads = calls_.fsyncFlushesAll ? 1 : std::min(kParallelSyncs, files.size());
        for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
        work();
    }
    return errors;
}

std::string Maildir::NextName(const MaildirMessage& message) {
    return MakeMaildirName(calls_.now(), pid_, ++deliveries_, host_, message.bytes.size(), WireSize(message.bytes),
                           message.key);
}

bool Maildir::SyncFolder(const std::string& folder, std::string& error) const {
    const int fd = calls_.open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) {
        error = "cannot open " + folder + ": " + Reason(errno);
        return false;
    }
    const bool ok = calls_.fsync(fd) == 0;
    if (!ok) error = "cannot sync " + folder + ": " + Reason(errno);
    calls_.close(fd);
    return ok;
}

bool Maildir::Deliver(std::string_view bytes, std::string_view key, std::string& name, std::string& error) {
    auto result = DeliverAll({MaildirMessage{bytes, std::string(key)}});
    name = std::move(result[0].name);
    error = std::move(result[0].error);
    return error.empty();
}

// Three passes over each group: write every file, sync every file (several at once),
// rename every file into new/; then one sync of new/ for the whole batch. tmp/ is never
// synced: a tmp/ entry lost or revived by a crash is only a stale file that CleanTmp
// removes.
std::vector<MaildirDelivery> Maildir::DeliverAll(const std::vector<MaildirMessage>& messages) {
    std::vector<MaildirDelivery> results(messages.size());
    const std::string tmp = JoinPath(path_, "tmp");
    const std::string fresh = JoinPath(path_, "new");
    bool renamedAny = false;

    auto fail = [&](Pending& p, const std::string& what, int e) {
        if (p.fd >= 0) calls_.close(p.fd);
        p.fd = -1;
        calls_.unlink(JoinPath(tmp, p.file).c_str());
        results[p.index].error = what + " tmp/" + p.file + ": " + Reason(e);
    };

    for (std::size_t start = 0; start < messages.size(); start += kSyncGroup) {
        std::vector<Pending> group;
        const std::size_t end = std::min(messages.size(), start + kSyncGroup);
        for (std::size_t i = start; i < end; ++i) {
            const MaildirMessage& message = messages[i];
            if (message.bytes.empty()) {
                results[i].error = "an empty message is not delivered";
                continue;
            }
            if (!message.key.empty() && !IsMaildirKey(message.key)) {
                results[i].error = "not a message key: " + message.key;
                continue;
            }
            Pending p{i, {}, -1};
            for (int attempt = 0; attempt < kNameAttempts && p.fd < 0; ++attempt) {
                p.file = NextName(message);
                p.fd = calls_.open(JoinPath(tmp, p.file).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                if (p.fd < 0 && errno != EEXIST) break;
            }
            if (p.fd < 0) {
                results[i].error = "cannot create tmp/" + p.file + ": " + Reason(errno);
                continue;
            }
            bool written = true;
            for (std::size_t done = 0; written && done < message.bytes.size();) {
                const ssize_t n = calls_.write(p.fd, message.bytes.data() + done, message.bytes.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n == 0) errno = EIO;
                if (n <= 0) written = false;
                else done += static_cast<std::size_t>(n);
            }
            if (!written) fail(p, "cannot write", errno);
            else group.push_back(std::move(p));
        }
        // A full disk often shows only here, when the delayed blocks are allocated.
        const std::vector<int> syncErrors = SyncFiles(group);
        for (std::size_t g = 0; g < group.size(); ++g) {
            Pending& p = group[g];
            if (syncErrors[g] != 0) {
                fail(p, "cannot sync", syncErrors[g]);
                continue;
            }
            const int fd = p.fd;
            p.fd = -1;
            if (calls_.close(fd) != 0) fail(p, "cannot close", errno);
        }
        for (Pending& p : group) {
            if (!results[p.index].error.empty()) continue;
            // Another delivery may hold the name in new/ (a second Maildir object on the
            // folder in the same microsecond): the message moves under a fresh one.
            std::string target = p.file;
            bool moved = false;
            for (int attempt = 0; attempt < kNameAttempts && !moved; ++attempt) {
                if (attempt > 0) target = NextName(messages[p.index]);
                moved = calls_.renameNoReplace(JoinPath(tmp, p.file).c_str(), JoinPath(fresh, target).c_str()) == 0;
                if (!moved && errno != EEXIST) break;
            }
            if (!moved) {
                fail(p, "cannot move to new/", errno);
                continue;
            }
            results[p.index].name = "new/" + target;
            renamedAny = true;
        }
    }
    std::string error;
    if (renamedAny && !SyncFolder(fresh, error)) {
        for (auto& result : results) {
            if (!result.name.empty()) result.error = error;
        }
    }
    return results;
}

MaildirListing Maildir::List() const {
    MaildirListing listing;
    for (const char* folder : {"new", "cur"}) {
        const std::string dir = JoinPath(path_, folder);
        std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(dir.c_str()), closedir);
        if (!stream) {
            if (listing.error.empty()) listing.error = "cannot read " + dir + ": " + Reason(errno);
            continue;
        }
        const int dirFd = dirfd(stream.get());
        while (const dirent* entry = readdir(stream.get())) {
            const std::string file = entry->d_name;
            if (file == "." || file == "..") continue;
            const std::string path = JoinPath(dir, file);
            auto skip = [&](std::string reason) { listing.skipped.push_back({path, std::move(reason)}); };
            struct stat info {};
            if (fstatat(dirFd, file.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
                skip("cannot read: " + Reason(errno));
                continue;
            }
            if (!S_ISREG(info.st_mode)) {
                skip("not a regular file");
                continue;
            }
            auto parsed = ParseMaildirName(file);
            if (!parsed) {
                skip("not a message name");
                continue;
            }
            if (info.st_size == 0) {
                skip("empty");
                continue;
            }
            if (faccessat(dirFd, file.c_str(), R_OK, AT_EACCESS) != 0) {
                skip("unreadable: " + Reason(errno));
                continue;
            }
            listing.messages.push_back(
                {std::string(folder) + "/" + file, path, static_cast<std::uint64_t>(info.st_size), info.st_mtim,
                 std::move(*parsed)});
        }
    }
    std::sort(listing.messages.begin(), listing.messages.end(), [](const MaildirEntry& a, const MaildirEntry& b) {
        if (ArrivedBefore(a.parsed, b.parsed)) return true;
        if (ArrivedBefore(b.parsed, a.parsed)) return false;
        return a.name < b.name;
    });
    return listing;
}

bool Maildir::Read(const std::string& name, std::string& bytes, std::string& error) const {
    bytes.clear();
    if (!IsMessageName(name)) {
        error = "not a message name: " + name;
        return false;
    }
    const std::string path = JoinPath(path_, name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = "cannot open " + name + ": " + Reason(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = name + " is not a regular file";
        ::close(fd);
        return false;
    }
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + name + ": " + Reason(errno);
            ::close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool Maildir::Remove(const std::string& name, std::string& error) {
    error = RemoveAll({name})[0];
    return error.empty();
}

std::vector<std::string> Maildir::RemoveAll(const std::vector<std::string>& names) {
    std::vector<std::string> errors(names.size());
    std::map<std::string, std::vector<std::size_t>> removedIn;  // folder -> names removed there
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!IsMessageName(names[i])) {
            errors[i] = "not a message name: " + names[i];
            continue;
        }
        if (calls_.unlink(JoinPath(path_, names[i]).c_str()) != 0 && errno != ENOENT) {
            errors[i] = "cannot remove " + names[i] + ": " + Reason(errno);
            continue;
        }
        removedIn[names[i].substr(0, 3)].push_back(i);
    }
    for (const auto& [folder, removed] : removedIn) {
        std::string error;
        if (SyncFolder(JoinPath(path_, folder), error)) continue;
        for (const std::size_t i : removed) errors[i] = error;
    }
    return errors;
}

int Maildir::CleanTmp(std::string& error) {
    const std::string dir = JoinPath(path_, "tmp");
    std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(dir.c_str()), closedir);
    if (!stream) {
        error = "cannot read " + dir + ": " + Reason(errno);
        return 0;
    }
    const time_t now = calls_.now().tv_sec;
    int removed = 0;
    while (const dirent* entry = readdir(stream.get())) {
        const std::string file = entry->d_name;
        if (file == "." || file == "..") continue;
        struct stat info {};
        if (fstatat(dirfd(stream.get()), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode))
            continue;
        // Read access counts as a touch, as the Maildir rule has it; a file system
        // mounted noatime leaves the write time.
        if (now - Later(info.st_atim, info.st_mtim).tv_sec <= kStaleTmpSeconds) continue;
        if (calls_.unlink(JoinPath(dir, file).c_str()) == 0) ++removed;
        else if (error.empty()) error = "cannot remove tmp/" + file + ": " + Reason(errno);
    }
    return removed;
}
