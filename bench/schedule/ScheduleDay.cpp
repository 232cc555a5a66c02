// How many requests a list of 100 realistic feeds costs its servers in a day, under the
// feed schedule, against asking every feed at every refresh. The feeds, their hints and
// their servers are simulated with a clock of their own: a day runs in milliseconds.
//
//   build/bench/schedule_day            # refresh-interval 5, then mail checks
#include "FeedSchedule.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::chrono;
using Time = FetchState::Time;

struct SimulatedFeed {
    const char* kind;
    FeedSchedulingHints hints;
    std::optional<seconds> maxAge;
    seconds postEvery{0};  // 0: brings no new item
    int status = 200;      // what its server answers every time
    std::optional<seconds> retryAfter;
    std::vector<Time> posts;  // when its new items appear
    FetchState state;
    int requests = 0;
};

std::vector<SimulatedFeed> RealisticFeeds(Time start, Time end) {
    std::mt19937 random(26);
    std::vector<SimulatedFeed> feeds;
    auto add = [&](const char* kind, int count, auto configure) {
        for (int i = 0; i < count; ++i) {
            SimulatedFeed feed;
            feed.kind = kind;
            configure(feed, i);
            if (feed.postEvery.count() > 0) {
                // Posts at random moments, on average postEvery apart.
                std::exponential_distribution<double> gap(1.0 / static_cast<double>(feed.postEvery.count()));
                for (Time t = start; t < end;) {
                    t += seconds(static_cast<long long>(gap(random)) + 1);
                    feed.posts.push_back(t);
                }
            }
            feeds.push_back(std::move(feed));
        }
    };
    // News sites: busy, ttl 15 to 60 minutes.
    add("busy, ttl", 15, [](SimulatedFeed& f, int i) {
        f.hints.ttl = minutes(15 * (1 + i % 4));
        f.postEvery = minutes(20 + 5 * i);
    });
    // Blogs with the syndication module (WordPress: hourly, 1).
    add("blog, sy: hourly", 20, [](SimulatedFeed& f, int i) {
        f.hints.updatePeriod = hours(1);
        f.postEvery = hours(8 + 4 * i);
    });
    add("blog, sy: daily", 5, [](SimulatedFeed& f, int) {
        f.hints.updatePeriod = hours(24);
        f.postEvery = hours(30);
    });
    // Behind a CDN: Cache-Control max-age 5 to 30 minutes.
    add("CDN, max-age", 15, [](SimulatedFeed& f, int i) {
        f.maxAge = minutes(5 * (1 + i % 6));
        f.postEvery = hours(2 + i);
    });
    // An office feed that skips the night (skipHours 0-6).
    add("skipHours night", 5, [](SimulatedFeed& f, int) {
        for (int h = 0; h <= 6; ++h) f.hints.skipHours |= 1u << h;
        f.postEvery = hours(3);
    });
    // No hints at all: active ones and quiet ones (nothing new for weeks).
    add("plain, active", 15, [](SimulatedFeed& f, int i) { f.postEvery = hours(1 + i); });
    add("plain, quiet", 20, [](SimulatedFeed&, int) {});
    // Five failing: three 500s, a 429 with Retry-After: 3600, a 410.
    add("failing 500", 3, [](SimulatedFeed& f, int) { f.status = 500; });
    add("failing 429", 1, [](SimulatedFeed& f, int) {
        f.status = 429;
        f.retryAfter = hours(1);
    });
    add("gone 410", 1, [](SimulatedFeed& f, int) { f.status = 410; });
    return feeds;
}

// One request of the feed at `now`.
void Request(SimulatedFeed& feed, Time now, const ScheduleRules& rules) {
    ++feed.requests;
    FetchOutcome outcome;
    outcome.at = now;
    outcome.status = feed.status;
    if (feed.status == 200) {
        outcome.kind = FetchOutcome::Kind::Success;
        outcome.hints = feed.hints;
        outcome.freshFor = feed.maxAge;
        const Time since = feed.state.lastRequest.value_or(Time{});
        for (const Time post : feed.posts) outcome.newItems |= post > since && post <= now;
    } else {
        outcome.kind = feed.status == 410 ? FetchOutcome::Kind::Gone : FetchOutcome::Kind::Failure;
        outcome.retryAfter = feed.retryAfter;
        outcome.error = "HTTP " + std::to_string(feed.status);
    }
    ApplyOutcome(feed.state, outcome, rules, "http://feeds.test/");
}

// Runs the checks of [start, end) every `step`; returns the requests made in the last day.
std::vector<SimulatedFeed> SimulateDays(const ScheduleRules& rules, seconds step, int days) {
    const Time start = ParseFetchTime("2026-12-07T00:00:00Z").value();
    const Time end = start + hours(24 * days);
    std::vector<SimulatedFeed> feeds = RealisticFeeds(start - hours(24 * 21), end);
    // The quiet feeds last posted three weeks ago; the others are known since then too.
    for (SimulatedFeed& feed : feeds) feed.state.lastNewItem = start - hours(24 * 21);
    const Time lastDay = end - hours(24);
    for (Time now = start; now < end; now += step) {
        if (now == lastDay) {
            for (SimulatedFeed& feed : feeds) feed.requests = 0;
        }
        for (SimulatedFeed& feed : feeds) {
            if (IsDue(feed.state, now, rules)) Request(feed, now, rules);
        }
    }
    return feeds;
}

void Report(const char* title, const std::vector<SimulatedFeed>& feeds, long long before) {
    std::printf("%s\n", title);
    std::vector<std::pair<std::string, std::pair<int, int>>> kinds;
    long long total = 0;
    for (const SimulatedFeed& feed : feeds) {
        total += feed.requests;
        if (kinds.empty() || kinds.back().first != feed.kind) kinds.push_back({feed.kind, {0, 0}});
        kinds.back().second.first += 1;
        kinds.back().second.second += feed.requests;
    }
    for (const auto& [kind, counts] : kinds)
        std::printf("  %-18s %3d feeds %6d requests\n", kind.c_str(), counts.first, counts.second);
    std::printf("  total: %lld requests a day (every feed at every check: %lld), %.1f%%\n\n", total, before,
                100.0 * static_cast<double>(total) / static_cast<double>(before));
}

}  // namespace

int main() {
    const ScheduleRules background{minutes(5), minutes(0)};
    Report("refresh-interval 5 (background), the second simulated day:", SimulateDays(background, minutes(5), 2),
           100LL * 288);
    const ScheduleRules perCheck{minutes(0), minutes(0)};
    Report("no refresh-interval, a mail check every 5 minutes, min-feed-interval 0:",
           SimulateDays(perCheck, minutes(5), 2), 100LL * 288);
    const ScheduleRules spaced{minutes(0), minutes(15)};
    Report("no refresh-interval, a mail check every minute, min-feed-interval 15:",
           SimulateDays(spaced, minutes(1), 2), 100LL * 1440);
    return 0;
}
