#include "MailDate.h"

#include "MailData.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

struct W3cCase {
    const char* value;
    const char* expected;
    bool hasTime;
};

TEST(MailDate, RendersW3cDtfValuesAsMailDateText) {
    const W3cCase cases[] = {
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
    for (const W3cCase& c : cases) {
        MailData mail(false);
        mail.ParseW3cDate(c.value);
        EXPECT_EQ(mail.GetDate(), c.expected) << c.value;
        EXPECT_EQ(mail.HasTime(), c.hasTime) << c.value;
    }
}

TEST(MailDate, ValueShorterThanTenCharactersKeepsThePreviousDate) {
    MailData mail(false);
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    mail.ParseW3cDate("2005-06");
    EXPECT_EQ(mail.GetDate(), "Wed, 01 Jun 2005 12:34:56 GMT");
    EXPECT_FALSE(mail.HasTime());
}

TEST(MailDate, MonthOutsideTheTwelveKeepsThePreviousDate) {
    for (const char* value : {"2005-13-01T12:00:00+09:00", "2005-00-01", "2005-1a-01",
                              "2005- 6-01T01:02:03Z"}) {
        MailData mail(false);
        mail.SetDate("previous");
        mail.ParseW3cDate(value);
        EXPECT_EQ(mail.GetDate(), "previous") << value;
        EXPECT_FALSE(mail.HasTime()) << value;
    }
}

TEST(MailDate, ExactlyTenCharactersNeverSetHasTime) {
    MailData mail(false);
    mail.ParseW3cDate("2005-06-01");
    EXPECT_FALSE(mail.HasTime());
    mail.ParseW3cDate("2005-06-01T01:02:03Z");
    EXPECT_TRUE(mail.HasTime());
    // Once set, has-time stays, even when a pubDate replaces the text.
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    mail.ParseW3cDate("2006-07-02");
    EXPECT_EQ(mail.GetDate(), "02 Jul 2006");
    EXPECT_TRUE(mail.HasTime());
}

TEST(MailDate, PubDateIsCarriedVerbatim) {
    MailData mail(false);
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    EXPECT_EQ(mail.GetDate(), "Wed, 01 Jun 2005 12:34:56 GMT");
    EXPECT_FALSE(mail.HasTime());
}

TEST(MailDate, ClockDatePrintsLocalTimeWithTheFixedZoneLabel) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 3;
    local.tm_min = 16;
    local.tm_sec = 51;
    local.tm_isdst = -1;
    EXPECT_EQ(FormatClockDate(std::mktime(&local)), "07 Dec 2026 03:16:51 +0900");
}

TEST(MailDate, NewMessageCarriesTheTimeOfItsMaking) {
    const std::time_t before = std::time(nullptr);
    MailData mail(false);
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(mail.GetDate() == FormatClockDate(before) || mail.GetDate() == FormatClockDate(after));
    // "dd Mon yyyy hh:mm:ss +0900": digits (d), letters (a) and fixed characters.
    const std::string shape = "dd aaa dddd dd:dd:dd +0900";
    const std::string date = mail.GetDate();
    ASSERT_EQ(date.size(), shape.size()) << date;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd') {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(date[i]))) << date;
        } else if (shape[i] == 'a') {
            EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(date[i]))) << date;
        } else {
            EXPECT_EQ(date[i], shape[i]) << date;
        }
    }
    EXPECT_FALSE(mail.HasTime());
}

TEST(MailDate, MonthNamesFollowTheTwoDigitMonth) {
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m) {
        char digits[3] = {static_cast<char>('0' + m / 10), static_cast<char>('0' + m % 10), 0};
        EXPECT_EQ(MonthAbbreviation(digits), names[m - 1]);
    }
    EXPECT_EQ(MonthAbbreviation("6"), "");
    EXPECT_EQ(MonthAbbreviation("19"), "");
}

}  // namespace
