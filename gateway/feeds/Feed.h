#pragma once

#include <memory>
#include <string>

// One feed of the current refresh: its URL and the title the parser found.
struct Feed {
    std::string url;
    std::string title;  // sender of every message of the feed; empty until parsed
};

using FeedPointer = std::shared_ptr<Feed>;
