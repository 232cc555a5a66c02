// Message file names: unique by the Maildir convention, a host that cannot break the
// name, a key that survives a reader's flags, and other deliverers' names understood.
#include "MaildirName.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

TEST(MaildirName, NamesFollowTheConventionWithTheHostEscaped) {
    const struct {
        const char* host;
        const char* key;
        const char* name;
    } cases[] = {
        {"mail.example.org", "", "1700000000.M42P314Q7.mail.example.org,S=10,W=12"},
        {"odd/host:name,x", "", "1700000000.M42P314Q7.odd\\057host\\072name\\054x,S=10,W=12"},
        {"box", "d41d8cd98f00b204", "1700000000.M42P314Q7.box,S=10,W=12,K=d41d8cd98f00b204"},
        {"", "", "1700000000.M42P314Q7.localhost,S=10,W=12"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MakeMaildirName(timespec{1700000000, 42999}, 314, 7, c.host, 10, 12, c.key), c.name);
    }
}

TEST(MaildirName, TheWireSizeCountsEveryBareLineFeedAsTwoBytes) {
    EXPECT_EQ(WireSize(""), 0u);
    EXPECT_EQ(WireSize("a\nb\n"), 6u);
    EXPECT_EQ(WireSize("a\r\nb\n"), 6u);
    EXPECT_EQ(WireSize("\n\n"), 4u);
    EXPECT_EQ(WireSize("no end"), 6u);
}

TEST(MaildirName, ParsingReadsTimeCounterAndKeyOfAnyDeliverersName) {
    const struct {
        const char* file;
        std::optional<MaildirName> parsed;
    } cases[] = {
        {"1700000000.M42P314Q7.box,K=abc", MaildirName{1700000000, 42, 7, {}, {}, "abc"}},
        {"1700000000.M42P314Q7.box,K=abc:2,FS", MaildirName{1700000000, 42, 7, {}, {}, "abc"}},
        {"1700000000.M42P314Q7.box,S=10,K=abc,W=12:2,", MaildirName{1700000000, 42, 7, 10, 12, "abc"}},
        {"1700000000.M42P314Q7.box,S=1x,W=:2,", MaildirName{1700000000, 42, 7, {}, {}, ""}},
        {"1700000000.M42P314Q7.odd\\054K=no", MaildirName{1700000000, 42, 7, {}, {}, ""}},
        {"1700000000.R123456.host", MaildirName{1700000000, 0, 0, {}, {}, ""}},
        {"1700000000.12345_1.host.example.org", MaildirName{1700000000, 0, 0, {}, {}, ""}},
        {"1700000000.M1P1Q1.host,K=bad key", MaildirName{1700000000, 1, 1, {}, {}, ""}},
        {"", std::nullopt},
        {".hidden", std::nullopt},
        {"notes.txt", std::nullopt},
        {"1700000000", std::nullopt},
        {"1700000000.unique", std::nullopt},
        {"1700000000..host", std::nullopt},
        {"1700000000.unique.", std::nullopt},
        {"1700000000.M1P1.host\n", std::nullopt},
        {"dovecot-uidlist", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto parsed = ParseMaildirName(c.file);
        ASSERT_EQ(parsed.has_value(), c.parsed.has_value());
        if (!parsed) continue;
        EXPECT_EQ(parsed->seconds, c.parsed->seconds);
        EXPECT_EQ(parsed->microseconds, c.parsed->microseconds);
        EXPECT_EQ(parsed->counter, c.parsed->counter);
        EXPECT_EQ(parsed->size, c.parsed->size);
        EXPECT_EQ(parsed->wireSize, c.parsed->wireSize);
        EXPECT_EQ(parsed->key, c.parsed->key);
    }
}

TEST(MaildirName, OnlyPlainShortKeysAreAccepted) {
    EXPECT_TRUE(IsMaildirKey("abc-DEF_019"));
    EXPECT_TRUE(IsMaildirKey(std::string(128, 'a')));
    for (const std::string& bad : std::vector<std::string>{"", "a b", "a,b", "a:b", "a/b", "a.b", "ü", std::string(129, 'a')}) {
        EXPECT_FALSE(IsMaildirKey(bad)) << bad;
    }
}

}  // namespace
