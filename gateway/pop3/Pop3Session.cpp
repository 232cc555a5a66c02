#include "Pop3Session.h"

#include "Mailbox.h"
#include "Trace.h"

#include <climits>

namespace {

constexpr const char* kOk = "+OK\r\n";
constexpr const char* kUnknown = "-ERR unknown command\r\n";
constexpr const char* kTooLong = "-ERR line too long\r\n";
constexpr const char* kNoSuchMessage = "-ERR no such message\r\n";
constexpr const char* kCapabilities = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\n.\r\n";
constexpr const char* kCapabilitiesWithStls = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nSTLS\r\n.\r\n";
constexpr const char* kBeginTls = "+OK Begin TLS negotiation\r\n";
constexpr const char* kTlsActive = "-ERR Command not permitted when TLS active\r\n";
constexpr const char* kTlsTooLate = "-ERR STLS only before USER\r\n";
constexpr const char* kInUse = "-ERR [IN-USE] mailbox in use\r\n";

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

// The reply for pending message n, or the one error for a number no message bears.
template <typename Reply>
std::string ForMessage(const Mailbox& mailbox, int n, Reply reply) {
    MailDataPointer message = mailbox.Find(n);
    return message ? reply(*message) : std::string(kNoSuchMessage);
}

// A multi-line listing of every pending message: its number and one value.
template <typename Value>
std::string Listing(const Mailbox& mailbox, Value value) {
    std::string reply = kOk;
    for (const auto& message : mailbox.Messages())
        reply += std::to_string(message->GetNumber()) + " " + value(*message) + "\r\n";
    return reply + ".\r\n";
}

std::string SizeOf(MailData& message) { return std::to_string(message.GetSize()); }
std::string UidOf(MailData& message) { return message.GetUid(); }

std::string ListReply(const Mailbox& mailbox, int n) {
    if (n <= 0) return Listing(mailbox, SizeOf);
    return ForMessage(mailbox, n,
                      [n](MailData& m) { return "+OK " + std::to_string(n) + " " + SizeOf(m) + "\r\n"; });
}

std::string UidlReply(const Mailbox& mailbox, std::string_view rest) {
    if (!HasArgument(rest)) return Listing(mailbox, UidOf);
    int n = ParseNumber(rest);
    return ForMessage(mailbox, n,
                      [n](MailData& m) { return "+OK " + std::to_string(n) + " " + UidOf(m) + "\r\n"; });
}

// The header, the empty line that ends it and the first lineCount body lines.
std::string TopReply(const std::string& text, int lineCount) {
    // The text ends with its own terminating line, which is never copied.
    size_t end = text.size();
    if (end >= 5 && text.compare(end - 5, 5, "\r\n.\r\n") == 0) end -= 3;
    std::string reply = kOk;
    bool headerEnded = false;
    int bodyLines = 0;
    size_t pos = 0;
    while (pos < end) {
        if (headerEnded && bodyLines >= lineCount) break;
        size_t eol = text.find("\r\n", pos);
        size_t next = (eol == std::string::npos || eol + 2 > end) ? end : eol + 2;
        reply.append(text, pos, next - pos);
        if (headerEnded) {
            ++bodyLines;
        } else if (next - pos == 2 && text.compare(pos, 2, "\r\n") == 0) {
            headerEnded = true;
        }
        pos = next;
    }
    return reply + ".\r\n";
}

using Handler = std::string (*)(Mailbox&, std::string_view rest, bool& quit);

struct Command {
    std::string_view keyword;
    Handler run;
};

// Matched in this order, case-sensitively, as a prefix of the line: USERNAME is USER.
const Command kCommands[] = {
    {"USER", [](Mailbox&, std::string_view, bool&) -> std::string { return "+OK Password required\r\n"; }},
    {"PASS", [](Mailbox&, std::string_view, bool&) -> std::string { return kOk; }},
    {"STAT",
     [](Mailbox& m, std::string_view, bool&) {
         return "+OK " + std::to_string(m.Count()) + " " + std::to_string(m.TotalSize()) + "\r\n";
     }},
    {"LIST",
     [](Mailbox& m, std::string_view rest, bool&) {
         int n = rest.empty() ? 0 : ParseNumber(rest);
         if (TraceEnabled()) Trace("LIST インデックス: " + std::to_string(n));
         return ListReply(m, n);
     }},
    {"UIDL", [](Mailbox& m, std::string_view rest, bool&) { return UidlReply(m, rest); }},
    {"RETR",
     [](Mailbox& m, std::string_view rest, bool&) {
         return ForMessage(m, ParseNumber(rest), [](MailData& message) { return kOk + message.GetText(); });
     }},
    {"TOP",
     [](Mailbox& m, std::string_view rest, bool&) {
         TopArguments args = ParseTopArguments(rest);
         return ForMessage(m, args.message,
                           [&args](MailData& message) { return TopReply(message.GetText(), args.lines); });
     }},
    {"DELE",
     [](Mailbox& m, std::string_view rest, bool&) -> std::string {
         return m.Delete(ParseNumber(rest)) ? kOk : kNoSuchMessage;
     }},
    {"QUIT",
     [](Mailbox&, std::string_view, bool& quit) -> std::string {
         quit = true;
         return kOk;
     }},
    {"CAPA", [](Mailbox&, std::string_view, bool&) -> std::string { return kCapabilities; }},
    // Answered by the session, which knows whether TLS is offered.
    {"STLS", [](Mailbox&, std::string_view, bool&) -> std::string { return kUnknown; }},
    {"NOOP", [](Mailbox&, std::string_view, bool&) -> std::string { return kOk; }},
    {"RSET",
     [](Mailbox& m, std::string_view, bool&) -> std::string {
         m.Reset();
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
            if (command.keyword == "USER" || command.keyword == "PASS") userGiven_ = true;
            if (mailboxInUse_ && command.keyword == "PASS") {
                reply = kInUse;
                break;
            }
            if (tlsOffered_ && command.keyword == "STLS") {
                reply = Stls(text.substr(command.keyword.size()));
                break;
            }
            if (StlsOffered() && command.keyword == "CAPA") {
                reply = kCapabilitiesWithStls;
                break;
            }
            reply = command.run(mailbox_, text.substr(command.keyword.size()), quit_);
            break;
        }
    }
    return reply;
}

std::string Pop3Session::Stls(std::string_view rest) {
    if (HasArgument(rest)) return kUnknown;
    if (tlsActive_) return kTlsActive;
    if (userGiven_) return kTlsTooLate;
    tlsRequested_ = true;
    return kBeginTls;
}

void Pop3Session::TlsStarted() {
    tlsRequested_ = false;
    tlsActive_ = true;
}

std::string Pop3Session::Receive(std::string_view bytes) {
    std::string replies;
    if (quit_ || tlsRequested_) return replies;
    std::vector<LineAssembler::Line> lines;
    lines_.Feed(bytes, lines);
    for (const auto& line : lines) {
        replies += line.tooLong ? std::string(kTooLong) : Execute(line.text);
        if (quit_) break;
        if (tlsRequested_) {
            // Clear text that came after STLS is never taken for a command sent under
            // TLS: the lines and a partial one are dropped with the assembler.
            lines_ = LineAssembler();
            break;
        }
    }
    return replies;
}
