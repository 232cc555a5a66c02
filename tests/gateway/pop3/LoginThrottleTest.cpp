#include "LoginThrottle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = LoginThrottle::Clock;

const Clock::time_point t0 = Clock::time_point() + 1000h;

TEST(LoginThrottle, FailuresFromOneAddressAreAnsweredOneAfterAnotherEverLater) {
    LoginThrottle throttle;
    // Five guesses at the same moment, on as many connections: each answer waits for the
    // one before it, and the delays double up to eight seconds.
    const Clock::time_point expected[] = {t0 + 1s, t0 + 3s, t0 + 7s, t0 + 15s, t0 + 23s, t0 + 31s};
    for (const auto answer : expected) EXPECT_EQ(throttle.Checked("192.0.2.7", false, t0), answer);
    EXPECT_EQ(throttle.Failures("192.0.2.7"), 6);
    // A guess that comes after the queue has drained waits its own delay from then.
    EXPECT_EQ(throttle.Checked("192.0.2.7", false, t0 + 60s), t0 + 68s);
}

TEST(LoginThrottle, ARightPasswordAfterFailuresWaitsItsTurnThenClearsTheAddress) {
    LoginThrottle throttle;
    throttle.Checked("192.0.2.7", false, t0);
    throttle.Checked("192.0.2.7", false, t0);
    // Not sooner than a wrong one would be answered: waiting tells nothing.
    EXPECT_EQ(throttle.Checked("192.0.2.7", true, t0 + 100ms), t0 + 3s);
    EXPECT_EQ(throttle.Failures("192.0.2.7"), 0);
    EXPECT_EQ(throttle.Checked("192.0.2.7", false, t0 + 4s), t0 + 5s);
}

TEST(LoginThrottle, OtherAddressesAreNeverHeld) {
    LoginThrottle throttle;
    for (int i = 0; i < 10; ++i) throttle.Checked("192.0.2.7", false, t0);
    EXPECT_EQ(throttle.Checked("192.0.2.8", true, t0), t0);
    EXPECT_EQ(throttle.Checked("192.0.2.9", false, t0), t0 + 1s);
    EXPECT_EQ(throttle.Checked("127.0.0.1", true, t0), t0);
}

TEST(LoginThrottle, AnAddressQuietLongEnoughIsForgotten) {
    LoginThrottle throttle({.first = 1s, .longest = 8s, .forgetAfter = 10min});
    for (int i = 0; i < 4; ++i) throttle.Checked("192.0.2.7", false, t0);  // last answer at t0 + 15 s
    // Ten minutes after the last answer it is still remembered...
    const Clock::time_point last = t0 + 15s + 10min + 8s;
    EXPECT_EQ(throttle.Checked("192.0.2.7", false, t0 + 15s + 10min), last);
    // ...a moment later no longer.
    EXPECT_EQ(throttle.Checked("192.0.2.7", false, last + 10min + 1ms), last + 10min + 1ms + 1s);
    EXPECT_EQ(throttle.Failures("192.0.2.7"), 1);
}

TEST(LoginThrottle, ManyAddressesLetTheQuietestGoFirst) {
    LoginThrottle throttle;
    throttle.Checked("198.51.100.1", false, t0);
    for (int i = 0; i < 5000; ++i) throttle.Checked("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256), false, t0 + 1h);
    EXPECT_EQ(throttle.Failures("198.51.100.1"), 0);
    EXPECT_EQ(throttle.Failures("10.0.19.135"), 1);  // the last one
}

}  // namespace
