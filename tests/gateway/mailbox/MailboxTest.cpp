#include "Mailbox.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

MailDataPointer Message(const std::string& uid) {
    auto message = std::make_shared<MailData>(false);
    message->SetUid(uid);
    message->SetSubject(uid);
    message->AddBody("body of " + uid, false);
    return message;
}

FeedMailboxPointer Part(const std::vector<std::string>& uids) {
    auto part = std::make_shared<FeedMailbox>();
    for (const auto& uid : uids) part->AddPending(Message(uid));
    return part;
}

using Listed = std::vector<std::pair<int, std::string>>;

// Number and id of every pending message, in mailbox order.
Listed Listing(const Mailbox& mailbox) {
    Listed listing;
    for (const auto& message : mailbox.Messages())
        listing.emplace_back(message->GetNumber(), message->GetUid());
    return listing;
}

TEST(Mailbox, NumberingRunsAcrossPartsAndIdsBecomeUnique) {
    auto a = Part({"same", "same"});
    auto empty = Part({});
    auto b = Part({"same", "other id\x01", std::string(80, 'x'), std::string(80, 'x'), ""});
    Mailbox mailbox({{a, {}}, {empty, {}}, {b, {}}});
    Listed expected = {{1, "same"},
                       {2, "same-2"},
                       {3, "same-3"},
                       {4, "other_id_"},
                       {5, std::string(70, 'x')},
                       {6, std::string(68, 'x') + "-2"},
                       {7, "_"}};
    EXPECT_EQ(Listing(mailbox), expected);
    EXPECT_EQ(a->Pending()[1]->GetNumber(), 2);
    EXPECT_EQ(b->Pending()[0]->GetNumber(), 3);
    EXPECT_EQ(mailbox.Count(), 7);
}

TEST(Mailbox, DeleteLeavesAGapInEveryPartAndKeepsTheOtherNumbers) {
    auto a = Part({"a1", "a2"});
    auto b = Part({"b1", "b2", "b3"});
    Mailbox mailbox({{a, {}}, {b, {}}});
    long long all = mailbox.TotalSize();
    ASSERT_NE(mailbox.Find(4), nullptr);
    long long sizeOf4 = MessageOctets(*mailbox.Find(4));
    EXPECT_TRUE(mailbox.Delete(4));
    EXPECT_TRUE(mailbox.Delete(1));
    EXPECT_FALSE(mailbox.Delete(4));
    for (int n : {0, -1, 6}) EXPECT_FALSE(mailbox.Delete(n)) << n;
    EXPECT_EQ(Listing(mailbox), (Listed{{2, "a2"}, {3, "b1"}, {5, "b3"}}));
    EXPECT_EQ(mailbox.Find(4), nullptr);
    EXPECT_EQ(mailbox.Find(5)->GetUid(), "b3");
    EXPECT_EQ(mailbox.Count(), 3);
    EXPECT_EQ(mailbox.TotalSize(), all - sizeOf4 - MessageOctets(*a->Deleted()[0]));
    ASSERT_EQ(b->Deleted().size(), 1u);
    EXPECT_EQ(b->Deleted()[0]->GetUid(), "b2");
}

TEST(Mailbox, ResetBringsBackTheSessionsDeletionsInNumberOrderButNotDeliveredItems) {
    auto a = Part({"a1", "a2", "a3"});
    a->AddDelivered(Message("old"));
    auto b = Part({"b1", "b2"});
    Mailbox mailbox({{a, {}}, {b, {}}});
    Listed before = Listing(mailbox);
    for (int n : {3, 1, 5, 2}) EXPECT_TRUE(mailbox.Delete(n));
    mailbox.Reset();
    EXPECT_EQ(Listing(mailbox), before);
    ASSERT_EQ(a->Deleted().size(), 1u);
    EXPECT_EQ(a->Deleted()[0]->GetUid(), "old");
    EXPECT_TRUE(b->Deleted().empty());
    // A second round after the reset is counted afresh.
    EXPECT_TRUE(mailbox.Delete(2));
    mailbox.Reset();
    EXPECT_EQ(Listing(mailbox), before);
    EXPECT_EQ(a->Deleted().size(), 1u);
}

TEST(Mailbox, CommitCallsEveryPartOnceInOrderAndReportsAFailure) {
    struct Case {
        std::vector<bool> results;
        bool committed;
    };
    const Case cases[] = {
        {{true, true, true}, true},
        {{true, false, true}, false},
        {{false, true, true}, false},
        {{true, true, false}, false},
    };
    for (const auto& c : cases) {
        std::vector<size_t> calls;
        std::vector<Mailbox::Part> parts;
        for (size_t i = 0; i < c.results.size(); ++i) {
            bool result = c.results[i];
            parts.push_back({Part({"m" + std::to_string(i)}), [&calls, i, result] {
                                 calls.push_back(i);
                                 return result;
                             }});
        }
        parts.push_back({Part({"no commit"}), {}});
        Mailbox mailbox(std::move(parts));
        EXPECT_EQ(mailbox.Commit().empty(), c.committed);
        EXPECT_EQ(calls, (std::vector<size_t>{0, 1, 2}));
    }
}

}  // namespace
