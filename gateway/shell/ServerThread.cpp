#include "ServerThread.h"

#include "GatewayContext.h"
#include "MainLoop.h"
#include "Pop3Server.h"
#include "RefreshWorker.h"
#include "RssManager.h"

int RunServerThread(GatewayContext& context, Pop3Server& server, MainLoop& loop,
                    const std::function<void()>& showTrayIcon, FeedTransferLimits limits) {
    RssManager manager(context, std::move(limits));
    // Serving on settings other than the user's would look like a working gateway.
    if (!manager.LoadSettings()) {
        loop.PostClose();
        return 1;
    }
    if (showTrayIcon && !manager.GetSettings().disableTrayIcon) showTrayIcon();
    if (!server.Listen(manager.GetSettings())) {
        loop.PostClose();
        return 1;
    }
    // Made once the port is open: it reads every feed's store and, with a refresh
    // interval, starts downloading at once.
    RefreshWorker worker(manager);
    server.Run(worker);
    return 0;
}
