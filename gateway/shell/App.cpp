#include "App.h"

#include "CommandLine.h"
#include "GatewayContext.h"
#include "HeadlessMainLoop.h"
#include "Pop3Server.h"
#include "QtMainLoop.h"
#include "ServerThread.h"

#include <functional>
#include <memory>
#include <thread>

int RunQuillo(const AppLayout& layout, const std::string& commandLine) {
    GatewayContext context(layout, HasOnceFlag(SplitCommandLine(commandLine)));

    HeadlessMainLoop::BlockExitSignals();
    Pop3Server* serverForExit = nullptr;
    auto exitCommand = [&serverForExit] {
        if (serverForExit) serverForExit->Stop();
    };
    // With a display the Qt loop stands for the message loop; without one, headless.
    std::unique_ptr<QtMainLoop> qtLoop = QtMainLoop::CreateIfDisplay(context, exitCommand);
    HeadlessMainLoop headlessLoop(exitCommand);
    MainLoop& loop = qtLoop ? static_cast<MainLoop&>(*qtLoop) : headlessLoop;
    Pop3Server server(context, {[&loop] { loop.PostClose(); }});
    serverForExit = &server;
    std::function<void()> showTrayIcon;
    if (qtLoop) showTrayIcon = [&qtLoop] { qtLoop->AddTrayIcon(); };

    // The server's result is read only after the join, which orders the write.
    int serverCode = 0;
    std::thread serverThread([&] { serverCode = RunServerThread(context, server, loop, showTrayIcon); });

    int code = loop.Run();
    // Every way out of the loop stops the server: it leaves accept, the refresh aborts
    // its transfers and every session wakes, so the join is short.
    server.Stop();
    serverThread.join();
    // A failure of the server thread (settings, bind, TLS) ends the loop like a normal
    // close; its non-zero result is what the exit status must tell.
    return code != 0 ? code : serverCode;
}
