#include "Mailbox.h"

#include "TextMessage.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <utility>
#include <vector>

namespace {

Mailbox::MessageList Messages(const std::vector<std::string>& uids) {
    Mailbox::MessageList messages;
    for (const auto& uid : uids) messages.push_back(MakeTextMessage(uid, "Subject: " + uid + "\r\n\r\nbody\r\n"));
    return messages;
}

using Listed = std::vector<std::pair<int, std::string>>;

// Number and id of every message not deleted, in mailbox order.
Listed Listing(const Mailbox& mailbox) {
    Listed listing;
    const auto& entries = mailbox.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].deleted) listing.emplace_back(static_cast<int>(i + 1), entries[i].uid);
    }
    return listing;
}

TEST(Mailbox, NumberingRunsAcrossPartsAndIdsBecomeUnique) {
    Mailbox mailbox({{Messages({"same", "same"})},
                     {Messages({})},
                     {Messages({"same", "other id\x01", std::string(80, 'x'), std::string(80, 'x'), ""})}});
    Listed expected = {{1, "same"},
                       {2, "same-2"},
                       {3, "same-3"},
                       {4, "other_id_"},
                       {5, std::string(70, 'x')},
                       {6, std::string(68, 'x') + "-2"},
                       {7, "_"}};
    EXPECT_EQ(Listing(mailbox), expected);
    EXPECT_EQ(mailbox.Count(), 7);
}

TEST(Mailbox, DeleteLeavesAGapAndKeepsTheOtherNumbers) {
    Mailbox mailbox({{Messages({"a1", "a2"})}, {Messages({"b1", "b2", "b3"})}});
    ASSERT_NE(mailbox.Find(4), nullptr);
    EXPECT_TRUE(mailbox.Delete(4));
    EXPECT_TRUE(mailbox.Delete(1));
    EXPECT_FALSE(mailbox.Delete(4));
    for (int n : {0, -1, 6}) EXPECT_FALSE(mailbox.Delete(n)) << n;
    EXPECT_EQ(Listing(mailbox), (Listed{{2, "a2"}, {3, "b1"}, {5, "b3"}}));
    EXPECT_EQ(mailbox.Find(4), nullptr);
    EXPECT_EQ(mailbox.Find(5)->uid, "b3");
    EXPECT_EQ(mailbox.Count(), 3);
}

TEST(Mailbox, ResetBringsBackTheSessionsDeletionsWithTheirNumbers) {
    Mailbox mailbox({{Messages({"a1", "a2", "a3"})}, {Messages({"b1", "b2"})}});
    Listed before = Listing(mailbox);
    for (int n : {3, 1, 5, 2}) EXPECT_TRUE(mailbox.Delete(n));
    mailbox.Reset();
    EXPECT_EQ(Listing(mailbox), before);
    EXPECT_EQ(mailbox.Count(), 5);
}

// Each part's steps as the commit calls them: "p0" prepare of part 0, "i0" install,
// "d0" discard, "r0" the deleted messages handed over once recorded. A part fails a
// step when its text is given for that step.
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
            auto list = [](const Mailbox::MessageList& messages) {
                std::string uids;
                for (const auto& message : messages) uids += " " + message->Uid();
                return uids;
            };
            parts.push_back({Messages({"m" + n}),
                             [step, n, list](const Mailbox::MessageList& deleted) { return step("p" + n + list(deleted)); },
                             [step, n] { return step("i" + n); }, [this, n] { calls.push_back("d" + n); },
                             [this, n, list](const Mailbox::MessageList& deleted) {
                                 calls.push_back("r" + n + list(deleted));
                             }});
        }
        parts.push_back({Messages({"records-nothing"})});
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
        {"", "", {"p0 m0", "p1", "p2", "i0", "r0 m0", "i1", "r1", "i2", "r2"}},
        {"p0 m0", "cannot write p0 m0:  No space", {"p0 m0", "d0"}},
        {"p1", "cannot write p1:  No space", {"p0 m0", "p1", "d1", "d0"}},
        {"p2", "cannot write p2:  No space", {"p0 m0", "p1", "p2", "d2", "d0", "d1"}},
        // Past the prepares the others are still installed; only the failed one is dropped.
        {"i1", "cannot write i1:  No space", {"p0 m0", "p1", "p2", "i0", "r0 m0", "i1", "d1", "i2", "r2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        Steps steps;
        Mailbox mailbox(steps.Parts(3, c.failing));
        ASSERT_TRUE(mailbox.Delete(1));
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
    Mailbox mailbox({{Messages(uids)}});
    std::vector<std::string> ids;
    for (const auto& [number, uid] : Listing(mailbox)) ids.push_back(uid);
    EXPECT_EQ(ids, IdsMadeOneByOne(uids));
}

}  // namespace

