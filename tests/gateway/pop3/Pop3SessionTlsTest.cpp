// STLS in the session: offered only with a certificate, once, before USER, and nothing
// received in clear text after it is ever answered.
#include "Pop3Session.h"

#include "Mailbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The options of a session over the mailbox, which is free when it logs in.
Pop3SessionOptions Over(Mailbox& mailbox, Pop3SessionOptions options = {}) {
    options.openMailbox = [&mailbox] { return &mailbox; };
    return options;
}

constexpr const char* kCapa = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\n.\r\n";
constexpr const char* kCapaWithStls = "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nSTLS\r\n.\r\n";

Pop3SessionOptions TlsOffered() {
    Pop3SessionOptions options;
    options.tlsOffered = true;
    return options;
}

TEST(Pop3SessionTls, WithoutACertificateStlsIsUnknownAndCapaUnchanged) {
    Mailbox mailbox;
    Pop3Session session(Over(mailbox));
    EXPECT_EQ(session.Receive("CAPA\r\n"), kCapa);
    EXPECT_EQ(session.Receive("STLS\r\n"), "-ERR unknown command\r\n");
    EXPECT_FALSE(session.TlsRequested());
}

TEST(Pop3SessionTls, StlsIsListedAndAcceptedOnceBeforeUser) {
    Mailbox mailbox;
    Pop3Session session(Over(mailbox, TlsOffered()));
    EXPECT_EQ(session.Receive("CAPA\r\n"), kCapaWithStls);
    EXPECT_EQ(session.Receive("STLS x\r\n"), "-ERR unknown command\r\n");
    EXPECT_EQ(session.Receive("STLS\r\n"), "+OK Begin TLS negotiation\r\n");
    EXPECT_TRUE(session.TlsRequested());
    session.TlsStarted();
    EXPECT_FALSE(session.TlsRequested());
    EXPECT_EQ(session.Receive("CAPA\r\n"), kCapa);
    EXPECT_EQ(session.Receive("STLS\r\n"), "-ERR Command not permitted when TLS active\r\n");
    EXPECT_EQ(session.Receive("USER me\r\n"), "+OK Password required\r\n");

    Pop3Session late(Over(mailbox, TlsOffered()));
    EXPECT_EQ(late.Receive("USER me\r\n"), "+OK Password required\r\n");
    EXPECT_EQ(late.Receive("CAPA\r\n"), kCapa);
    EXPECT_EQ(late.Receive("STLS\r\n"), "-ERR STLS only before USER\r\n");
    EXPECT_FALSE(late.TlsRequested());
}

TEST(Pop3SessionTls, ClearTextAfterStlsIsNeverAnswered) {
    // Whole lines and a partial one in the packet of STLS, and more before the handshake.
    const std::string pipelined[] = {"STLS\r\nDELE 1\r\nQUIT\r\n", "STLS\r\nNOOP\r\nNO", "STLS\r\n"};
    for (const auto& bytes : pipelined) {
        Mailbox mailbox;
        Pop3Session session(Over(mailbox, TlsOffered()));
        EXPECT_EQ(session.Receive(bytes), "+OK Begin TLS negotiation\r\n") << bytes;
        EXPECT_EQ(session.Receive("NOOP\r\n"), "") << bytes;
        session.TlsStarted();
        EXPECT_FALSE(session.QuitReceived()) << bytes;
        EXPECT_EQ(session.Receive("OP\r\nUSER me\r\n"), "-ERR unknown command\r\n+OK Password required\r\n") << bytes;
    }
}

TEST(Pop3SessionTls, ALoginThatNeedsTlsIsRefusedUntilStlsAndCapaSaysSo) {
    Mailbox mailbox;
    Pop3SessionOptions options = Over(mailbox, TlsOffered());
    options.password = "pw";
    options.apopTimestamp = "<1.1@h>";
    options.loginNeedsTls = true;
    int checked = 0;
    options.secretChecked = [&checked](bool) { ++checked; };
    Pop3Session session(options);
    constexpr const char* kRequired = "-ERR [AUTH] TLS required: send STLS first\r\n";
    EXPECT_EQ(session.Receive("CAPA\r\n"), "+OK\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nSTLS\r\n.\r\n");
    EXPECT_EQ(session.Receive("USER me\r\n"), kRequired);
    EXPECT_EQ(session.Receive("PASS pw\r\n"), kRequired);
    EXPECT_EQ(session.Receive("APOP me " + ApopDigest("<1.1@h>", "pw") + "\r\n"), kRequired);
    // The secrets were never looked at, so nothing counts as a failed login.
    EXPECT_EQ(checked, 0);
    EXPECT_FALSE(session.Over());
    EXPECT_EQ(session.Receive("STLS\r\n"), "+OK Begin TLS negotiation\r\n");
    session.TlsStarted();
    EXPECT_EQ(session.Receive("CAPA\r\n"), kCapa);
    EXPECT_EQ(session.Receive("USER me\r\nPASS pw\r\nSTAT\r\n"), "+OK Password required\r\n+OK\r\n+OK 0 0\r\n");
    EXPECT_EQ(checked, 1);

    // On the implicit-TLS port the session starts in TLS.
    Pop3Session implicit(options);
    implicit.TlsStarted();
    EXPECT_EQ(implicit.Receive("USER me\r\nPASS pw\r\n"), "+OK Password required\r\n+OK\r\n");
}

}  // namespace
