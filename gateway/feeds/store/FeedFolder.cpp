#include "FeedFolder.h"

#include "Paths.h"
#include "TextUtil.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace {
constexpr size_t kMaxNameBytes = 255;
constexpr size_t kSafePrefixBytes = 200;
}  // namespace

unsigned long long HashText(std::string_view text, unsigned long long seed) {
    unsigned long long h = 0xcbf29ce484222325ULL ^ (seed * 0x9e3779b97f4a7c15ULL);
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    // FNV alone mixes the last bytes poorly; this finaliser spreads them over every bit.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

std::string GetFeedFolderName(std::string_view url) {
    std::string name(url);
    if (auto pos = name.find("://"); pos != std::string::npos) name.erase(0, pos + 3);
    name = ReplaceAll(std::move(name), "/", "-");
    name = ReplaceAll(std::move(name), "?", "-");
    // A NUL would cut the path short in the file system calls.
    const bool unsafe = name.empty() || name == "." || name == ".." ||
                        name.size() > kMaxNameBytes || name.find('\0') != std::string::npos;
    if (!unsafe) return name;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", HashText(name));
    std::string prefix = name.substr(0, std::min(name.size(), kSafePrefixBytes));
    for (char& c : prefix) {
        if (c == '\0') c = '-';
    }
    if (prefix == "." || prefix == "..") prefix.clear();
    return prefix + "-" + hash;
}

std::string GetFeedFolderPath(std::string_view stateDir, std::string_view url) {
    return JoinPath(stateDir, "data/" + GetFeedFolderName(url) + "/");
}

bool MakeSureDirectoryPathExists(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/') continue;
        std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
