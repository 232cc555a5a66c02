#pragma once

#include "RssHandler.h"

#include <string>
#include <vector>

// The gateway's feed manager: settings, the handlers of the current refresh and the
// mailbox over their pending messages.
class RssManager {
public:
    RssManager();
    ~RssManager();

private:
    std::vector<RssHandlerPointer> handlers_;
};
