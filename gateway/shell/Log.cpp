#include "Log.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

void AppendLog(const std::string& path, std::string_view text) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d %02d:%02d:%02d] ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    bool written = file != nullptr;
    if (file) {
        written = std::fputs(stamp, file) >= 0 && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        // A full disk often shows only when the buffer is written out.
        written = std::fclose(file) == 0 && written;
    }
    // An entry log.txt cannot take (a full disk, a folder without the right) is not
    // lost without a trace: standard error has it, as a service's journal keeps it.
    if (!written) {
        std::fprintf(stderr, "%s%.*s", stamp, static_cast<int>(text.size()), text.data());
        std::fflush(stderr);
    }
}

void OpenLogFile(std::string path) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display && *display) || (wayland && *wayland)) {
        // A short-lived shell starts the handler in the background and ends at once, so
        // the handler is nobody's child here and leaves no zombie behind. The path is an
        // argument, never part of the script.
        char arg0[] = "sh";
        char arg1[] = "-c";
        char script[] = "xdg-open \"$1\" >/dev/null 2>&1 &";
        char name[] = "quillo-open-log";
        char* argv[] = {arg0, arg1, script, name, path.data(), nullptr};
        // The gateway blocks SIGINT and SIGTERM and ignores SIGPIPE; the handler and the
        // viewer it starts get the defaults back, or they could not be ended.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        pid_t pid = 0;
        // The result is not looked at: a missing handler is not reported.
        if (posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ) == 0) {
            waitpid(pid, nullptr, 0);
        }
        posix_spawnattr_destroy(&attributes);
        return;
    }
    std::fprintf(stderr, "log: %s\n", path.c_str());
}
