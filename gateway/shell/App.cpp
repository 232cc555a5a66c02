#include "App.h"

#include "CommandLine.h"
#include "HeadlessMainLoop.h"
#include "Pop3Server.h"
#include "ProcessFlags.h"
#include "QtMainLoop.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

namespace {
// How long the end of the program waits for a server thread busy in a session.
constexpr auto kServerThreadWait = std::chrono::seconds(10);
}  // namespace

int RunQuillo(const std::string& commandLine) {
    if (HasOnceFlag(SplitCommandLine(commandLine))) g_once = true;

    HeadlessMainLoop::BlockExitSignals();
    Pop3Server* serverForExit = nullptr;
    auto exitCommand = [&serverForExit] {
        if (serverForExit) serverForExit->Stop();
    };
    // With a display the Qt loop stands for the message loop; without one, headless.
    std::unique_ptr<QtMainLoop> qtLoop = QtMainLoop::CreateIfDisplay(exitCommand);
    HeadlessMainLoop headlessLoop(exitCommand);
    MainLoop& loop = qtLoop ? static_cast<MainLoop&>(*qtLoop) : headlessLoop;
    Pop3Server server({[&loop] { loop.PostClose(); }, [&qtLoop](RssManager&) {
                           if (qtLoop) qtLoop->AddTrayIcon();
                       }});
    serverForExit = &server;

    // The server's result is read only after the future is ready, which orders the write.
    int serverCode = 0;
    std::promise<void> finished;
    auto serverDone = finished.get_future();
    std::thread serverThread([&server, &finished, &serverCode] {
        serverCode = server.Run();
        finished.set_value();
    });

    int code = loop.Run();
    // Every way out of the loop stops the server, so it leaves accept.
    server.Stop();
    if (serverDone.wait_for(kServerThreadWait) != std::future_status::ready) {
        // The thread is stuck (a refresh or a message box); the process ends without it.
        std::fflush(nullptr);
        _exit(code);
    }
    serverThread.join();
    // A failure of the server thread (settings, bind, TLS) ends the loop like a normal
    // close; its non-zero result is what the exit status must tell.
    return code != 0 ? code : serverCode;
}
