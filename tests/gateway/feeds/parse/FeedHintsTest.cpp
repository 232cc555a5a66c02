#include "FeedHints.h"
#include "FeedParser.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::chrono;

namespace {

constexpr char kSy[] = "xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\"";

std::string Rss2(const std::string& channel, const std::string& rootAttributes = "") {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" " + rootAttributes + "><channel><title>t</title>" + channel +
           "<item><title>i</title><ttl>5</ttl></item></channel></rss>";
}

FeedSchedulingHints HintsOf(const std::string& document) {
    const FeedParseResult result = ParseFeed(document, FeedSource{"http://a.test/feed", ""});
    EXPECT_TRUE(result.ok) << document;
    return result.feed.hints;
}

}  // namespace

TEST(FeedHintsTest, ScheduleHintsAreReadFromTheChannelOfEachFormat) {
    FeedSchedulingHints ttl;
    ttl.ttl = minutes(60);
    FeedSchedulingHints twiceAnHour;
    twiceAnHour.updatePeriod = minutes(30);
    FeedSchedulingHints daily;
    daily.updatePeriod = hours(24);
    FeedSchedulingHints skips;
    skips.skipHours = (1u << 0) | (1u << 1) | (1u << 23);
    skips.skipDays = (1u << 0) | (1u << 6);
    const struct {
        const char* what;
        std::string document;
        FeedSchedulingHints expected;
    } cases[] = {
        {"RSS 2.0 ttl", Rss2("<ttl> 60 </ttl>"), ttl},
        {"an item's ttl is no hint", Rss2(""), {}},
        {"RSS 2.0 with the syndication module",
         Rss2("<sy:updatePeriod>hourly</sy:updatePeriod><sy:updateFrequency>2</sy:updateFrequency>", kSy), twiceAnHour},
        {"RSS 1.0",
         std::string("<?xml version=\"1.0\"?><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                     "xmlns=\"http://purl.org/rss/1.0/\" ") + kSy +
             "><channel><title>t</title><sy:updatePeriod>daily</sy:updatePeriod></channel>"
             "<item><title>i</title><link>http://a.test/1</link></item></rdf:RDF>",
         daily},
        {"the usual prefix without its declaration", Rss2("<sy:updateFrequency>2</sy:updateFrequency><sy:updatePeriod>hourly</sy:updatePeriod>"),
         twiceAnHour},
        {"skipHours and skipDays, 24 for midnight",
         Rss2("<skipHours><hour>1</hour><hour>23</hour><hour>24</hour><hour>25</hour><hour>x</hour></skipHours>"
              "<skipDays><day>Saturday</day><day>sunday</day><day>Someday</day></skipDays>"),
         skips},
        {"values that do not read are no hints",
         Rss2("<ttl>soon</ttl><sy:updatePeriod>fortnightly</sy:updatePeriod>", kSy), {}},
        {"Atom with the syndication module",
         std::string("<feed xmlns=\"http://www.w3.org/2005/Atom\" ") + kSy +
             "><title>t</title><sy:updatePeriod>daily</sy:updatePeriod><entry><title>e</title><id>1</id></entry></feed>",
         daily},
    };
    for (const auto& c : cases) EXPECT_EQ(HintsOf(c.document), c.expected) << c.what;
}

TEST(FeedHintsTest, SyndicationPeriodsDivideThePeriodByTheFrequency) {
    const struct {
        const char* period;
        const char* frequency;
        std::optional<seconds> expected;
    } cases[] = {
        {"hourly", "", hours(1)},     {"daily", "", hours(24)},       {"", "", hours(24)},
        {"weekly", "7", hours(24)},   {"Daily", "4", hours(6)},       {"monthly", "1", hours(24 * 30)},
        {"yearly", "", hours(24 * 365)}, {"hourly", "0", std::nullopt}, {"hourly", "-2", std::nullopt},
        {"hourly", "1.5", std::nullopt}, {"often", "", std::nullopt},
        {"hourly", "99999", seconds(3600 / 99999)},  // less than a second: no period
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SyndicationPeriod(c.period, c.frequency),
                  c.expected && c.expected->count() > 0 ? c.expected : std::nullopt)
            << c.period << "/" << c.frequency;
    }
}
