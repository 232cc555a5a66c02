#include "HeadlessMainLoop.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(HeadlessMainLoop, PostCloseFromAnotherThreadEndsRunWithoutTheExitCommand) {
    HeadlessMainLoop::BlockExitSignals();
    std::atomic<int> exitCommands{0};
    HeadlessMainLoop loop([&] { ++exitCommands; });
    std::thread closer([&loop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        loop.PostClose();
    });
    EXPECT_EQ(loop.Run(), 0);
    closer.join();
    EXPECT_EQ(exitCommands, 0);
}

TEST(HeadlessMainLoop, TerminationSignalsAreTheExitCommand) {
    HeadlessMainLoop::BlockExitSignals();
    for (int sig : {SIGTERM, SIGINT}) {
        std::atomic<int> exitCommands{0};
        HeadlessMainLoop loop([&] { ++exitCommands; });
        // Blocked, the signal waits for the loop instead of killing the process.
        ASSERT_EQ(kill(getpid(), sig), 0);
        EXPECT_EQ(loop.Run(), 0);
        EXPECT_EQ(exitCommands, 1) << sig;
    }
}

TEST(HeadlessMainLoop, BrokenPipeDoesNotKillTheProcess) {
    HeadlessMainLoop::BlockExitSignals();
    ASSERT_EQ(raise(SIGPIPE), 0);
    SUCCEED();
}

}  // namespace
