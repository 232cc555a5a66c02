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
    // Another session holds the mailbox: the login is refused with the RFC 2449
    // response code IN-USE (after the password was checked).
    bool mailboxInUse = false;
    // Records the deletions at QUIT; returns empty on success, else the reason (one
    // line), in which case nothing was recorded. None: QUIT records nothing.
    std::function<std::string()> commit;
    // A certificate is loaded: STLS is answered and listed by CAPA until TLS is active
    // or USER has been given.
    bool tlsOffered = false;
};

// One POP3 session over a mailbox: bytes in, reply bytes out. Commands are those of
// RFC 1939 plus CAPA, each valid in the states its table row names: AUTHORIZATION
// until USER and PASS (or APOP) succeed, then TRANSACTION, and UPDATE once QUIT has
// been answered there.
class Pop3Session {
public:
    enum class State { Authorization, Transaction, Update };

    explicit Pop3Session(Mailbox& mailbox, Pop3SessionOptions options = {})
        : mailbox_(mailbox), options_(std::move(options)) {}

    // "+OK QUILLO WELCOME", with the APOP timestamp when a password is set.
    std::string Greeting() const;

    // Answers every complete line of the received bytes, in order. After QUIT the rest
    // is ignored and the caller ends the connection once the reply is sent.
    std::string Receive(std::string_view bytes);
    bool QuitReceived() const { return quit_; }
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
    // The end of a login whose secret was right: TRANSACTION, or IN-USE.
    std::string LogIn();
    std::string Stls(std::string_view arguments);
    bool StlsOffered() const {
        return options_.tlsOffered && !tlsActive_ && !userGiven_ && state_ == State::Authorization;
    }

    Mailbox& mailbox_;
    Pop3SessionOptions options_;
    LineAssembler lines_;
    State state_ = State::Authorization;
    bool userGiven_ = false;
    bool quit_ = false;
    bool tlsRequested_ = false;
    bool tlsActive_ = false;
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
