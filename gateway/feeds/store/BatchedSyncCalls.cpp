#include "BatchedSyncCalls.h"

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

MaildirCalls BatchedSyncCalls() {
    MaildirCalls calls = SystemMaildirCalls();
    // Set by every change; a sync that finds it clear follows one that covered them all.
    auto changed = std::make_shared<std::atomic<bool>>(false);
    auto base = SystemMaildirCalls();
    calls.open = [base, changed](const char* path, int flags, mode_t mode) {
        if (flags & O_CREAT) *changed = true;
        return base.open(path, flags, mode);
    };
    calls.write = [base, changed](int fd, const void* data, size_t size) {
        *changed = true;
        return base.write(fd, data, size);
    };
    calls.mkdir = [base, changed](const char* path, mode_t mode) {
        *changed = true;
        return base.mkdir(path, mode);
    };
    calls.renameNoReplace = [base, changed](const char* from, const char* to) {
        *changed = true;
        return base.renameNoReplace(from, to);
    };
    calls.unlink = [base, changed](const char* path) {
        *changed = true;
        return base.unlink(path);
    };
    // Syncs asked for at once (a Maildir syncs a group's files side by side) wait for
    // the one flush and share its result.
    auto flushing = std::make_shared<std::mutex>();
    calls.fsync = [changed, flushing](int fd) {
        std::lock_guard lock(*flushing);
        // Cleared before the flush: a change made while it runs is flushed by the next.
        if (!changed->exchange(false)) return 0;
        const int result = ::syncfs(fd);
        if (result != 0) *changed = true;
        return result;
    };
    calls.fsyncFlushesAll = true;
    return calls;
}
