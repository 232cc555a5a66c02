#include "FeedFolder.h"

#include "AtomicFile.h"
#include "LatestDocument.h"
#include "FetchState.h"
#include "Paths.h"
#include "TextUtil.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

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

namespace {

// The URL after its scheme, and without the user name and password when withoutUser.
std::string NamePart(std::string_view url, bool withoutUser) {
    std::string name(url);
    if (auto pos = name.find("://"); pos != std::string::npos) name.erase(0, pos + 3);
    if (withoutUser) {
        const size_t authorityEnd = std::min(name.find_first_of("/?#"), name.size());
        const size_t at = name.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
        if (at != std::string::npos && at < authorityEnd) name.erase(0, at + 1);
    }
    return name;
}

std::string FolderName(std::string name) {
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

}  // namespace

std::string GetFeedFolderName(std::string_view url) { return FolderName(NamePart(url, true)); }

std::string LegacyFeedFolderName(std::string_view url) { return FolderName(NamePart(url, false)); }

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

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The URL a folder names as its feed; nullopt when it names none.
std::optional<std::string> FolderOwner(const std::string& folder) {
    std::ifstream file(JoinPath(folder, kFeedUrlFile), std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The folders of data/ by the URL their url.txt names, and by the address their
// fetch state says their feed moved to.
struct FoldersByAddress {
    std::map<std::string, std::string> owned;
    std::map<std::string, std::string> moved;
};

FoldersByAddress ScanFeedFolders(const std::string& dataDir) {
    FoldersByAddress folders;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir, error)) {
        std::error_code ignored;
        if (!entry.is_directory(ignored)) continue;
        const std::string name = entry.path().filename().string();
        const std::string folder = JoinPath(dataDir, name);
        if (const std::optional<std::string> owner = FolderOwner(folder)) folders.owned.emplace(*owner, name);
        const FetchStateRead read = ReadFetchState(folder + "/");
        if (!read.state.movedTo.empty()) folders.moved.emplace(read.state.movedTo, name);
    }
    return folders;
}

// How many other names a URL whose name is taken may try.
constexpr int kOtherNames = 8;

// The k-th other name of a URL: its name, "-" and 8 hex digits of a hash of the URL
// without its user name and password, so that they never show in a folder name.
std::string OtherName(const std::string& name, std::string_view url, int k) {
    char hash[16];
    std::snprintf(hash, sizeof hash, "-%08llx", HashText(NamePart(url, true), static_cast<unsigned>(k)) & 0xffffffffULL);
    return name.substr(0, std::min(name.size(), kMaxNameBytes - 9)) + hash;
}

}  // namespace

std::vector<std::string> AssignFeedFolders(const std::string& dataDir, const std::vector<std::string>& urls) {
    const std::set<std::string> listed(urls.begin(), urls.end());
    std::map<std::string, std::string> folderOf;  // URL -> name
    std::map<std::string, std::string> urlOf;     // name -> URL
    auto give = [&](const std::string& url, const std::string& name) {
        folderOf[url] = name;
        urlOf[name] = url;
    };
    auto path = [&dataDir](const std::string& name) { return JoinPath(dataDir, name); };
    // The names a URL may have, in the order they are tried.
    auto candidates = [](const std::string& url) {
        std::vector<std::string> names;
        const std::string name = GetFeedFolderName(url);
        const std::string legacy = LegacyFeedFolderName(url);
        if (legacy != name) names.push_back(legacy);
        names.push_back(name);
        for (int k = 1; k <= kOtherNames; ++k) names.push_back(OtherName(name, url, k));
        return names;
    };
    // A folder that names the URL is its own.
    for (const std::string& url : urls) {
        if (folderOf.count(url)) continue;
        for (const std::string& name : candidates(url)) {
            if (!urlOf.count(name) && name != kFeedReportFolderName && FolderOwner(path(name)) == url) {
                give(url, name);
                break;
            }
        }
    }
    // A URL whose folder is not under one of its own names: the folder of a feed that
    // moved, once the list gives the new address. It keeps its records and store.
    if (folderOf.size() < listed.size()) {
        const FoldersByAddress folders = ScanFeedFolders(dataDir);
        for (const std::string& url : urls) {
            if (folderOf.count(url)) continue;
            if (auto owned = folders.owned.find(url); owned != folders.owned.end() && !urlOf.count(owned->second)) {
                give(url, owned->second);
                continue;
            }
            auto moved = folders.moved.find(url);
            if (moved == folders.moved.end() || urlOf.count(moved->second)) continue;
            const std::optional<std::string> owner = FolderOwner(path(moved->second));
            if (owner && listed.count(*owner)) continue;
            give(url, moved->second);
        }
    }
    // A folder of an earlier version goes to the URL that version gave it to.
    for (const std::string& url : urls) {
        const std::string legacy = LegacyFeedFolderName(url);
        if (folderOf.count(url) || urlOf.count(legacy) || legacy == kFeedReportFolderName) continue;
        if (IsDirectory(path(legacy)) && !FolderOwner(path(legacy))) give(url, legacy);
    }
    // Else the first name that no listed URL holds.
    for (const std::string& url : urls) {
        if (folderOf.count(url)) continue;
        const std::vector<std::string> names = candidates(url);
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string& name = names[i];
            if (urlOf.count(name) || name == kFeedReportFolderName) continue;
            // The name with user name and password is only ever used as it was found.
            if (i == 0 && names.size() > kOtherNames + 1) continue;
            const std::optional<std::string> owner = FolderOwner(path(name));
            if (owner && listed.count(*owner)) continue;
            // Another feed's files: its validators would be sent to this one's server.
            if (owner) LatestDocument(path(name) + "/").Forget();
            give(url, name);
            break;
        }
        // Every name taken (a list with many URLs of one name): the last one is shared.
        if (!folderOf.count(url)) give(url, names.back());
    }
    std::vector<std::string> names;
    names.reserve(urls.size());
    for (const std::string& url : urls) {
        const std::string& name = folderOf[url];
        names.push_back(name);
        const std::string folder = path(name);
        if (FolderOwner(folder) == url) continue;
        std::string error;
        // A folder that cannot be made or marked now is reported by its download.
        if (MakeSureDirectoryPathExists(folder + "/")) ReplaceFileAtomically(JoinPath(folder, kFeedUrlFile), url, error);
    }
    return names;
}
