#include "AppDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const kFirstStartSettings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- Quillo's settings, read once at start. Every element is optional; only the\n"
    "     exact text \"true\" switches a flag on. The feeds themselves are in feedlist.xml\n"
    "     beside this file (edit it with Corvane) and in feed-list below. -->\n"
    "<quillo>\n"
    "  <settings>\n"
    "    <!-- POP3 port; below 1024 needs root, so 1110 rather than 110. -->\n"
    "    <port>1110</port>\n"
    "    <!-- 127.0.0.1: this machine only. 0.0.0.0 lets anyone on the network read and\n"
    "         delete your items unless a <password> is set. -->\n"
    "    <listen-address>127.0.0.1</listen-address>\n"
    "    <disable-messagebox>false</disable-messagebox>\n"
    "    <disable-trayicon>false</disable-trayicon>\n"
    "    <!-- true: HTML mail instead of plain text. -->\n"
    "    <enable-html>false</enable-html>\n"
    "  </settings>\n"
    "  <feed-list>\n"
    "    <!-- <feed>https://example.org/feed.xml</feed> -->\n"
    "  </feed-list>\n"
    "</quillo>\n";

const char* const kFirstStartFeedList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<opml version=\"1.0\">\n"
    "  <head>\n"
    "    <title>Quillo feeds</title>\n"
    "  </head>\n"
    "  <body>\n"
    "  </body>\n"
    "</opml>\n";

namespace {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// XDG base directories must be absolute; anything else counts as unset.
std::string XdgBase(const std::string& value, const std::string& home, const char* fallback) {
    if (!value.empty() && value[0] == '/') return value;
    return home + fallback;
}

bool MakeDirectories(const std::string& path, std::string& error) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + ": not a directory";
        return false;
    }
    return true;
}

// Writes a file only when nothing is there yet: the user's own file is never replaced.
bool WriteIfMissing(const std::string& path, const char* text, std::string& error) {
    std::FILE* existing = std::fopen(path.c_str(), "rb");
    if (existing) {
        std::fclose(existing);
        return true;
    }
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (!file) {
        if (errno == EEXIST) return true;
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const size_t length = std::strlen(text);
    const bool written = std::fwrite(text, 1, length, file) == length;
    if (std::fclose(file) != 0 || !written) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

bool FileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace

AppLayout PortableAppLayout(const std::string& directory, const std::string& programDir) {
    return {directory, directory, programDir, false};
}

AppLayout PortableAppLayout(const std::string& directory) {
    return PortableAppLayout(directory, directory);
}

XdgEnvironment ReadXdgEnvironment() {
    XdgEnvironment environment;
    environment.home = EnvironmentValue("HOME");
    if (environment.home.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) environment.home = user->pw_dir;
    }
    environment.configHome = EnvironmentValue("XDG_CONFIG_HOME");
    environment.stateHome = EnvironmentValue("XDG_STATE_HOME");
    return environment;
}

AppLayout ChooseAppLayout(const std::string& programDir, const std::optional<std::string>& dirOption,
                          bool programDirHasSettings, const XdgEnvironment& environment) {
    if (dirOption) return PortableAppLayout(*dirOption, programDir);
    if (programDirHasSettings) return PortableAppLayout(programDir);
    AppLayout layout;
    layout.configDir = JoinPath(XdgBase(environment.configHome, environment.home, "/.config"), "quillo");
    layout.stateDir = JoinPath(XdgBase(environment.stateHome, environment.home, "/.local/state"), "quillo");
    layout.programDir = programDir;
    layout.installed = true;
    return layout;
}

AppLayout ResolveAppLayout(const std::optional<std::string>& dirOption) {
    const std::string programDir = ExecutableDirectory();
    return ChooseAppLayout(programDir, dirOption, FileExists(JoinPath(programDir, "Quillo.xml")),
                           ReadXdgEnvironment());
}

bool PrepareAppLayout(const AppLayout& layout, std::string& error) {
    if (!MakeDirectories(layout.configDir, error) || !MakeDirectories(layout.stateDir, error)) return false;
    if (!layout.installed) return true;
    return WriteIfMissing(JoinPath(layout.configDir, "Quillo.xml"), kFirstStartSettings, error) &&
           WriteIfMissing(JoinPath(layout.configDir, "feedlist.xml"), kFirstStartFeedList, error);
}
