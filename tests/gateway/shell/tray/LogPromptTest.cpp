#include "Log.h"
#include "TrayTestSupport.h"

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

unsigned long long MaskField(const std::string& status, const std::string& field) {
    size_t at = status.find(field + ":\t");
    if (at == std::string::npos) return ~0ull;
    return std::strtoull(status.c_str() + at + field.size() + 2, nullptr, 16);
}

unsigned long long Bit(int signal) { return 1ull << (signal - 1); }

// Yes on the prompt after QUIT opens log.txt with the desktop's handler. The viewer
// it starts must be an ordinary process, not one with the gateway's exit signals
// blocked and broken pipes ignored.
TEST(LogPrompt, HandlerStartsWithTheExitSignalsAndBrokenPipesBackToDefault) {
    TempDir dir("quillo-tray");
    std::filesystem::create_directories(dir.File("bin"));
    dir.Write("bin/xdg-open",
              "#!/bin/sh\nexec grep -E '^Sig(Blk|Ign)' /proc/self/status > '" + dir.File("mask.txt") +
                  "'\n");
    chmod(dir.File("bin/xdg-open").c_str(), 0755);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir.File("bin") + ":" + oldPath).c_str(), 1);
    std::string oldDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", ":99", 1);

    // As in the gateway's threads.
    std::thread server([&dir] {
        sigset_t exitSignals;
        sigemptyset(&exitSignals);
        sigaddset(&exitSignals, SIGINT);
        sigaddset(&exitSignals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &exitSignals, nullptr);
        auto old = signal(SIGPIPE, SIG_IGN);
        OpenLogFile(dir.File("log.txt"));
        signal(SIGPIPE, old);
    });
    server.join();

    setenv("PATH", oldPath.c_str(), 1);
    if (oldDisplay.empty()) unsetenv("DISPLAY");
    else setenv("DISPLAY", oldDisplay.c_str(), 1);
    std::string status;
    for (int i = 0; i < 300 && status.find("SigIgn") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        status = dir.Read("mask.txt");
    }
    ASSERT_NE(status.find("SigIgn"), std::string::npos) << status;
    EXPECT_EQ(MaskField(status, "SigBlk") & (Bit(SIGINT) | Bit(SIGTERM)), 0u) << status;
    EXPECT_EQ(MaskField(status, "SigIgn") & Bit(SIGPIPE), 0u) << status;
}

}  // namespace
