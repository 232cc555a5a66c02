#pragma once

#include "FeedTransferLimits.h"

#include <functional>

class GatewayContext;
class MainLoop;
class Pop3Server;

// The body of the gateway's server thread, as RunQuillo starts it: reads Quillo.xml into
// the feed manager (RssManager), has the tray icon shown unless the settings disable it,
// lets the POP3 server open its ports, then makes the refresh worker on the manager's
// feeds and hands it to the server, which serves until it is stopped. showTrayIcon is
// null without a tray. The result is the exit status: 1 when the settings cannot be used
// or nothing can be served, the reason reported and the main loop closed; else 0.
int RunServerThread(GatewayContext& context, Pop3Server& server, MainLoop& loop,
                    const std::function<void()>& showTrayIcon, FeedTransferLimits limits = {});
