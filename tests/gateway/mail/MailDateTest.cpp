#include "MailDate.h"

#include "MailData.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct DateCase {
    const char* value;
    const char* expected;
};

// A moment before any feed date below, so a date that is not read shows.
constexpr std::time_t kFirstSeen = 86400 * 365;  // 1971-01-01T00:00:00Z

TEST(MailDate, W3cValuesBecomeRfc5322DatesInTheirOwnOffset) {
    const DateCase cases[] = {
        {"2026-12-09T07:00:00Z", "Wed, 09 Dec 2026 07:00:00 +0000"},
        {"2026-12-09T16:00:00+09:00", "Wed, 09 Dec 2026 16:00:00 +0900"},
        {"2026-12-09T10:00:00-05:00", "Wed, 09 Dec 2026 10:00:00 -0500"},
        {"2026-12-08T23:30:00+05:30", "Tue, 08 Dec 2026 23:30:00 +0530"},
        // The offset is kept, never converted: the local day stays the item's day.
        {"2026-12-31T23:30:00-05:00", "Thu, 31 Dec 2026 23:30:00 -0500"},
        {"2005-06-01T12:34:56.25+09:00", "Wed, 01 Jun 2005 12:34:56 +0900"},
        {"2005-06-01T12:34+09:00", "Wed, 01 Jun 2005 12:34:00 +0900"},
        {"2005-06-01T12:34:56+0900", "Wed, 01 Jun 2005 12:34:56 +0900"},
        {"2005-12-31T23:59:59+09", "Sat, 31 Dec 2005 23:59:59 +0900"},
        {"2005-06-01t03:04:05z", "Wed, 01 Jun 2005 03:04:05 +0000"},
        {"2005-06-01 03:04:05Z", "Wed, 01 Jun 2005 03:04:05 +0000"},
        {" 2005-06-01T03:04:05 +01:00\n", "Wed, 01 Jun 2005 03:04:05 +0100"},
        {"2005-06-01T03:04:05", "Wed, 01 Jun 2005 03:04:05 +0000"},
        {"2005-06-01", "Wed, 01 Jun 2005 00:00:00 +0000"},
        {"2024-02-29T12:00:00Z", "Thu, 29 Feb 2024 12:00:00 +0000"},
        {"2016-12-31T23:59:60Z", "Sat, 31 Dec 2016 23:59:59 +0000"},
        // An RFC 822 date where a W3C one belongs is read all the same.
        {"Wed, 09 Dec 2026 16:00:00 +0900", "Wed, 09 Dec 2026 16:00:00 +0900"},
    };
    for (const DateCase& c : cases) {
        MailData mail(false, MailCharset::Auto, kFirstSeen);
        mail.ParseW3cDate(c.value);
        EXPECT_EQ(mail.GetMailDate(), c.expected) << c.value;
        EXPECT_EQ(mail.GetDate(), c.expected) << c.value;
    }
}

TEST(MailDate, PubDatesAreReadAsFeedsWriteThem) {
    const DateCase cases[] = {
        {"Wed, 01 Jun 2005 12:34:56 GMT", "Wed, 01 Jun 2005 12:34:56 +0000"},
        {"Wed, 09 Dec 2026 16:00:00 +0900", "Wed, 09 Dec 2026 16:00:00 +0900"},
        // The day name is the date's, whatever the feed wrote.
        {"Mon, 09 Dec 2026 07:00:00 GMT", "Wed, 09 Dec 2026 07:00:00 +0000"},
        {"09 Dec 2026 07:00:00 UT", "Wed, 09 Dec 2026 07:00:00 +0000"},
        {"Tue, 8 Dec 26 22:00 EST", "Tue, 08 Dec 2026 22:00:00 -0500"},
        {"Thu, 09 Dec 99 22:00:00 PDT", "Thu, 09 Dec 1999 22:00:00 -0700"},
        {"Wednesday, 09 December 2026 16:00:00 JST", "Wed, 09 Dec 2026 16:00:00 +0900"},
        {"wed, 09 dec 2026 16:00:00 +09:00", "Wed, 09 Dec 2026 16:00:00 +0900"},
        {"Wed,09 Dec 2026 16:00:00 GMT+0900", "Wed, 09 Dec 2026 16:00:00 +0900"},
        {"Wed, 09 Dec 2026 16:00:00 +0900 (JST)", "Wed, 09 Dec 2026 16:00:00 +0900"},
        {"Wed, 09 Dec 2026 16:00:00 -0330", "Wed, 09 Dec 2026 16:00:00 -0330"},
        {"Wed, 09 Dec 2026 16:00:00 CEST", "Wed, 09 Dec 2026 16:00:00 +0200"},
        // Without a zone, or with one nobody knows, the time is read as UTC.
        {"Wed, 09 Dec 2026 16:00:00", "Wed, 09 Dec 2026 16:00:00 +0000"},
        {"Wed, 09 Dec 2026 16:00:00 XYZT", "Wed, 09 Dec 2026 16:00:00 +0000"},
        {"Wed Dec  9 16:00:00 2026", "Wed, 09 Dec 2026 16:00:00 +0000"},
        {"Dec 09 2026 16:00:00 +0900", "Wed, 09 Dec 2026 16:00:00 +0900"},
        {"2026-12-09T16:00:00+09:00", "Wed, 09 Dec 2026 16:00:00 +0900"},
    };
    for (const DateCase& c : cases) {
        MailData mail(false, MailCharset::Auto, kFirstSeen);
        mail.SetDate(c.value);
        EXPECT_EQ(mail.GetMailDate(), c.expected) << c.value;
        EXPECT_EQ(mail.GetDate(), c.expected) << c.value;
        EXPECT_FALSE(mail.HasTime()) << c.value;
    }
}

TEST(MailDate, WhatIsNoDateLeavesTheDateItHad) {
    const char* const notDates[] = {
        "", "yesterday", "2005-13-01T00:00:00Z", "2005-02-30", "2005-06-01T25:00:00Z",
        "2005-06-01T12:00:00+25:00", "2005-06-01T12:00:00 JST", "2005-06", "0999-01-01",
        "2005/02/03 10:00", "Wed, 32 Dec 2026 10:00:00 GMT", "Wed, 09 Foo 2026 10:00:00 GMT",
        "Wed, 09 Dec 2026", "Wed, 09 Dec 2026 1000 GMT", "Wed, 09 Dec 2026 10:0:00 GMT",
        "\x01\x02 09 Dec", "Wed, 09 Dec 12345 10:00:00 GMT",
    };
    const std::string firstSeen = MailData(false, MailCharset::Auto, kFirstSeen).GetMailDate();
    for (const std::string value : notDates) {
        for (bool w3cElement : {true, false}) {
            MailData mail(false, MailCharset::Auto, kFirstSeen);
            MailData later(false, MailCharset::Auto, kFirstSeen + 3600);
            for (MailData* m : {&mail, &later}) {
                if (w3cElement) m->ParseW3cDate(value);
                else m->SetDate(value);
            }
            // The Date is the time first seen; the record keeps the text as written, so
            // that it is the same at the next check.
            EXPECT_EQ(mail.GetMailDate(), firstSeen) << value;
            EXPECT_EQ(mail.GetDate(), value.empty() ? firstSeen : value) << value;
            if (!value.empty()) {
                EXPECT_EQ(later.GetDate(), mail.GetDate()) << value;
            }
        }
    }
    // A later date that cannot be read does not undo an earlier one that could.
    MailData mail(false, MailCharset::Auto, kFirstSeen);
    mail.ParseW3cDate("2026-12-09T07:00:00Z");
    mail.SetDate("yesterday");
    EXPECT_EQ(mail.GetMailDate(), "Wed, 09 Dec 2026 07:00:00 +0000");
    EXPECT_EQ(mail.GetDate(), "Wed, 09 Dec 2026 07:00:00 +0000");
}

TEST(MailDate, AnInstantIsWrittenInTheOffsetGiven) {
    EXPECT_EQ(FormatMailDate({0, 0}), "Thu, 01 Jan 1970 00:00:00 +0000");
    EXPECT_EQ(FormatMailDate({0, 9 * 60}), "Thu, 01 Jan 1970 09:00:00 +0900");
    EXPECT_EQ(FormatMailDate({0, -(5 * 60 + 30)}), "Wed, 31 Dec 1969 18:30:00 -0530");
    EXPECT_EQ(FormatMailDate({1796799600, 0}), "Wed, 09 Dec 2026 07:00:00 +0000");
    EXPECT_EQ(FormatMailDate({253402300799, 0}), "Fri, 31 Dec 9999 23:59:59 +0000");
}

TEST(MailDate, AnUndatedItemCarriesTheMomentFirstSeenInTheMachinesZone) {
    for (std::time_t firstSeen : {std::time_t{1796799600}, std::time_t{1719000000}, kFirstSeen}) {
        MailData mail(false, MailCharset::Auto, firstSeen);
        const auto instant = ParseRfc822Instant(mail.GetDate());
        ASSERT_TRUE(instant) << mail.GetDate();
        EXPECT_EQ(instant->utcSeconds, firstSeen) << mail.GetDate();
        EXPECT_EQ(instant->offsetMinutes, LocalOffsetMinutes(firstSeen)) << mail.GetDate();
        EXPECT_FALSE(mail.HasTime());
    }
}

TEST(MailDate, LegacyTextsAreTheOnesEarlierVersionsWrote) {
    struct LegacyCase {
        const char* value;
        const char* legacy;
        bool hasTime;
    };
    const LegacyCase cases[] = {
        {"2005-06-01T12:34:56+09:00", "01 Jun 2005 12:34:56 +0900", true},
        {"2005-06-01", "01 Jun 2005", false},
        {"2005-06-01T03:04:05Z", "01 Jun 2005 03:04:05Z", true},
        {"2005-06-01T03:04:05-05:00", "01 Jun 2005 03:04:05-05:00", true},
        {"2005-06-01T12:34:56.25+09:00", "01 Jun 2005 12:34:56.25 +0900", true},
        {"2005-06-01T12:34+09:00", "01 Jun 2005 12:34 +0900", true},
        {"2005-06-01T12:34:56+0900", "01 Jun 2005 12:34:56 +090", true},
        {"2005-12-31T23:59:59+09", "31 Dec 2005 23:59:59 +09", true},
        {"2005-01-09T00:00:00+", "09 Jan 2005 00:00:00 +", true},
        {"2005/02/03 10:00", "03 Feb 2005 10:00", true},
    };
    for (const LegacyCase& c : cases) {
        MailData mail(false, MailCharset::Auto, kFirstSeen);
        mail.ParseW3cDate(c.value);
        EXPECT_EQ(mail.GetLegacyDate(), c.legacy) << c.value;
        EXPECT_EQ(mail.HasTime(), c.hasTime) << c.value;
    }
    // Too short, or no month: the text stays.
    for (const char* value : {"2005-06", "2005-13-01T12:00:00+09:00", "2005-00-01", "2005-1a-01"}) {
        MailData mail(false, MailCharset::Auto, kFirstSeen);
        mail.SetDate("previous");
        mail.ParseW3cDate(value);
        EXPECT_EQ(mail.GetLegacyDate(), "previous") << value;
        EXPECT_FALSE(mail.HasTime()) << value;
    }
    // A pubDate verbatim; the clock with its fixed label.
    MailData pub(false, MailCharset::Auto, kFirstSeen);
    pub.SetDate("Tue, 8 Dec 26 22:00 EST");
    EXPECT_EQ(pub.GetLegacyDate(), "Tue, 8 Dec 26 22:00 EST");
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 3;
    local.tm_min = 16;
    local.tm_sec = 51;
    local.tm_isdst = -1;
    EXPECT_EQ(MailData(false, MailCharset::Auto, std::mktime(&local)).GetLegacyDate(), "07 Dec 2026 03:16:51 +0900");
}

TEST(MailDate, OnlyAW3cValueWithATimeSetsHasTimeAndItStays) {
    MailData mail(false, MailCharset::Auto, kFirstSeen);
    mail.ParseW3cDate("2005-06-01");
    EXPECT_FALSE(mail.HasTime());
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    EXPECT_FALSE(mail.HasTime());
    mail.ParseW3cDate("2005-06-01T01:02:03Z");
    EXPECT_TRUE(mail.HasTime());
    // Once set, has-time stays, even when a later element replaces the date.
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    mail.ParseW3cDate("2006-07-02");
    EXPECT_EQ(mail.GetDate(), "Sun, 02 Jul 2006 00:00:00 +0000");
    EXPECT_EQ(mail.GetLegacyDate(), "02 Jul 2006");
    EXPECT_TRUE(mail.HasTime());
}

}  // namespace
