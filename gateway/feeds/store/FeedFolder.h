#pragma once

#include <string>
#include <string_view>

// The feed folder name: the URL after its first "://" (the whole URL without one), with
// every "/" and "?" made "-". URLs that differ only in the scheme share a folder. A
// name that could address another directory or that no file system takes ("", ".",
// "..", longer than 255 bytes) becomes a safe name: its first 200 bytes, "-" and a hex
// hash of the whole name.
std::string GetFeedFolderName(std::string_view url);

// The state directory (data/ and log.txt) + "/data/" + folder name + "/".
std::string GetFeedFolderPath(std::string_view stateDir, std::string_view url);

// Creates every missing directory of the path; false when it still does not exist.
bool MakeSureDirectoryPathExists(const std::string& path);

// 64-bit FNV-1a with a final avalanche; seed picks one of a family of hashes.
unsigned long long HashText(std::string_view text, unsigned long long seed = 0);
