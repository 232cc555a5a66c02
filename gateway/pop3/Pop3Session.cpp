#include "Pop3Session.h"

#include "RssManager.h"
#include "Trace.h"

#include <climits>

namespace {

constexpr const char* kOk = "+OK\r\n";
constexpr const char* kUnknown = "-ERR unknown command\r\n";
constexpr const char* kTooLong = "-ERR line too long\r\n";
constexpr const char* kCapabilities = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\n.\r\n";

bool StartsWith(std::string_view text, std::string_view keyword) {
    return text.substr(0, keyword.size()) == keyword;
}

// Whether anything but white space and the line end follows the keyword.
bool HasArgument(std::string_view rest) {
    for (char c : rest) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return true;
    }
    return false;
}

using Handler = std::string (*)(RssManager&, std::string_view rest, bool& quit);

struct Command {
    std::string_view keyword;
    Handler run;
};

// Matched in this order, case-sensitively, as a prefix of the line: USERNAME is USER.
const Command kCommands[] = {
    {"USER", [](RssManager&, std::string_view, bool&) -> std::string { return "+OK Password required\r\n"; }},
    {"PASS", [](RssManager&, std::string_view, bool&) -> std::string { return kOk; }},
    {"STAT", [](RssManager& m, std::string_view, bool&) { return m.Stat(); }},
    {"LIST",
     [](RssManager& m, std::string_view rest, bool&) {
         int n = rest.empty() ? 0 : ParseNumber(rest);
         if (TraceEnabled()) Trace("LIST インデックス: " + std::to_string(n));
         return m.List(n);
     }},
    {"UIDL",
     [](RssManager& m, std::string_view rest, bool&) {
         return HasArgument(rest) ? m.Uidl(ParseNumber(rest)) : m.Uidl();
     }},
    {"RETR", [](RssManager& m, std::string_view rest, bool&) { return m.Retr(ParseNumber(rest)); }},
    {"TOP",
     [](RssManager& m, std::string_view rest, bool&) {
         TopArguments args = ParseTopArguments(rest);
         return m.Top(args.message, args.lines);
     }},
    {"DELE",
     [](RssManager& m, std::string_view rest, bool&) -> std::string {
         return m.Dele(ParseNumber(rest)) ? kOk : RssManager::kNoSuchMessage;
     }},
    {"QUIT",
     [](RssManager&, std::string_view, bool& quit) -> std::string {
         quit = true;
         return kOk;
     }},
    {"CAPA", [](RssManager&, std::string_view, bool&) -> std::string { return kCapabilities; }},
    {"NOOP", [](RssManager&, std::string_view, bool&) -> std::string { return kOk; }},
    {"RSET",
     [](RssManager& m, std::string_view, bool&) -> std::string {
         m.Rset();
         return kOk;
     }},
};

}  // namespace

int ParseNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
    }
    // A number too large for any message stays too large instead of wrapping.
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(negative ? -value : value);
}

TopArguments ParseTopArguments(std::string_view text) {
    std::string first;
    std::string second;
    bool inSecond = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!first.empty()) inSecond = true;
            continue;
        }
        (inSecond ? second : first) += c;
    }
    return {ParseNumber(first), ParseNumber(second)};
}

std::string Pop3Session::Execute(std::string_view text) {
    // The command ends at the first NUL byte.
    text = text.substr(0, text.find('\0'));
    if (TraceEnabled()) Trace("受信: " + std::string(text));
    std::string reply = kUnknown;
    for (const auto& command : kCommands) {
        if (!text.empty() && StartsWith(text, command.keyword)) {
            reply = command.run(manager_, text.substr(command.keyword.size()), quit_);
            break;
        }
    }
    return reply;
}

std::string Pop3Session::Receive(std::string_view bytes) {
    std::string replies;
    if (quit_) return replies;
    std::vector<LineAssembler::Line> lines;
    lines_.Feed(bytes, lines);
    for (const auto& line : lines) {
        replies += line.tooLong ? std::string(kTooLong) : Execute(line.text);
        if (quit_) break;
    }
    return replies;
}
