#include "MessageStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

StoredMessage::Facts FactsOf(const std::string& key, const std::string& subject = "subject") {
    StoredMessage::Facts facts;
    facts.key = key;
    facts.uid = "uid-" + key;
    facts.feedUrl = "http://127.0.0.1/feed.xml";
    facts.record = {subject, "http://127.0.0.1/" + key, "Sat, 01 Jan 2005 00:00:00 GMT", "", key};
    facts.compareDate = true;
    return facts;
}

MessageStore::NewMessage NewMessage(const std::string& key, const std::string& text) {
    return {FactsOf(key), std::make_shared<const std::string>(text)};
}

std::vector<std::string> Keys(const MessageStore& store) {
    std::vector<std::string> keys;
    for (const auto& message : store.Messages()) keys.push_back(message->GetFacts().key);
    return keys;
}

std::string TextOf(const StoredMessage& message) {
    std::string text;
    std::string error;
    EXPECT_TRUE(message.ReadText(text, error)) << error;
    return text;
}

class MessageStoreTest : public ::testing::Test {
protected:
    // The feed folder is there before its store, as a download makes it.
    void SetUp() override { fs::create_directories(Folder()); }
    std::string Folder() const { return temp_.Path() + "/feed/"; }
    fs::path New() const { return fs::path(Folder()) / "mail" / "new"; }

    TempDir temp_{"quillo-message-store"};
};

TEST(StoredRecordLine, FactsComeBackWhateverBytesTheirTextsHold) {
    const StoredMessage::Facts cases[] = {
        FactsOf("0123456789"),
        FactsOf("k", "日本語 with spaces, 100% and\r\na line break\ttab"),
        FactsOf("k", ""),
        FactsOf("k", std::string(5000, 'S') + "%41"),
    };
    for (const auto& facts : cases) {
        const std::string line = StoredRecordLine(facts, 7);
        EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << "one line: " << line;
        std::uint64_t dots = 0;
        const auto parsed = ParseStoredRecordLine(line, dots);
        ASSERT_TRUE(parsed) << line;
        EXPECT_EQ(parsed->key, facts.key);
        EXPECT_EQ(parsed->uid, facts.uid);
        EXPECT_EQ(parsed->feedUrl, facts.feedUrl);
        EXPECT_EQ(parsed->record, facts.record);
        EXPECT_EQ(parsed->compareDate, facts.compareDate);
        EXPECT_EQ(dots, 7u);
    }
}

TEST(StoredRecordLine, LinesThatAreNotOursAreRefused) {
    const std::string good = StoredRecordLine(FactsOf("k"), 0);
    const std::string cases[] = {
        "From: someone\r\n",
        good.substr(0, good.size() - 2),                 // no line end
        "X-Quillo-Record: 1 u=a w=0 n=0\r\n",            // no key
        "X-Quillo-Record: 1 k=a u=a w=0 n=x\r\n",        // a count that is no number
        "X-Quillo-Record: 1 k=a u=a w=0 n=0 s=%G1\r\n",  // a broken escape
        "X-Quillo-Record: 1 k=a u=a w=0 n=0 s=%4\r\n",
        "X-Quillo-Record: 1 k=a  u=a w=0 n=0\r\n",       // an empty field
    };
    for (const auto& line : cases) {
        std::uint64_t dots = 0;
        EXPECT_FALSE(ParseStoredRecordLine(line, dots)) << line;
    }
}

TEST_F(MessageStoreTest, MessagesComeBackAfterARestartInArrivalOrderWithTheirTexts) {
    const std::string dotted = "Subject: x\r\n\r\n.one\r\nmid\r\n..two\r\n";
    {
        MessageStore store(Folder());
        EXPECT_TRUE(store.Load({}).empty());
        EXPECT_EQ(store.Add({NewMessage("b", "Subject: b\r\n\r\nbody\r\n"), NewMessage("a", dotted)}), "");
        EXPECT_EQ(store.Add({NewMessage("c", "Subject: c\r\n\r\n")}), "");
        EXPECT_TRUE(store.Contains("a"));
    }
    MessageStore again(Folder());
    EXPECT_TRUE(again.Load({}).empty());
    EXPECT_EQ(Keys(again), (std::vector<std::string>{"b", "a", "c"}));
    const StoredMessage& a = *again.Find("a");
    EXPECT_EQ(a.GetFacts().record, FactsOf("a").record);
    EXPECT_EQ(a.Uid(), "uid-a");
    EXPECT_EQ(TextOf(a), dotted);
    EXPECT_EQ(a.Size(), dotted.size());
    EXPECT_EQ(a.DotLines(), 2u);
    EXPECT_EQ(again.FeedUrl(), "http://127.0.0.1/feed.xml");
}

TEST_F(MessageStoreTest, DamagedForeignAndEmptyFilesAreReportedAndNeverOffered) {
    {
        MessageStore store(Folder());
        store.Load({});
        ASSERT_EQ(store.Add({NewMessage("good", "Subject: g\r\n\r\n")}), "");
    }
    const std::string header = StoredRecordLine(FactsOf("bare"), 0);
    WriteFile(New() / "1700000000.M1P1Q1.host", "");                             // zero bytes
    WriteFile(New() / "1700000000.M1P1Q2.host", "From: a\r\n\r\nforeign\r\n");   // not ours
    WriteFile(New() / "1700000000.M1P1Q3.host", header);                          // no message
    WriteFile(New() / "1700000000.M1P1Q4.host", header.substr(0, 20));            // cut off
    WriteFile(New() / ".hidden", "x");                                            // no message name
    fs::create_directory(New() / "1700000000.M1P1Q5.host");                       // a folder
    MessageStore store(Folder());
    const std::vector<std::string> problems = store.Load({});
    EXPECT_EQ(Keys(store), std::vector<std::string>{"good"});
    EXPECT_EQ(problems.size(), 6u);
    for (const char* file : {"Q1", "Q2", "Q3", "Q4", ".hidden", "Q5"}) {
        int mentions = 0;
        for (const auto& problem : problems) mentions += problem.find(file) != std::string::npos;
        EXPECT_EQ(mentions, 1) << file;
    }
}

TEST_F(MessageStoreTest, MessagesAlreadyRecordedAsDeliveredAreRemovedAtLoad) {
    {
        MessageStore store(Folder());
        store.Load({});
        ASSERT_EQ(store.Add({NewMessage("kept", "A: 1\r\n\r\n"), NewMessage("recorded", "A: 2\r\n\r\n")}), "");
    }
    MessageStore store(Folder());
    store.Load([](const StoredMessage& message) { return message.GetFacts().key == "recorded"; });
    EXPECT_EQ(Keys(store), std::vector<std::string>{"kept"});
    EXPECT_EQ(std::distance(fs::directory_iterator(New()), fs::directory_iterator()), 1);
}

TEST_F(MessageStoreTest, RemovedMessagesLeaveTheIndexAndTheirFilesGo) {
    MessageStore store(Folder());
    store.Load({});
    ASSERT_EQ(store.Add({NewMessage("a", "A: 1\r\n\r\n"), NewMessage("b", "A: 2\r\n\r\n"), NewMessage("a", "dup\r\n")}),
              "");
    EXPECT_EQ(Keys(store), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(store.Remove({store.Find("a")}), "");
    EXPECT_EQ(Keys(store), std::vector<std::string>{"b"});
    EXPECT_FALSE(store.Contains("a"));
    MessageStore again(Folder());
    again.Load({});
    EXPECT_EQ(Keys(again), std::vector<std::string>{"b"});
}

TEST_F(MessageStoreTest, AMessageTheDiskCannotTakeIsHeldInMemoryAndOfferedAllTheSame) {
    MaildirCalls full = SystemMaildirCalls();
    full.write = [](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    MessageStore store(Folder(), full);
    store.Load({});
    const std::string reason = store.Add({NewMessage("a", "A: 1\r\n\r\n.x\r\n")});
    EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
    ASSERT_EQ(Keys(store), std::vector<std::string>{"a"});
    const StoredMessage& held = *store.Messages()[0];
    EXPECT_EQ(held.Name(), "");
    EXPECT_EQ(TextOf(held), "A: 1\r\n\r\n.x\r\n");
    EXPECT_EQ(held.DotLines(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(New()), fs::directory_iterator()), 0);
    EXPECT_EQ(store.Remove({store.Find("a")}), "");
    EXPECT_TRUE(store.Messages().empty());
}

TEST_F(MessageStoreTest, AFileCutShortAfterLoadingIsAReadErrorNotAShortMessage) {
    MessageStore store(Folder());
    store.Load({});
    ASSERT_EQ(store.Add({NewMessage("a", "A: 1\r\n\r\nlong enough body\r\n")}), "");
    const StoredMessage& message = *store.Find("a");
    fs::resize_file(fs::path(Folder()) / "mail" / message.Name(), 40);
    std::string text;
    std::string error;
    EXPECT_FALSE(message.ReadText(text, error));
    EXPECT_NE(error.find(message.Name()), std::string::npos) << error;
}

}  // namespace
