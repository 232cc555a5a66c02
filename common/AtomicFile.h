#pragma once

// Replacing a file so that after a crash or a full disk it holds the old bytes or the
// new ones, never a part: write and sync a sibling, rename it over the file, sync the
// folder (without that the rename itself may be lost).

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

// The system calls the helpers make. Tests pass their own to watch the order of calls or
// to make one fail; everything else uses SystemFileCalls().
struct FileSystemCalls {
    std::function<int(const char* path, int flags, mode_t mode)> open;
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(const char* existing, const char* added)> link;
    std::function<int(const char* path)> unlink;
};
const FileSystemCalls& SystemFileCalls();

// Every function returns false on failure with error set to the system's reason
// ("No space left on device"); the caller names the file and what it was for.

// Creates or truncates path, writes the bytes and syncs them. On failure the partly
// written file is removed.
bool WriteFileSynced(const std::string& path, std::string_view bytes, std::string& error,
                     const FileSystemCalls& calls = SystemFileCalls());

// Renames `from` over `to` and syncs their folder. With keepPreviousAs set and `to`
// present, `to` is first hard-linked as keepPreviousAs, replacing an older one, so the
// previous file survives the rename. On a file system without hard links the previous
// file is not kept; any other failure leaves `to` as it was (`from` stays for the caller).
bool InstallFile(const std::string& from, const std::string& to, const std::string& keepPreviousAs,
                 std::string& error, const FileSystemCalls& calls = SystemFileCalls());

// WriteFileSynced to path + ".new", then InstallFile over path; on failure the old file
// is untouched and the temporary one removed. A symbolic link at path is followed (the
// file it names is replaced), and the new file keeps the old one's permissions.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string& error,
                           const FileSystemCalls& calls = SystemFileCalls());
