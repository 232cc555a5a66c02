#include "Mailbox.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// Each part's steps as the commit calls them: "p0" prepare of part 0, "i0" install,
// "d0" discard. A part fails a step when its text is given for that step.
struct Steps {
    std::vector<std::string> calls;
    std::vector<Mailbox::Part> Parts(size_t count, const std::string& failing) {
        std::vector<Mailbox::Part> parts;
        for (size_t i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            auto step = [this, failing](std::string name) {
                calls.push_back(name);
                return name == failing ? "cannot write " + name + ":\r\nNo space" : std::string();
            };
            parts.push_back({Part({"m" + n}), [step, n] { return step("p" + n); },
                             [step, n] { return step("i" + n); }, [this, n] { calls.push_back("d" + n); }});
        }
        parts.push_back({Part({"records-nothing"}), {}, {}, {}});
        return parts;
    }
};

TEST(Mailbox, CommitPreparesEveryPartBeforeInstallingAnyAndRecordsNothingWhenOnePrepareFails) {
    struct Case {
        std::string failing;
        std::string reason;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"", "", {"p0", "p1", "p2", "i0", "i1", "i2"}},
        {"p0", "cannot write p0:  No space", {"p0", "d0"}},
        {"p1", "cannot write p1:  No space", {"p0", "p1", "d1", "d0"}},
        {"p2", "cannot write p2:  No space", {"p0", "p1", "p2", "d2", "d0", "d1"}},
        // Past the prepares the others are still installed; only the failed one is dropped.
        {"i1", "cannot write i1:  No space", {"p0", "p1", "p2", "i0", "i1", "d1", "i2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        Steps steps;
        Mailbox mailbox(steps.Parts(3, c.failing));
        EXPECT_EQ(mailbox.Commit(), c.reason);
        EXPECT_EQ(steps.calls, c.calls);
    }
}

TEST(Mailbox, AResetAfterAFailedInstallBringsBackOnlyTheUnrecordedDeletions) {
    Steps steps;
    Mailbox mailbox(steps.Parts(2, "i1"));
    ASSERT_TRUE(mailbox.Delete(1));
    ASSERT_TRUE(mailbox.Delete(2));
    EXPECT_NE(mailbox.Commit(), "");
    mailbox.Reset();
    EXPECT_EQ(Listing(mailbox), (Listed{{2, "m1"}, {3, "records-nothing"}}));
}

}  // namespace

namespace {

// The ids as they were always made: for each repeated id, the first of -2, -3, ...
// that no earlier message has, tried one by one.
std::vector<std::string> IdsMadeOneByOne(const std::vector<std::string>& uids) {
    std::vector<std::string> out;
    for (const auto& raw : uids) {
        std::string uid = CleanUid(raw);
        auto taken = [&out](const std::string& id) { return std::find(out.begin(), out.end(), id) != out.end(); };
        if (taken(uid)) {
            for (int k = 2;; ++k) {
                const std::string suffix = "-" + std::to_string(k);
                const std::string candidate = uid.substr(0, std::min(uid.size(), kMaxUidLength - suffix.size())) + suffix;
                if (!taken(candidate)) {
                    uid = candidate;
                    break;
                }
            }
        }
        out.push_back(uid);
    }
    return out;
}

TEST(Mailbox, ManyMessagesWithOneIdGetTheIdsTheyAlwaysGot) {
    // Clients that leave mail on the server know the messages by these ids.
    std::vector<std::string> uids(3000, "same");
    for (size_t i = 3; i < uids.size(); i += 7) uids[i] = "same-" + std::to_string(i);
    for (size_t i = 5; i < uids.size(); i += 11) uids[i] = std::string(69, 'y');
    uids[10] = "same-3-2";
    Mailbox mailbox({{Part(uids), {}}});
    std::vector<std::string> ids;
    for (const auto& [number, uid] : Listing(mailbox)) ids.push_back(uid);
    EXPECT_EQ(ids, IdsMadeOneByOne(uids));
}

TEST(Mailbox, ALaterSessionNumbersWhatIsLeftAndFindsEachByItsNumber) {
    auto a = Part({"a1", "a2", "a3"});
    auto b = Part({"b1", "b2"});
    {
        Mailbox first({{a, {}}, {b, {}}});
        EXPECT_TRUE(first.Delete(2));
        EXPECT_TRUE(first.Delete(4));
        first.KeepDeletions();
    }
    Mailbox second({{a, {}}, {b, {}}});
    EXPECT_EQ(Listing(second), (Listed{{1, "a1"}, {2, "a3"}, {3, "b2"}}));
    for (int n = 1; n <= 3; ++n) ASSERT_NE(second.Find(n), nullptr) << n;
    EXPECT_EQ(second.Find(4), nullptr);
    EXPECT_EQ(second.Find(0), nullptr);
    EXPECT_TRUE(second.Delete(3));
    EXPECT_FALSE(second.Delete(3));
    second.Reset();
    EXPECT_EQ(second.Find(3)->GetUid(), "b2");
    EXPECT_EQ(a->Deleted().size(), 1u);
}

}  // namespace
