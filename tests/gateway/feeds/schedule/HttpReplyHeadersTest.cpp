#include "HttpReplyHeaders.h"

#include "FetchState.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {
FetchState::Time At(const char* text) { return ParseFetchTime(text).value(); }
}  // namespace

TEST(HttpReplyHeadersTest, HttpDatesReadInAllThreeFormsAndNothingElse) {
    const struct {
        const char* text;
        const char* expected;  // nullptr: not a date
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", "1994-11-06T08:49:37Z"},
        {"  Thu, 01 Dec 2044 16:00:00 GMT ", "2044-12-01T16:00:00Z"},
        {"Sunday, 06-Nov-94 08:49:37 GMT", "1994-11-06T08:49:37Z"},
        {"Tuesday, 08-Dec-26 08:49:37 GMT", "2026-12-08T08:49:37Z"},
        {"Sun Nov  6 08:49:37 1994", "1994-11-06T08:49:37Z"},
        {"Sun, 31 Feb 1994 08:49:37 GMT", nullptr},
        {"Sun, 06 Nov 1994 24:00:00 GMT", nullptr},
        {"Sun, 06 Nov 1994 08:49:37 CET", nullptr},
        {"1994-11-06T08:49:37Z", nullptr},
        {"", nullptr},
        {"0", nullptr},
    };
    for (const auto& c : cases) {
        const auto date = ParseHttpDate(c.text);
        if (c.expected) {
            EXPECT_EQ(date, At(c.expected)) << c.text;
        } else {
            EXPECT_FALSE(date) << c.text;
        }
    }
}

TEST(HttpReplyHeadersTest, RetryAfterIsSecondsOrADateFromNow) {
    const auto now = At("2026-12-09T10:00:00Z");
    const struct {
        const char* text;
        std::optional<seconds> expected;
    } cases[] = {
        {"120", seconds(120)},
        {" 0 ", seconds(0)},
        {"Wed, 09 Dec 2026 10:05:00 GMT", minutes(5)},
        {"Wed, 09 Dec 2026 09:00:00 GMT", seconds(0)},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"soon", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseRetryAfter(c.text, now), c.expected) << c.text;
}

TEST(HttpReplyHeadersTest, FreshnessIsMaxAgeElseExpiresAgainstTheReplysDate) {
    const auto now = At("2026-12-09T10:00:00Z");
    const struct {
        const char* cacheControl;
        const char* expires;
        const char* date;
        std::optional<seconds> expected;
    } cases[] = {
        {"", "", "", std::nullopt},
        {"public, max-age=3600", "", "", seconds(3600)},
        {"Max-Age=\"600\", must-revalidate", "", "", seconds(600)},
        {"max-age=600", "Wed, 09 Dec 2026 12:00:00 GMT", "", seconds(600)},
        {"", "Wed, 09 Dec 2026 12:00:00 GMT", "", hours(2)},
        // The server's own clock: Expires counts from its Date.
        {"", "Wed, 09 Dec 2026 12:00:00 GMT", "Wed, 09 Dec 2026 11:30:00 GMT", minutes(30)},
        {"", "0", "", seconds(0)},
        {"", "Wed, 09 Dec 2026 09:00:00 GMT", "", seconds(0)},
        {"no-cache", "", "", seconds(0)},
        {"max-age=3600, no-store", "", "", seconds(0)},
        {"max-age=abc", "", "", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FreshnessLifetime(c.cacheControl, c.expires, c.date, now), c.expected)
            << c.cacheControl << " | " << c.expires << " | " << c.date;
    }
}
