#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "LineAssembler.h"

class Mailbox;

// What a session is told by the server that runs it.
struct Pop3SessionOptions {
    // Empty: any PASS logs in and APOP is refused. Otherwise PASS must give it, or APOP
    // its digest over the greeting's timestamp.
    std::string password;
    // The APOP timestamp of this greeting, "<pid.counter@host>"; used only with a
    // password, and unique per greeting so an overheard digest is worth nothing later.
    std::string apopTimestamp;
    // Called at every PASS or APOP whose secret was checked against the password,
    // before the answer: the server holds the answer back here as long as failed logins
    // from the client's address ask, and records a failure.
    std::function<void(bool correct)> secretChecked;
    // Called at a login whose secret was right (or needed none): the mailbox the
    // session then holds, or null when another session holds it, which is answered with
    // the RFC 2449 response code IN-USE and may be tried again. None: no mailbox, the
    // same as one in use.
    std::function<Mailbox*()> openMailbox;
    // Records the deletions at QUIT; returns empty on success, else the reason (one
    // line), in which case nothing was recorded. None: QUIT records nothing.
    std::function<std::string()> commit;
    // A certificate is loaded: STLS is answered and listed by CAPA until TLS is active
    // or USER has been given.
    bool tlsOffered = false;
    // USER, PASS and APOP are refused until TLS is active, and CAPA lists no USER
    // before: the password must not travel in clear text.
    bool loginNeedsTls = false;
};

// Failed logins (PASS or APOP) a connection may have; it is closed after the last.
inline constexpr int kMaxLoginFailures = 3;

// One POP3 session over a mailbox: bytes in, reply bytes out. Commands are those of
// RFC 1939 plus CAPA, each valid in the states its table row names: AUTHORIZATION
// until USER and PASS (or APOP) succeed, then TRANSACTION, and UPDATE once QUIT has
// been answered there.
class Pop3Session {
public:
    enum class State { Authorization, Transaction, Update };

    explicit Pop3Session(Pop3SessionOptions options = {}) : options_(std::move(options)) {}

    // "+OK QUILLO WELCOME", with the APOP timestamp when a password is set.
    std::string Greeting() const;

    // Answers every complete line of the received bytes, in order. After QUIT, or the
    // last failed login a connection may have, the rest is ignored and the caller ends
    // the connection once the replies are sent.
    std::string Receive(std::string_view bytes);
    bool QuitReceived() const { return quit_; }
    bool Over() const { return quit_ || loginFailures_ >= kMaxLoginFailures; }
    State CurrentState() const { return state_; }
    // After "+OK Begin TLS negotiation": the caller sends the replies, starts TLS and
    // calls TlsStarted (or ends the session). Until then Receive ignores every byte.
    bool TlsRequested() const { return tlsRequested_; }
    void TlsStarted();

    // One command text, a line with its line end as received.
    std::string Execute(std::string_view text);

private:
    using Handler = std::string (Pop3Session::*)(std::string_view arguments);
    struct Command;
    static const Command kCommands[];

    std::string User(std::string_view arguments);
    std::string Pass(std::string_view arguments);
    std::string Apop(std::string_view arguments);
    std::string Quit(std::string_view arguments);
    std::string Capa(std::string_view arguments);
    std::string Stat(std::string_view arguments);
    std::string List(std::string_view arguments);
    std::string Retr(std::string_view arguments);
    std::string Dele(std::string_view arguments);
    std::string Noop(std::string_view arguments);
    std::string Rset(std::string_view arguments);
    std::string Top(std::string_view arguments);
    std::string Uidl(std::string_view arguments);
    // The answer to a login whose secret was checked; a wrong one starts over.
    std::string Checked(bool correct);
    // The end of a login whose secret was right: TRANSACTION, or IN-USE.
    std::string LogIn();
    bool LoginRefusedWithoutTls() const { return options_.loginNeedsTls && !tlsActive_; }
    std::string Stls(std::string_view arguments);
    bool StlsOffered() const {
        return options_.tlsOffered && !tlsActive_ && !userGiven_ && state_ == State::Authorization;
    }

    // Set at login; the TRANSACTION commands, the only ones that use it, come after.
    Mailbox* mailbox_ = nullptr;
    Pop3SessionOptions options_;
    LineAssembler lines_;
    State state_ = State::Authorization;
    bool userGiven_ = false;
    bool quit_ = false;
    bool tlsRequested_ = false;
    bool tlsActive_ = false;
    int loginFailures_ = 0;
};

// A message number argument: a positive decimal integer, digits only. A number too
// large for an int is still well-formed and comes back as INT_MAX, which no message
// bears; anything else is nullopt.
std::optional<int> ParseMessageNumber(std::string_view text);
// TOP's line count: a non-negative decimal integer, digits only; too large a count is
// INT_MAX (the whole body).
std::optional<int> ParseLineCount(std::string_view text);

// The APOP digest: lowercase hexadecimal MD5 of the timestamp followed by the password.
std::string ApopDigest(std::string_view timestamp, std::string_view password);
// Equality of two secrets in a time that does not depend on where they differ.
bool SameSecret(std::string_view a, std::string_view b);
