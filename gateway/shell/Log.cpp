#include "Log.h"

#include "Utf8.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

void AppendHex(std::string& out, unsigned char b) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

// Code points that change how the lines around them are shown: line and paragraph
// separators, and the marks and overrides of text direction.
bool IsLayoutControl(char32_t cp) {
    return cp == 0x2028 || cp == 0x2029 || (cp >= 0x200E && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

char32_t DecodeSequence(std::string_view text, std::size_t i, std::size_t length) {
    const auto b = static_cast<unsigned char>(text[i]);
    char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return cp;
}

// keepLineEnds: LF, CR LF and TAB pass, as the entries' own texts use them.
std::string Escaped(std::string_view text, bool keepLineEnds) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (keepLineEnds && (b == '\n' || b == '\t' || (b == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            AppendHex(out, b);
            ++i;
            continue;
        }
        const char32_t cp = DecodeSequence(text, i, length);
        if (cp < 0x20 || cp == 0x7F) {
            AppendHex(out, b);
        } else if (cp >= 0x80 && cp <= 0x9F) {
            for (std::size_t k = 0; k < length; ++k) AppendHex(out, static_cast<unsigned char>(text[i + k]));
        } else if (IsLayoutControl(cp)) {
            char code[16];
            std::snprintf(code, sizeof code, "\\u{%04X}", static_cast<unsigned>(cp));
            out += code;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

}  // namespace

std::string LogPiece(std::string_view text) { return Escaped(text, false); }

void AppendLog(const std::string& path, std::string_view text) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d %02d:%02d:%02d] ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string entry = stamp + Escaped(text, true);
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    bool written = fd >= 0;
    // O_APPEND puts the one write at the end, whoever else writes.
    for (std::size_t done = 0; written && done < entry.size();) {
        const ssize_t n = write(fd, entry.data() + done, entry.size() - done);
        if (n <= 0) written = false;
        else done += static_cast<std::size_t>(n);
    }
    if (fd >= 0 && close(fd) != 0) written = false;
    // An entry log.txt cannot take (a full disk, a folder without the right) is not
    // lost without a trace: standard error has it, as a service's journal keeps it.
    if (!written) {
        std::fwrite(entry.data(), 1, entry.size(), stderr);
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
