#pragma once

#include <string>
#include <string_view>

// The feed folder name: the URL after its first "://" (the whole URL without one), with
// every "/" and "?" made "-". URLs that differ only in the scheme share a folder. A
// name that could address another directory or that no file system takes ("", ".",
// "..", longer than 255 bytes) becomes a safe name: its first 200 bytes, "-" and a hex
// hash of the whole name.
std::string GetFeedFolderName(std::string_view url);

// Application directory + "/data/" + folder name + "/".
std::string GetFeedFolderPath(std::string_view url);

// Creates every missing directory of the path; false when it still does not exist.
bool MakeSureDirectoryPathExists(const std::string& path);

// Replaces the file by the bytes through a temporary file beside it and a rename, so
// readers see the old content or the new one, never a part. With sync false the data
// is not forced to disk first: for files whose loss after a crash costs nothing worse
// than one unconditional download (the validators), where an fsync per feed would make
// every refresh wait for the disk.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, bool sync = true);

// 64-bit FNV-1a with a final avalanche; seed picks one of a family of hashes.
unsigned long long HashText(std::string_view text, unsigned long long seed = 0);
