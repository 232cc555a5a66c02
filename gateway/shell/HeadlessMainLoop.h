#pragma once

#include "MainLoop.h"

#include <functional>

// The main loop without a display. SIGINT and SIGTERM are the exit command; the caller
// must have blocked both in every thread (BlockExitSignals) before starting threads.
class HeadlessMainLoop : public MainLoop {
public:
    explicit HeadlessMainLoop(std::function<void()> exitCommand);
    ~HeadlessMainLoop() override;
    HeadlessMainLoop(const HeadlessMainLoop&) = delete;
    HeadlessMainLoop& operator=(const HeadlessMainLoop&) = delete;

    int Run() override;
    void PostClose() override;

    // Blocks SIGINT and SIGTERM in the calling thread (and the threads it starts later)
    // so they reach the loop, and ignores SIGPIPE for the whole process.
    static void BlockExitSignals();

private:
    std::function<void()> exitCommand_;
    int closeFd_ = -1;
};
