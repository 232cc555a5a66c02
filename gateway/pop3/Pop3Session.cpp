#include "Pop3Session.h"

#include "Mailbox.h"
#include "Numbers.h"
#include "Pop3Wire.h"
#include "TextUtil.h"
#include "Trace.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

// A reason is sent on the status line; a line end in it would end the reply early.
std::string OneLineText(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

constexpr const char* kOk = "+OK\r\n";
constexpr const char* kUnknown = "-ERR unknown command\r\n";
constexpr const char* kTooLong = "-ERR line too long\r\n";
constexpr const char* kNoSuchMessage = "-ERR no such message\r\n";
constexpr const char* kBadNumber = "-ERR invalid message number\r\n";
constexpr const char* kBadLineCount = "-ERR invalid line count\r\n";
constexpr const char* kMissingArgument = "-ERR missing argument\r\n";
constexpr const char* kSurplusArgument = "-ERR too many arguments\r\n";
constexpr const char* kNotLoggedIn = "-ERR log in first\r\n";
constexpr const char* kLoggedIn = "-ERR already logged in\r\n";
constexpr const char* kUserFirst = "-ERR USER first\r\n";
constexpr const char* kBadPassword = "-ERR [AUTH] invalid password\r\n";
constexpr const char* kNoApop = "-ERR APOP not available\r\n";
constexpr const char* kBeginTls = "+OK Begin TLS negotiation\r\n";
constexpr const char* kTlsActive = "-ERR Command not permitted when TLS active\r\n";
constexpr const char* kTlsTooLate = "-ERR STLS only before USER\r\n";
constexpr const char* kInUse = "-ERR [IN-USE] mailbox in use\r\n";
constexpr const char* kTlsRequired = "-ERR [AUTH] TLS required: send STLS first\r\n";

constexpr const char* kWelcome = "+OK QUILLO WELCOME";

// The states a command row is valid in.
enum : unsigned { kAuthorization = 1u << 0, kTransaction = 1u << 1 };

unsigned Bit(Pop3Session::State state) {
    switch (state) {
        case Pop3Session::State::Authorization: return kAuthorization;
        case Pop3Session::State::Transaction: return kTransaction;
        case Pop3Session::State::Update: return 0;
    }
    return 0;
}

// The space-separated arguments; runs of spaces and a trailing space separate nothing.
std::vector<std::string_view> Split(std::string_view arguments) {
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < arguments.size()) {
        if (arguments[pos] == ' ') {
            ++pos;
            continue;
        }
        size_t end = arguments.find(' ', pos);
        if (end == std::string_view::npos) end = arguments.size();
        tokens.push_back(arguments.substr(pos, end - pos));
        pos = end;
    }
    return tokens;
}

// Digits only; saturates at INT_MAX instead of wrapping.
// Digits only. A number too large for an int is still well-formed: INT_MAX, which no
// message bears and which counts every line.
std::optional<int> ParseDigits(std::string_view text) {
    if (const std::optional<long long> value = ParseDecimal(text))
        return static_cast<int>(std::min<long long>(*value, INT_MAX));
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    return digits ? std::optional<int>(INT_MAX) : std::nullopt;
}

// The message a number argument names, or the -ERR that says why there is none.
struct MessageArgument {
    const Mailbox::Entry* entry = nullptr;
    int number = 0;
    const char* error = nullptr;
};

MessageArgument FindMessage(const Mailbox& mailbox, std::string_view text) {
    std::optional<int> n = ParseMessageNumber(text);
    if (!n) return {nullptr, 0, kBadNumber};
    const Mailbox::Entry* entry = mailbox.Find(*n);
    // Deleted messages keep their number but are no longer there to name.
    if (!entry) return {nullptr, *n, kNoSuchMessage};
    return {entry, *n, nullptr};
}

// A multi-line listing of every message not deleted: its number and one value.
template <typename Value>
std::string Listing(const Mailbox& mailbox, Value value) {
    std::string reply = kOk;
    const auto& entries = mailbox.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].deleted) reply += std::to_string(i + 1) + " " + value(entries[i]) + "\r\n";
    }
    return reply + ".\r\n";
}

std::string SizeOf(const Mailbox::Entry& entry) { return std::to_string(Pop3Octets(*entry.message)); }
std::string UidOf(const Mailbox::Entry& entry) { return entry.uid; }

// LIST and UIDL: the listing without an argument, one line for one message.
template <typename Value>
std::string ListingOrLine(const Mailbox& mailbox, std::string_view arguments, Value value) {
    const auto tokens = Split(arguments);
    if (tokens.empty()) return Listing(mailbox, value);
    if (tokens.size() > 1) return kSurplusArgument;
    MessageArgument found = FindMessage(mailbox, tokens[0]);
    if (found.error) return found.error;
    return "+OK " + std::to_string(found.number) + " " + value(*found.entry) + "\r\n";
}

// RETR and TOP: +OK and the part of the text that `part` picks, stuffed and
// terminated, or -ERR when the stored text cannot be read.
template <typename Part>
std::string MessageReply(const Mailbox::Entry& entry, Part part) {
    std::string text;
    std::string error;
    if (!entry.message->ReadText(text, error)) return "-ERR cannot read message: " + OneLineText(error) + "\r\n";
    std::string reply = kOk;
    AppendDotStuffed(part(text), reply);
    return reply;
}


std::string Digest(const EVP_MD* type, std::string_view data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), out, &size, type, nullptr) != 1) return {};
    return std::string(reinterpret_cast<const char*>(out), size);
}

}  // namespace

// One row per command and the states it is valid in. Keywords are matched whole and
// without regard to case: STATUS is not STAT. A command that hands the connection
// over (QUIT, and any to come such as an upgrade to TLS) says so through an accessor
// the server reads after Receive.
struct Pop3Session::Command {
    std::string_view keyword;
    unsigned states;
    Handler run;
};

const Pop3Session::Command Pop3Session::kCommands[] = {
    {"USER", kAuthorization, &Pop3Session::User},
    {"PASS", kAuthorization, &Pop3Session::Pass},
    {"APOP", kAuthorization, &Pop3Session::Apop},
    {"QUIT", kAuthorization | kTransaction, &Pop3Session::Quit},
    {"CAPA", kAuthorization | kTransaction, &Pop3Session::Capa},
    {"STLS", kAuthorization, &Pop3Session::Stls},
    {"STAT", kTransaction, &Pop3Session::Stat},
    {"LIST", kTransaction, &Pop3Session::List},
    {"RETR", kTransaction, &Pop3Session::Retr},
    {"DELE", kTransaction, &Pop3Session::Dele},
    {"NOOP", kTransaction, &Pop3Session::Noop},
    {"RSET", kTransaction, &Pop3Session::Rset},
    {"TOP", kTransaction, &Pop3Session::Top},
    {"UIDL", kTransaction, &Pop3Session::Uidl},
};

std::optional<int> ParseMessageNumber(std::string_view text) {
    std::optional<int> n = ParseDigits(text);
    if (!n || *n == 0) return std::nullopt;
    return n;
}

std::optional<int> ParseLineCount(std::string_view text) { return ParseDigits(text); }

std::string ApopDigest(std::string_view timestamp, std::string_view password) {
    std::string input(timestamp);
    input += password;
    const std::string digest = Digest(EVP_md5(), input);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : digest) {
        hex += kHex[c >> 4];
        hex += kHex[c & 0x0F];
    }
    return hex;
}

bool SameSecret(std::string_view a, std::string_view b) {
    // Digests of equal length, compared in full: neither the length nor the first
    // differing byte shows in the time taken.
    const std::string da = Digest(EVP_sha256(), a);
    const std::string db = Digest(EVP_sha256(), b);
    return !da.empty() && da.size() == db.size() && CRYPTO_memcmp(da.data(), db.data(), da.size()) == 0;
}

std::string Pop3Session::Greeting() const {
    if (options_.password.empty() || options_.apopTimestamp.empty()) return std::string(kWelcome) + "\r\n";
    return std::string(kWelcome) + " " + options_.apopTimestamp + "\r\n";
}

std::string Pop3Session::User(std::string_view arguments) {
    if (LoginRefusedWithoutTls()) return kTlsRequired;
    const auto tokens = Split(arguments);
    if (tokens.empty()) return kMissingArgument;
    if (tokens.size() > 1) return kSurplusArgument;
    userGiven_ = true;
    return "+OK Password required\r\n";
}

std::string Pop3Session::Pass(std::string_view arguments) {
    if (LoginRefusedWithoutTls()) return kTlsRequired;
    if (!userGiven_) return kUserFirst;
    if (options_.password.empty()) return LogIn();
    // The one argument is the rest of the line: a password may hold spaces.
    return Checked(SameSecret(arguments, options_.password));
}

std::string Pop3Session::Apop(std::string_view arguments) {
    if (LoginRefusedWithoutTls()) return kTlsRequired;
    if (options_.password.empty() || options_.apopTimestamp.empty()) return kNoApop;
    const auto tokens = Split(arguments);
    if (tokens.size() < 2) return kMissingArgument;
    if (tokens.size() > 2) return kSurplusArgument;
    return Checked(SameSecret(tokens[1], ApopDigest(options_.apopTimestamp, options_.password)));
}

std::string Pop3Session::Checked(bool correct) {
    if (options_.secretChecked) options_.secretChecked(correct);
    if (correct) return LogIn();
    userGiven_ = false;
    ++loginFailures_;
    return kBadPassword;
}

std::string Pop3Session::LogIn() {
    userGiven_ = false;
    // Only a client that knows the password learns whether the mailbox is in use.
    mailbox_ = options_.openMailbox ? options_.openMailbox() : nullptr;
    if (mailbox_ == nullptr) return kInUse;
    state_ = State::Transaction;
    return kOk;
}

std::string Pop3Session::Quit(std::string_view arguments) {
    if (!Split(arguments).empty()) return kSurplusArgument;
    quit_ = true;
    if (state_ != State::Transaction) return kOk;
    state_ = State::Update;
    // The client hears +OK only once the deletions are on disk; a failure leaves them
    // undone, and the next session offers those messages again.
    const std::string reason = options_.commit ? options_.commit() : std::string();
    if (!reason.empty()) return "-ERR " + OneLineText(reason) + "\r\n";
    return kOk;
}

std::string Pop3Session::Capa(std::string_view arguments) {
    if (!Split(arguments).empty()) return kSurplusArgument;
    // What can be used now: no USER while the login waits for TLS.
    std::string reply = kOk;
    if (!LoginRefusedWithoutTls()) reply += "USER\r\n";
    reply += "TOP\r\nUIDL\r\nRESP-CODES\r\n";
    if (StlsOffered()) reply += "STLS\r\n";
    return reply + ".\r\n";
}

std::string Pop3Session::Stat(std::string_view arguments) {
    if (!Split(arguments).empty()) return kSurplusArgument;
    std::uint64_t total = 0;
    for (const auto& entry : mailbox_->Entries()) {
        if (!entry.deleted) total += Pop3Octets(*entry.message);
    }
    return "+OK " + std::to_string(mailbox_->Count()) + " " + std::to_string(total) + "\r\n";
}

std::string Pop3Session::List(std::string_view arguments) {
    if (TraceEnabled()) Trace("LIST 引数: " + std::string(arguments));
    return ListingOrLine(*mailbox_, arguments, SizeOf);
}

std::string Pop3Session::Uidl(std::string_view arguments) { return ListingOrLine(*mailbox_, arguments, UidOf); }

std::string Pop3Session::Retr(std::string_view arguments) {
    const auto tokens = Split(arguments);
    if (tokens.empty()) return kMissingArgument;
    if (tokens.size() > 1) return kSurplusArgument;
    MessageArgument found = FindMessage(*mailbox_, tokens[0]);
    if (found.error) return found.error;
    return MessageReply(*found.entry, [](std::string_view text) { return text; });
}

std::string Pop3Session::Top(std::string_view arguments) {
    const auto tokens = Split(arguments);
    if (tokens.size() < 2) return kMissingArgument;
    if (tokens.size() > 2) return kSurplusArgument;
    MessageArgument found = FindMessage(*mailbox_, tokens[0]);
    if (found.error) return found.error;
    std::optional<int> lines = ParseLineCount(tokens[1]);
    if (!lines) return kBadLineCount;
    return MessageReply(*found.entry, [n = *lines](std::string_view text) { return TopOfMessage(text, n); });
}

std::string Pop3Session::Dele(std::string_view arguments) {
    const auto tokens = Split(arguments);
    if (tokens.empty()) return kMissingArgument;
    if (tokens.size() > 1) return kSurplusArgument;
    MessageArgument found = FindMessage(*mailbox_, tokens[0]);
    if (found.error) return found.error;
    mailbox_->Delete(found.number);
    return kOk;
}

std::string Pop3Session::Noop(std::string_view arguments) {
    return Split(arguments).empty() ? kOk : kSurplusArgument;
}

std::string Pop3Session::Rset(std::string_view arguments) {
    if (!Split(arguments).empty()) return kSurplusArgument;
    mailbox_->Reset();
    return kOk;
}

std::string Pop3Session::Execute(std::string_view text) {
    // The command ends at the first NUL byte.
    text = text.substr(0, text.find('\0'));
    if (text.size() >= 1 && text.back() == '\n') text.remove_suffix(1);
    if (text.size() >= 1 && text.back() == '\r') text.remove_suffix(1);
    const size_t space = text.find(' ');
    const std::string_view keyword = text.substr(0, space);
    const std::string_view arguments = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    for (const auto& command : kCommands) {
        // Keywords are case-insensitive and matched whole.
        if (!EqualsIgnoringCase(keyword, command.keyword)) continue;
        // The password never goes to the trace.
        if (TraceEnabled()) Trace("受信: " + std::string(command.keyword == "PASS" ? "PASS ..." : text));
        if (!(command.states & Bit(state_))) return state_ == State::Authorization ? kNotLoggedIn : kLoggedIn;
        return (this->*command.run)(arguments);
    }
    if (TraceEnabled()) Trace("受信: " + std::string(text));
    return kUnknown;
}

std::string Pop3Session::Stls(std::string_view arguments) {
    if (!options_.tlsOffered || !Split(arguments).empty()) return kUnknown;
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
    if (Over() || tlsRequested_) return replies;
    std::vector<LineAssembler::Line> lines;
    lines_.Feed(bytes, lines);
    for (const auto& line : lines) {
        replies += line.tooLong ? std::string(kTooLong) : Execute(line.text);
        if (Over()) break;
        if (tlsRequested_) {
            // Clear text that came after STLS is never taken for a command sent under
            // TLS: the lines and a partial one are dropped with the assembler.
            lines_ = LineAssembler();
            break;
        }
    }
    return replies;
}
