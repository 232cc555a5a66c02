#pragma once

#include <string>
#include <string_view>

#include "LineAssembler.h"

class Mailbox;

// One POP3 session over a mailbox: bytes in, reply bytes out. There is no
// authorisation and no command state; every command works from the greeting on.
class Pop3Session {
public:
    static constexpr const char* kGreeting = "+OK QUILLO WELCOME\r\n";

    // mailboxInUse: another session holds the mailbox; PASS is then refused with the
    // RFC 2449 response code IN-USE.
    // tlsOffered: STLS is answered and listed by CAPA until TLS is active.
    explicit Pop3Session(Mailbox& mailbox, bool mailboxInUse = false, bool tlsOffered = false)
        : mailbox_(mailbox), mailboxInUse_(mailboxInUse), tlsOffered_(tlsOffered) {}

    // Answers every complete line of the received bytes, in order. After QUIT the rest
    // is ignored; the caller then sends the reply and commits the mailbox.
    std::string Receive(std::string_view bytes);
    bool QuitReceived() const { return quit_; }
    // After "+OK Begin TLS negotiation": the caller sends the replies, starts TLS and
    // calls TlsStarted (or ends the session). Until then Receive ignores every byte.
    bool TlsRequested() const { return tlsRequested_; }
    void TlsStarted();

    // One command text, a line with its line end as received.
    std::string Execute(std::string_view text);

private:
    std::string Stls(std::string_view rest);
    bool StlsOffered() const { return tlsOffered_ && !tlsActive_ && !userGiven_; }

    Mailbox& mailbox_;
    LineAssembler lines_;
    bool quit_ = false;
    bool mailboxInUse_ = false;
    bool tlsOffered_ = false;
    bool tlsRequested_ = false;
    bool tlsActive_ = false;
    bool userGiven_ = false;  // STLS comes before USER or not at all
};

// Numeric argument as the commands read it: leading white space, optional sign, digits
// up to the first other character; no digits give 0.
int ParseNumber(std::string_view text);

// The two numbers of TOP from the text after the keyword: space and tab separate, the
// second token takes the rest of the text.
struct TopArguments {
    int message = 0;
    int lines = 0;
};
TopArguments ParseTopArguments(std::string_view text);
