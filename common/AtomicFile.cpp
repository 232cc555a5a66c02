#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(int error) { return std::strerror(error); }

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool SyncFolder(const std::string& path, std::string& error, const FileSystemCalls& calls) {
    const int fd = calls.open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) {
        error = Reason(errno);
        return false;
    }
    bool ok = calls.fsync(fd) == 0;
    if (!ok) error = Reason(errno);
    calls.close(fd);
    return ok;
}

// Errors of link() that say the file system has no hard links (vfat, some FUSE).
bool NoHardLinks(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

// Links `to` as keepPreviousAs through a temporary name, so that an older copy is
// replaced in one rename and never missing.
bool KeepPrevious(const std::string& to, const std::string& keepPreviousAs, std::string& error,
                  const FileSystemCalls& calls) {
    const std::string temp = keepPreviousAs + ".new";
    calls.unlink(temp.c_str());  // left by an earlier crash
    if (calls.link(to.c_str(), temp.c_str()) != 0) {
        const int e = errno;
        if (e == ENOENT || NoHardLinks(e)) return true;
        error = Reason(e);
        return false;
    }
    if (calls.rename(temp.c_str(), keepPreviousAs.c_str()) != 0) {
        error = Reason(errno);
        calls.unlink(temp.c_str());
        return false;
    }
    return true;
}

// The path the rename must replace: a symbolic link is followed, so saving through
// it updates the file it points to instead of replacing the link.
std::string ResolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 16; ++hops) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        char buffer[PATH_MAX];
        const ssize_t n = readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (n <= 0) break;
        std::string link(buffer, static_cast<std::size_t>(n));
        if (link.front() != '/') {
            const std::size_t slash = target.rfind('/');
            link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = link;
    }
    return target;
}

}  // namespace

const FileSystemCalls& SystemFileCalls() {
    static const FileSystemCalls calls{
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](int fd) { return ::close(fd); },
        [](const char* from, const char* to) { return std::rename(from, to); },
        [](const char* existing, const char* added) { return ::link(existing, added); },
        [](const char* path) { return ::unlink(path); },
    };
    return calls;
}

bool WriteFileSynced(const std::string& path, std::string_view bytes, std::string& error,
                     const FileSystemCalls& calls) {
    const int fd = calls.open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Reason(errno);
        return false;
    }
    int failure = 0;
    for (size_t done = 0; failure == 0 && done < bytes.size();) {
        const ssize_t n = calls.write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = errno;
        else if (n == 0) failure = EIO;
        else done += static_cast<size_t>(n);
    }
    // A full disk often shows only here, when the delayed blocks are allocated.
    if (failure == 0 && calls.fsync(fd) != 0) failure = errno;
    if (calls.close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        error = Reason(failure);
        calls.unlink(path.c_str());
        return false;
    }
    return true;
}

bool InstallFile(const std::string& from, const std::string& to, const std::string& keepPreviousAs,
                 std::string& error, const FileSystemCalls& calls) {
    if (!keepPreviousAs.empty() && !KeepPrevious(to, keepPreviousAs, error, calls)) return false;
    if (calls.rename(from.c_str(), to.c_str()) != 0) {
        error = Reason(errno);
        return false;
    }
    return SyncFolder(to, error, calls);
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string& error,
                           const FileSystemCalls& calls) {
    const std::string target = ResolveTarget(path);
    const std::string temp = target + ".new";
    if (!WriteFileSynced(temp, bytes, error, calls)) return false;
    // The new file keeps the permissions of the one it replaces; a failed chmod is not
    // worth losing the save over.
    struct stat info {};
    if (stat(target.c_str(), &info) == 0) (void)chmod(temp.c_str(), info.st_mode & 07777);
    if (InstallFile(temp, target, "", error, calls)) return true;
    calls.unlink(temp.c_str());
    return false;
}
