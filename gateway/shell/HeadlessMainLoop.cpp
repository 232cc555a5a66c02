#include "HeadlessMainLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {
sigset_t ExitSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

HeadlessMainLoop::HeadlessMainLoop(std::function<void()> exitCommand)
    : exitCommand_(std::move(exitCommand)) {
    closeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

HeadlessMainLoop::~HeadlessMainLoop() {
    if (closeFd_ >= 0) close(closeFd_);
}

void HeadlessMainLoop::BlockExitSignals() {
    signal(SIGPIPE, SIG_IGN);
    sigset_t set = ExitSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void HeadlessMainLoop::PostClose() {
    uint64_t one = 1;
    if (closeFd_ >= 0) (void)!write(closeFd_, &one, sizeof one);
}

int HeadlessMainLoop::Run() {
    sigset_t set = ExitSignals();
    int signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    while (true) {
        pollfd fds[2] = {{closeFd_, POLLIN, 0}, {signalFd, POLLIN, 0}};
        int ready = poll(fds, signalFd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (fds[0].revents & POLLIN) break;
        if (signalFd >= 0 && (fds[1].revents & POLLIN)) {
            signalfd_siginfo info{};
            (void)!read(signalFd, &info, sizeof info);
            if (exitCommand_) exitCommand_();
            break;
        }
    }
    if (signalFd >= 0) close(signalFd);
    return 0;
}
