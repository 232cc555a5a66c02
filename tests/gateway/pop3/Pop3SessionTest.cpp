#include "Pop3Session.h"

#include "MailData.h"
#include "Mailbox.h"
#include "TextMessage.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

// The options of a session over the mailbox, which is free when it logs in.
Pop3SessionOptions Over(Mailbox& mailbox, Pop3SessionOptions options = {}) {
    options.openMailbox = [&mailbox] { return &mailbox; };
    return options;
}

TEST(Pop3Arguments, MessageNumbersArePositiveDecimalDigitsOnly) {
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"1", 1},          {"42", 42},         {"007", 7},           {"0", std::nullopt},
        {"", std::nullopt}, {"-1", std::nullopt}, {"+1", std::nullopt}, {"1abc", std::nullopt},
        {" 1", std::nullopt}, {"1\t", std::nullopt}, {"0x1", std::nullopt},
        // Too large for any message, and never wrapped round to a small one.
        {"99999999999999999999", INT_MAX}, {"4294967297", INT_MAX},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseMessageNumber(text), value) << text;
}

TEST(Pop3Arguments, LineCountsAreNonNegativeDecimalDigitsOnly) {
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"0", 0}, {"10", 10}, {"-1", std::nullopt}, {"+3", std::nullopt}, {"x", std::nullopt},
        {"", std::nullopt}, {"2x", std::nullopt}, {"99999999999", INT_MAX},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseLineCount(text), value) << text;
}

TEST(Pop3Secrets, ApopDigestIsTheLowercaseMd5OfTimestampAndPassword) {
    // The example exchange of RFC 1939.
    EXPECT_EQ(ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
    EXPECT_TRUE(SameSecret("secret", "secret"));
    EXPECT_TRUE(SameSecret("", ""));
    for (const char* other : {"Secret", "secret ", "secre", "", "secreu"}) EXPECT_FALSE(SameSecret("secret", other)) << other;
}

constexpr const char* kLogIn = "USER me\r\nPASS x\r\n";

Pop3SessionOptions WithPassword(std::string password, std::string timestamp) {
    Pop3SessionOptions options;
    options.password = std::move(password);
    options.apopTimestamp = std::move(timestamp);
    return options;
}

class Pop3SessionTest : public ::testing::Test {
protected:
    // Two feeds with 2 and 3 messages, numbered 1-2 and 3-5.
    static Mailbox TwoFeeds() {
        std::vector<Mailbox::Part> mailboxParts;
        for (int feed = 0; feed < 2; ++feed) {
            Mailbox::Part part;
            for (int i = 0; i < (feed == 0 ? 2 : 3); ++i) {
                MailData message(false);
                message.SetSender("Feed " + std::to_string(feed));
                message.SetSubject("Item " + std::to_string(i));
                message.SetLink("http://127.0.0.1/item" + std::to_string(i));
                const std::string uid = "uid-" + std::to_string(feed) + "-" + std::to_string(i);
                message.SetUid(uid);
                message.AddBody("line one\r\nline two\r\nline three\r\n.dot line", false);
                part.messages.push_back(MakeTextMessage(uid, message.GetText()));
            }
            mailboxParts.push_back(std::move(part));
        }
        return Mailbox(std::move(mailboxParts));
    }

    void SetUp() override { ASSERT_EQ(session.Receive(kLogIn), "+OK Password required\r\n+OK\r\n"); }

    // The message as RETR sends it: the one line that begins with "." stuffed, then the
    // terminating line.
    std::string Text(int n) {
        std::string text;
        std::string error;
        EXPECT_TRUE(mailbox.Find(n)->message->ReadText(text, error));
        const std::size_t dot = text.find("\r\n.dot line");
        EXPECT_NE(dot, std::string::npos);
        return text.insert(dot + 2, ".") + ".\r\n";
    }
    // The octets of RETR after its status line, the terminating line not counted.
    std::string Size(int n) { return std::to_string(Text(n).size() - 3); }
    std::string Stat() { return session.Receive("STAT\r\n"); }

    Mailbox mailbox = TwoFeeds();
    Pop3Session session{Over(mailbox)};
};

TEST_F(Pop3SessionTest, GrammarOfTheTransactionState) {
    const std::string listOne = "+OK 1 " + Size(1) + "\r\n";
    const std::string stat = Stat();
    const std::pair<std::string, std::string> cases[] = {
        // Keywords without regard to case, matched whole.
        {"stat\r\n", stat},
        {"StAt\r\n", stat},
        {"list 1\r\n", listOne},
        {"STATUS\r\n", "-ERR unknown command\r\n"},
        {"QUITNOW\r\n", "-ERR unknown command\r\n"},
        {"DELE1\r\n", "-ERR unknown command\r\n"},
        {"LIST1\r\n", "-ERR unknown command\r\n"},
        {"STAT\t\r\n", "-ERR unknown command\r\n"},
        {"XTND\r\n", "-ERR unknown command\r\n"},
        {"\r\n", "-ERR unknown command\r\n"},
        // A command ends at its first NUL byte.
        {std::string("STAT\0garbage\r\n", 14), stat},
        {std::string("\0STAT\r\n", 7), "-ERR unknown command\r\n"},
        // Message numbers: positive decimal digits naming a message.
        {"LIST abc\r\n", "-ERR invalid message number\r\n"},
        {"LIST 0\r\n", "-ERR invalid message number\r\n"},
        {"LIST -1\r\n", "-ERR invalid message number\r\n"},
        {"LIST +1\r\n", "-ERR invalid message number\r\n"},
        {"RETR 1abc\r\n", "-ERR invalid message number\r\n"},
        {"DELE 1.0\r\n", "-ERR invalid message number\r\n"},
        {"UIDL x\r\n", "-ERR invalid message number\r\n"},
        {"TOP x 1\r\n", "-ERR invalid message number\r\n"},
        {"LIST 6\r\n", "-ERR no such message\r\n"},
        {"RETR 99999999999\r\n", "-ERR no such message\r\n"},
        {"DELE 4294967297\r\n", "-ERR no such message\r\n"},
        {"TOP 6 1\r\n", "-ERR no such message\r\n"},
        {"UIDL 6\r\n", "-ERR no such message\r\n"},
        // TOP's line count.
        {"TOP 1 -1\r\n", "-ERR invalid line count\r\n"},
        {"TOP 1 x\r\n", "-ERR invalid line count\r\n"},
        // Missing and surplus arguments.
        {"RETR\r\n", "-ERR missing argument\r\n"},
        {"DELE\r\n", "-ERR missing argument\r\n"},
        {"TOP 1\r\n", "-ERR missing argument\r\n"},
        {"TOP\r\n", "-ERR missing argument\r\n"},
        {"LIST 1 2\r\n", "-ERR too many arguments\r\n"},
        {"RETR 1 2\r\n", "-ERR too many arguments\r\n"},
        {"TOP 1 2 3\r\n", "-ERR too many arguments\r\n"},
        {"STAT 1\r\n", "-ERR too many arguments\r\n"},
        {"NOOP x\r\n", "-ERR too many arguments\r\n"},
        {"RSET x\r\n", "-ERR too many arguments\r\n"},
        {"QUIT x\r\n", "-ERR too many arguments\r\n"},
        // The AUTHORIZATION commands are over.
        {"USER me\r\n", "-ERR already logged in\r\n"},
        {"PASS x\r\n", "-ERR already logged in\r\n"},
        {"APOP me 0123\r\n", "-ERR already logged in\r\n"},
        {"NOOP\r\n", "+OK\r\n"},
        {"CAPA\r\n", "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\n.\r\n"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(session.Receive(line), reply) << line;
    // None of them deleted a message or ended the session.
    EXPECT_EQ(Stat(), stat);
    EXPECT_FALSE(session.QuitReceived());
}

TEST(Pop3SessionAuthorization, OnlyTheLoginCommandsWorkBeforeLogin) {
    Mailbox mailbox;
    Pop3Session session(Over(mailbox));
    EXPECT_EQ(session.Greeting(), "+OK QUILLO WELCOME\r\n");
    const std::pair<std::string, std::string> cases[] = {
        {"STAT\r\n", "-ERR log in first\r\n"},  {"LIST\r\n", "-ERR log in first\r\n"},
        {"RETR 1\r\n", "-ERR log in first\r\n"}, {"DELE 1\r\n", "-ERR log in first\r\n"},
        {"NOOP\r\n", "-ERR log in first\r\n"},  {"RSET\r\n", "-ERR log in first\r\n"},
        {"TOP 1 0\r\n", "-ERR log in first\r\n"}, {"UIDL\r\n", "-ERR log in first\r\n"},
        {"PASS x\r\n", "-ERR USER first\r\n"},  {"USER\r\n", "-ERR missing argument\r\n"},
        {"USER a b\r\n", "-ERR too many arguments\r\n"},
        {"USERX\r\n", "-ERR unknown command\r\n"},
        // Without a password APOP has nothing to check the digest against.
        {"APOP me c4c9334bac560ecc979e58001b3e22fb\r\n", "-ERR APOP not available\r\n"},
        {"CAPA\r\n", "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\n.\r\n"},
        {"user me\r\n", "+OK Password required\r\n"},
        {"pass anything at all\r\n", "+OK\r\n"},
        {"STAT\r\n", "+OK 0 0\r\n"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(session.Receive(line), reply) << line;
}

TEST_F(Pop3SessionTest, DeleBeforeLoginDeletesNothing) {
    Pop3Session fresh(Over(mailbox));
    EXPECT_EQ(fresh.Receive("DELE 1\r\n"), "-ERR log in first\r\n");
    EXPECT_EQ(Stat().substr(0, 6), "+OK 5 ");
    EXPECT_FALSE(mailbox.Entries()[0].deleted);
}

TEST(Pop3SessionPassword, PassMustMatchAndAWrongOneStartsOver) {
    Mailbox mailbox;
    Pop3Session session(Over(mailbox, WithPassword("open sesame", "<1.1@host>")));
    EXPECT_EQ(session.Greeting(), "+OK QUILLO WELCOME <1.1@host>\r\n");
    const std::pair<std::string, std::string> cases[] = {
        {"USER me\r\n", "+OK Password required\r\n"},
        {"PASS open\r\n", "-ERR [AUTH] invalid password\r\n"},
        {"PASS open sesame\r\n", "-ERR USER first\r\n"},
        {"STAT\r\n", "-ERR log in first\r\n"},
        {"USER me\r\n", "+OK Password required\r\n"},
        {"PASS open sesame \r\n", "-ERR [AUTH] invalid password\r\n"},
        {"USER me\r\n", "+OK Password required\r\n"},
        {"PASS open sesame\r\n", "+OK\r\n"},
        {"STAT\r\n", "+OK 0 0\r\n"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(session.Receive(line), reply) << line;
}

TEST(Pop3SessionPassword, ApopTakesTheDigestOverThisGreetingsTimestamp) {
    Mailbox mailbox;
    const std::string right = ApopDigest("<7.2@host>", "tanstaaf");
    const std::pair<std::string, std::string> cases[] = {
        {"APOP me " + right + "\r\n", "+OK\r\n"},
        {"apop me " + right + "\r\n", "+OK\r\n"},
        {"APOP me " + ApopDigest("<7.1@host>", "tanstaaf") + "\r\n", "-ERR [AUTH] invalid password\r\n"},
        {"APOP me " + ApopDigest("<7.2@host>", "tanstaa") + "\r\n", "-ERR [AUTH] invalid password\r\n"},
        {"APOP me\r\n", "-ERR missing argument\r\n"},
        {"APOP me " + right + " x\r\n", "-ERR too many arguments\r\n"},
    };
    for (const auto& [line, reply] : cases) {
        Pop3Session session(Over(mailbox, WithPassword("tanstaaf", "<7.2@host>")));
        EXPECT_EQ(session.Receive(line), reply) << line;
        EXPECT_EQ(session.CurrentState() == Pop3Session::State::Transaction, reply == "+OK\r\n") << line;
    }
}

TEST(Pop3SessionPassword, InUseComesOnlyAtALoginThatWouldSucceed) {
    // The mailbox is asked for only once the password is right, and held elsewhere.
    int asked = 0;
    Pop3SessionOptions options = WithPassword("pw", "<1.1@h>");
    options.openMailbox = [&asked]() -> Mailbox* {
        ++asked;
        return nullptr;
    };
    Pop3Session session(options);
    EXPECT_EQ(session.Receive("USER me\r\nPASS nope\r\n"), "+OK Password required\r\n-ERR [AUTH] invalid password\r\n");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(session.Receive("USER me\r\nPASS pw\r\n"), "+OK Password required\r\n-ERR [IN-USE] mailbox in use\r\n");
    EXPECT_EQ(session.Receive("APOP me " + ApopDigest("<1.1@h>", "pw") + "\r\n"), "-ERR [IN-USE] mailbox in use\r\n");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(session.Receive("STAT\r\n"), "-ERR log in first\r\n");
    EXPECT_EQ(session.Receive("QUIT\r\n"), "+OK\r\n");
}

TEST(Pop3SessionPassword, EveryCheckedSecretIsReportedBeforeItsAnswerAndThreeFailuresEndTheSession) {
    Mailbox mailbox;
    std::string seen;
    Pop3SessionOptions options = Over(mailbox, WithPassword("pw", "<1.1@h>"));
    options.secretChecked = [&seen](bool correct) { seen += correct ? "+" : "-"; };
    Pop3Session session(options);
    // Refused before any secret is looked at: not a guess.
    EXPECT_EQ(session.Receive("PASS pw\r\nAPOP me\r\n"), "-ERR USER first\r\n-ERR missing argument\r\n");
    EXPECT_EQ(seen, "");
    // Pipelined guesses are each checked and reported in turn; after the third failure
    // nothing else is answered, a right password included.
    EXPECT_EQ(session.Receive("USER me\r\nPASS a\r\nAPOP me 0123\r\nUSER me\r\nPASS c\r\nUSER me\r\nPASS pw\r\n"),
              "+OK Password required\r\n-ERR [AUTH] invalid password\r\n-ERR [AUTH] invalid password\r\n"
              "+OK Password required\r\n-ERR [AUTH] invalid password\r\n");
    EXPECT_EQ(seen, "---");
    EXPECT_TRUE(session.Over());
    EXPECT_FALSE(session.QuitReceived());
    EXPECT_EQ(session.Receive("USER me\r\nPASS pw\r\n"), "");
    EXPECT_EQ(session.CurrentState(), Pop3Session::State::Authorization);

    // Two failures and then the password: logged in, each check reported.
    seen.clear();
    Pop3Session second(options);
    EXPECT_EQ(second.Receive("USER me\r\nPASS a\r\nUSER me\r\nPASS b\r\nUSER me\r\nPASS pw\r\n"),
              "+OK Password required\r\n-ERR [AUTH] invalid password\r\n+OK Password required\r\n"
              "-ERR [AUTH] invalid password\r\n+OK Password required\r\n+OK\r\n");
    EXPECT_EQ(seen, "--+");
    EXPECT_FALSE(second.Over());

    // Without a password there is no secret to check.
    seen.clear();
    Pop3SessionOptions open = Over(mailbox);
    open.secretChecked = options.secretChecked;
    Pop3Session third(open);
    EXPECT_EQ(third.Receive("USER me\r\nPASS anything\r\n"), "+OK Password required\r\n+OK\r\n");
    EXPECT_EQ(seen, "");
}

TEST(Pop3SessionQuit, TheAnswerWaitsForTheCommitAndCarriesItsFailure) {
    Mailbox mailbox;
    struct Case {
        std::string lines;
        std::string reason;
        std::string reply;
        int commits;
    };
    const Case cases[] = {
        {std::string(kLogIn) + "QUIT\r\n", "", "+OK Password required\r\n+OK\r\n+OK\r\n", 1},
        {std::string(kLogIn) + "QUIT\r\n", "disk full\r\nsecond line", "+OK Password required\r\n+OK\r\n-ERR disk full  second line\r\n", 1},
        // In AUTHORIZATION there is nothing to record.
        {"QUIT\r\n", "never asked", "+OK\r\n", 0},
        {"USER me\r\nQUIT\r\n", "never asked", "+OK Password required\r\n+OK\r\n", 0},
    };
    for (const auto& c : cases) {
        int commits = 0;
        std::string reason = c.reason;
        Pop3SessionOptions options;
        options.commit = [&commits, &reason] {
            ++commits;
            return reason;
        };
        Pop3Session session(Over(mailbox, options));
        EXPECT_EQ(session.Receive(c.lines + "NOOP\r\n"), c.reply) << c.lines;
        EXPECT_EQ(commits, c.commits) << c.lines;
        // The session is over either way.
        EXPECT_TRUE(session.QuitReceived());
        EXPECT_EQ(session.Receive("NOOP\r\n"), "");
    }
}

TEST_F(Pop3SessionTest, StatCountsBothFeeds) {
    long long total = 0;
    for (int n = 1; n <= 5; ++n) total += std::stoll(Size(n));
    EXPECT_EQ(Stat(), "+OK 5 " + std::to_string(total) + "\r\n");
}

TEST_F(Pop3SessionTest, SizesAreTheOctetsRetrSendsWithoutTheTerminatingLine) {
    for (int n = 1; n <= 5; ++n) {
        std::string reply = session.Receive("RETR " + std::to_string(n) + "\r\n");
        ASSERT_EQ(reply.substr(0, 5), "+OK\r\n");
        ASSERT_EQ(reply.substr(reply.size() - 5), "\r\n.\r\n");
        // The dot-stuffed body line is counted as sent.
        ASSERT_NE(reply.find("\r\n..dot line"), std::string::npos);
        const std::string octets = std::to_string(reply.size() - 5 - 3);
        EXPECT_EQ(session.Receive("LIST " + std::to_string(n) + "\r\n"), "+OK " + std::to_string(n) + " " + octets + "\r\n");
    }
}

TEST_F(Pop3SessionTest, ListGivesEveryMessageInMailboxOrder) {
    std::string expected = "+OK\r\n";
    for (int n = 1; n <= 5; ++n) expected += std::to_string(n) + " " + Size(n) + "\r\n";
    expected += ".\r\n";
    for (const char* line : {"LIST\r\n", "LIST \r\n", "list\r\n", "LIST\n"}) EXPECT_EQ(session.Receive(line), expected) << line;
}

TEST_F(Pop3SessionTest, ListAndUidlOfOneMessageAreSingleLines) {
    EXPECT_EQ(session.Receive("LIST 2\r\n"), "+OK 2 " + Size(2) + "\r\n");
    EXPECT_EQ(session.Receive("LIST 3\r\n"), "+OK 3 " + Size(3) + "\r\n");
    EXPECT_EQ(session.Receive("UIDL 3\r\n"), "+OK 3 uid-1-0\r\n");
    EXPECT_EQ(session.Receive("UIDL 1\r\n"), "+OK 1 uid-0-0\r\n");
}

TEST_F(Pop3SessionTest, UidlWithoutArgumentGivesTheListing) {
    EXPECT_EQ(session.Receive("UIDL\r\n"),
              "+OK\r\n1 uid-0-0\r\n2 uid-0-1\r\n3 uid-1-0\r\n4 uid-1-1\r\n5 uid-1-2\r\n.\r\n");
    EXPECT_EQ(session.Receive("UIDL \r\n"), session.Receive("UIDL\r\n"));
}

TEST_F(Pop3SessionTest, TopGivesHeaderAndTheAskedBodyLines) {
    std::string text = Text(1);
    size_t headerEnd = text.find("\r\n\r\n") + 4;
    std::string header = text.substr(0, headerEnd);
    std::string body = text.substr(headerEnd, text.size() - headerEnd - 3);  // without ".\r\n"
    auto firstLines = [&body](int k) {
        size_t pos = 0;
        for (int i = 0; i < k; ++i) pos = body.find("\r\n", pos) + 2;
        return body.substr(0, pos);
    };
    EXPECT_EQ(session.Receive("TOP 1 0\r\n"), "+OK\r\n" + header + ".\r\n");
    EXPECT_EQ(session.Receive("TOP 1 1\r\n"), "+OK\r\n" + header + firstLines(1) + ".\r\n");
    EXPECT_EQ(session.Receive("TOP 1 2\r\n"), "+OK\r\n" + header + firstLines(2) + ".\r\n");
    // More lines than the body: the same lines as RETR, one terminating line.
    EXPECT_EQ(session.Receive("TOP 1 1000\r\n"), "+OK\r\n" + text);
    EXPECT_EQ(session.Receive("TOP 1 99999999999\r\n"), "+OK\r\n" + text);
}

TEST_F(Pop3SessionTest, DeleLeavesAGapAndKeepsNumbers) {
    EXPECT_EQ(session.Receive("DELE 2\r\n"), "+OK\r\n");
    std::string size1 = Size(1);
    EXPECT_EQ(session.Receive("DELE 2\r\n"), "-ERR no such message\r\n");
    EXPECT_EQ(session.Receive("LIST 2\r\n"), "-ERR no such message\r\n");
    EXPECT_EQ(session.Receive("RETR 2\r\n"), "-ERR no such message\r\n");
    EXPECT_EQ(session.Receive("UIDL 2\r\n"), "-ERR no such message\r\n");
    EXPECT_EQ(session.Receive("TOP 2 0\r\n"), "-ERR no such message\r\n");
    std::string list = session.Receive("LIST\r\n");
    EXPECT_EQ(list, "+OK\r\n1 " + size1 + "\r\n3 " + Size(3) + "\r\n4 " + Size(4) + "\r\n5 " + Size(5) + "\r\n.\r\n");
    EXPECT_EQ(session.Receive("UIDL\r\n"), "+OK\r\n1 uid-0-0\r\n3 uid-1-0\r\n4 uid-1-1\r\n5 uid-1-2\r\n.\r\n");
    EXPECT_EQ(Stat().substr(0, 6), "+OK 4 ");
    EXPECT_TRUE(mailbox.Entries()[1].deleted);
}

TEST_F(Pop3SessionTest, RsetReturnsDeletedMessagesWithTheirNumbers) {
    std::string listing = session.Receive("LIST\r\n");
    std::string uids = session.Receive("UIDL\r\n");
    session.Receive("DELE 4\r\nDELE 1\r\nDELE 5\r\n");
    EXPECT_EQ(Stat().substr(0, 6), "+OK 2 ");
    EXPECT_EQ(session.Receive("RSET\r\n"), "+OK\r\n");
    EXPECT_EQ(session.Receive("LIST\r\n"), listing);
    EXPECT_EQ(session.Receive("UIDL\r\n"), uids);
}

TEST(Pop3SessionStore, AMessageThatCannotBeReadIsAnErrorAndTheSessionGoesOn) {
    Mailbox mailbox({{{MakeTextMessage("gone", TextMessage::kUnreadable), MakeTextMessage("here", "A: b\r\n\r\nx\r\n")}}});
    Pop3Session session(Over(mailbox));
    session.Receive(kLogIn);
    EXPECT_EQ(session.Receive("RETR 1\r\n"), "-ERR cannot read message: gone\r\n");
    EXPECT_EQ(session.Receive("TOP 1 0\r\n"), "-ERR cannot read message: gone\r\n");
    EXPECT_EQ(session.Receive("RETR 2\r\n"), "+OK\r\nA: b\r\n\r\nx\r\n.\r\n");
}

TEST_F(Pop3SessionTest, SeveralCommandsInOneReceiveAreAnsweredInOrder) {
    Pop3Session fresh(Over(mailbox));
    EXPECT_EQ(fresh.Receive("USER a\r\nPASS b\r\nNOOP\r\n"), "+OK Password required\r\n+OK\r\n+OK\r\n");
}

TEST_F(Pop3SessionTest, CommandSplitOverReceivesIsPutTogether) {
    EXPECT_EQ(session.Receive("LI"), "");
    EXPECT_EQ(session.Receive("ST 3"), "");
    EXPECT_EQ(session.Receive("\r"), "");
    EXPECT_EQ(session.Receive("\nNO"), "+OK 3 " + Size(3) + "\r\n");
    EXPECT_EQ(session.Receive("OP\n"), "+OK\r\n");
}

TEST_F(Pop3SessionTest, TooLongLineIsRefusedAndTheNextOneServed) {
    std::string reply = session.Receive(std::string(3000, 'A'));
    EXPECT_EQ(reply, "-ERR line too long\r\n");
    EXPECT_EQ(session.Receive(std::string(3000, 'A') + "\r\nNOOP\r\n"), "+OK\r\n");
}

TEST_F(Pop3SessionTest, NothingIsAnsweredAfterQuit) {
    EXPECT_EQ(session.Receive("NOOP\r\nQUIT\r\nSTAT\r\n"), "+OK\r\n+OK\r\n");
    EXPECT_TRUE(session.QuitReceived());
    EXPECT_EQ(session.CurrentState(), Pop3Session::State::Update);
    EXPECT_EQ(session.Receive("STAT\r\n"), "");
}

TEST(Pop3SessionEmpty, EmptyMailboxRepliesAreByteExact) {
    Mailbox mailbox;
    Pop3Session session(Over(mailbox));
    session.Receive(kLogIn);
    const std::pair<std::string, std::string> cases[] = {
        {"STAT\r\n", "+OK 0 0\r\n"},
        {"LIST\r\n", "+OK\r\n.\r\n"},
        {"UIDL\r\n", "+OK\r\n.\r\n"},
        {"LIST 1\r\n", "-ERR no such message\r\n"},
        {"RETR 1\r\n", "-ERR no such message\r\n"},
        {"TOP 1 0\r\n", "-ERR no such message\r\n"},
        {"DELE 1\r\n", "-ERR no such message\r\n"},
        {"RSET\r\n", "+OK\r\n"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(session.Receive(line), reply) << line;
}

}  // namespace
