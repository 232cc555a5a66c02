#include "Pop3Session.h"

#include "Mailbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Pop3Arguments, NumbersAreReadLikeTheClassicConversion) {
    const std::pair<std::string, int> cases[] = {
        {"", 0}, {" 3\r\n", 3}, {"\t 12abc", 12}, {"+7", 7}, {"-2", -2}, {"abc", 0},
        {"\r\n", 0}, {" 4 5", 4}, {"99999999999999999999", 2147483647}, {"- 3", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseNumber(text), value) << text;
}

TEST(Pop3Arguments, TopTakesTwoTokensAndTheSecondKeepsTheRest) {
    struct Case {
        std::string text;
        int message;
        int lines;
    };
    const Case cases[] = {
        {" 3 10\r\n", 3, 10}, {" 3\r\n", 3, 0},       {" 3 10 20\r\n", 3, 1020},
        {"\t2\t5\r\n", 2, 5}, {"   1    2\r\n", 1, 2}, {"\r\n", 0, 0},
        {"", 0, 0},           {" x 4\r\n", 0, 4},      {" 1 2 3", 1, 23},
    };
    for (const auto& c : cases) {
        TopArguments args = ParseTopArguments(c.text);
        EXPECT_EQ(args.message, c.message) << c.text;
        EXPECT_EQ(args.lines, c.lines) << c.text;
    }
}

class Pop3SessionTest : public ::testing::Test {
protected:
    // Two feeds with 2 and 3 messages, numbered 1-2 and 3-5.
    static Mailbox TwoFeeds(std::vector<FeedMailboxPointer>& parts) {
        std::vector<Mailbox::Part> mailboxParts;
        for (int feed = 0; feed < 2; ++feed) {
            auto part = std::make_shared<FeedMailbox>();
            for (int i = 0; i < (feed == 0 ? 2 : 3); ++i) {
                auto message = std::make_shared<MailData>(false);
                message->SetSender("Feed " + std::to_string(feed));
                message->SetSubject("Item " + std::to_string(i));
                message->SetLink("http://127.0.0.1/item" + std::to_string(i));
                message->SetUid("uid-" + std::to_string(feed) + "-" + std::to_string(i));
                message->AddBody("line one\r\nline two\r\nline three", false);
                part->AddPending(message);
            }
            parts.push_back(part);
            mailboxParts.push_back({part, {}});
        }
        return Mailbox(std::move(mailboxParts));
    }

    std::string Text(int n) { return mailbox.Find(n)->GetText(); }
    std::string Size(int n) { return std::to_string(Text(n).size()); }

    std::vector<FeedMailboxPointer> parts;
    Mailbox mailbox = TwoFeeds(parts);
    Pop3Session session{mailbox};
};

TEST_F(Pop3SessionTest, FixedRepliesAreByteExact) {
    const std::pair<std::string, std::string> cases[] = {
        {"USER someone\r\n", "+OK Password required\r\n"},
        {"USERX\r\n", "+OK Password required\r\n"},
        {"PASS secret\r\n", "+OK\r\n"},
        {"PASS\r\n", "+OK\r\n"},
        {"CAPA\r\n", "+OK\r\nUSER\r\nTOP\r\nUIDL\r\nRESP-CODES\r\n.\r\n"},
        {"NOOP\r\n", "+OK\r\n"},
        {"user x\r\n", "-ERR unknown command\r\n"},
        {"APOP a b\r\n", "-ERR unknown command\r\n"},
        {"\r\n", "-ERR unknown command\r\n"},
        {std::string("\0STAT\r\n", 7), "-ERR unknown command\r\n"},
        {"QUIT\r\n", "+OK\r\n"},
    };
    for (const auto& [line, reply] : cases) {
        Pop3Session fresh(mailbox);
        EXPECT_EQ(fresh.Receive(line), reply) << line;
    }
}

TEST_F(Pop3SessionTest, StatCountsBothFeeds) {
    long long total = 0;
    for (int n = 1; n <= 5; ++n) total += static_cast<long long>(Text(n).size());
    EXPECT_EQ(session.Receive("STAT\r\n"), "+OK 5 " + std::to_string(total) + "\r\n");
}

TEST_F(Pop3SessionTest, ListGivesEveryMessageInMailboxOrder) {
    std::string expected = "+OK\r\n";
    for (int n = 1; n <= 5; ++n) expected += std::to_string(n) + " " + Size(n) + "\r\n";
    expected += ".\r\n";
    for (const char* line : {"LIST\r\n", "LIST 0\r\n", "LIST abc\r\n", "LIST -1\r\n", "LIST\n"})
        EXPECT_EQ(session.Receive(line), expected) << line;
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

TEST_F(Pop3SessionTest, NumbersNoMessageBearsAreErrorsAndChangeNothing) {
    std::string before = session.Receive("STAT\r\n");
    for (const char* line : {"LIST 6\r\n", "LIST 99999999999\r\n", "UIDL 0\r\n", "UIDL 6\r\n", "UIDL x\r\n",
                             "RETR 0\r\n", "RETR 6\r\n", "RETR\r\n", "RETR -1\r\n", "TOP 6 1\r\n",
                             "TOP\r\n", "DELE 0\r\n", "DELE 6\r\n", "DELE\r\n"}) {
        EXPECT_EQ(session.Receive(line), "-ERR no such message\r\n") << line;
    }
    EXPECT_EQ(session.Receive("STAT\r\n"), before);
}

TEST_F(Pop3SessionTest, RetrSendsTheMessageTextAfterTheStatusLine) {
    std::string reply = session.Receive("RETR 4\r\n");
    ASSERT_EQ(reply.substr(0, 5), "+OK\r\n");
    EXPECT_EQ(reply.size() - 5, std::stoul(Size(4)));
    EXPECT_EQ(reply.substr(reply.size() - 5), "\r\n.\r\n");
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
    EXPECT_EQ(session.Receive("TOP 1\r\n"), "+OK\r\n" + header + ".\r\n");
    EXPECT_EQ(session.Receive("TOP 1 -3\r\n"), "+OK\r\n" + header + ".\r\n");
    EXPECT_EQ(session.Receive("TOP 1 1\r\n"), "+OK\r\n" + header + firstLines(1) + ".\r\n");
    EXPECT_EQ(session.Receive("TOP 1 2\r\n"), "+OK\r\n" + header + firstLines(2) + ".\r\n");
    // More lines than the body: the same lines as RETR, one terminating line.
    EXPECT_EQ(session.Receive("TOP 1 1000\r\n"), "+OK\r\n" + text);
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
    EXPECT_EQ(session.Receive("STAT\r\n").substr(0, 6), "+OK 4 ");
    EXPECT_EQ(parts[0]->Deleted().size(), 1u);
}

TEST_F(Pop3SessionTest, RsetReturnsDeletedMessagesWithTheirNumbers) {
    std::string listing = session.Receive("LIST\r\n");
    std::string uids = session.Receive("UIDL\r\n");
    session.Receive("DELE 4\r\nDELE 1\r\nDELE 5\r\n");
    EXPECT_EQ(session.Receive("STAT\r\n").substr(0, 6), "+OK 2 ");
    EXPECT_EQ(session.Receive("RSET\r\n"), "+OK\r\n");
    EXPECT_EQ(session.Receive("LIST\r\n"), listing);
    EXPECT_EQ(session.Receive("UIDL\r\n"), uids);
    EXPECT_TRUE(parts[0]->Deleted().empty());
}

TEST_F(Pop3SessionTest, SeveralCommandsInOneReceiveAreAnsweredInOrder) {
    EXPECT_EQ(session.Receive("USER a\r\nPASS b\r\nNOOP\r\n"), "+OK Password required\r\n+OK\r\n+OK\r\n");
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
    EXPECT_EQ(session.Receive("STAT\r\n"), "");
}

TEST(Pop3SessionEmpty, EmptyMailboxRepliesAreByteExact) {
    Mailbox mailbox;
    Pop3Session session(mailbox);
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
