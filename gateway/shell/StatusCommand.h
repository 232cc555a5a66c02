#pragma once

#include "AppDirectory.h"
#include "FetchState.h"

#include <cstddef>
#include <map>
#include <string>

// `Quillo --status`: one line per feed of the feed list, from what the feed folders
// hold. It reads only: no folder is made, no lock or port taken, so it runs beside a
// running Quillo.

// What the status line of one feed shows.
struct FeedStatus {
    std::string url;
    FetchStateRead fetch;
    std::size_t waiting = 0;  // messages in its store, offered at the next session
};

// "Title <url>: last success ..., last status ..., N waiting, next due ..." and, for a
// feed in trouble, what the trouble is. No line break.
std::string FeedStatusLine(const FeedStatus& status);

// The folder name of data/ each URL's url.txt names, read without writing; a URL named
// by two folders keeps the first in name order.
std::map<std::string, std::string> FeedFolderOwners(const std::string& dataDir);

// The status of every feed of the layout's feed list (Quillo.xml's, then feedlist.xml's),
// written to out; 0, or 1 with the reason in error when the feed list cannot be read.
int PrintFeedStatus(const AppLayout& layout, std::string& out, std::string& error);
