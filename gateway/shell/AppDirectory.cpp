#include "AppDirectory.h"

#include <unistd.h>

#include <climits>

namespace {
std::string g_override;
}

std::string AppDirectory() {
    if (!g_override.empty()) return g_override;
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<size_t>(n));
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string AppFilePath(std::string_view name) {
    std::string dir = AppDirectory();
    if (dir != "/") dir += '/';
    dir += name;
    return dir;
}

void SetAppDirectoryForTesting(const std::string& path) { g_override = path; }
