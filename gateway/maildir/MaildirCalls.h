#pragma once

// The system calls a Maildir makes, gathered so that a test can make one fail (a full
// disk at write or fsync, a rename that is refused) or watch their order without a
// real full disk. Everything else uses SystemMaildirCalls().

#include <functional>
#include <sys/types.h>
#include <time.h>

struct MaildirCalls {
    std::function<int(const char* path, int flags, mode_t mode)> open;
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(int fd)> close;
    std::function<int(const char* path, mode_t mode)> mkdir;
    // Moves `from` to `to` only when `to` does not exist (EEXIST otherwise), so that a
    // name that is somehow taken never replaces a message already delivered.
    std::function<int(const char* from, const char* to)> renameNoReplace;
    std::function<int(const char* path)> unlink;
    // The wall clock with microseconds, for unique names and the age of tmp/ files.
    std::function<timespec()> now;
    // True when one fsync flushes every change made before it (syncfs behind it): the
    // files of a group are then synced one after the other on the delivering thread,
    // the first doing the work, instead of on threads started for them.
    bool fsyncFlushesAll = false;
};

const MaildirCalls& SystemMaildirCalls();
