#include "MaildirCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// renameat2 with RENAME_NOREPLACE where the file system has it (ext4, xfs, btrfs,
// tmpfs); elsewhere link and unlink, which also refuse to replace.
int RenameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    if (::link(from, to) != 0) return -1;
    ::unlink(from);
    return 0;
}

}  // namespace

const MaildirCalls& SystemMaildirCalls() {
    static const MaildirCalls calls{
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](int fd) { return ::close(fd); },
        [](const char* path, mode_t mode) { return ::mkdir(path, mode); },
        RenameNoReplace,
        [](const char* path) { return ::unlink(path); },
        [] {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            return now;
        },
        false,
    };
    return calls;
}
