#pragma once

#include <string>
#include <vector>

// The feed URLs one feed-list file gives, exactly as written (never trimmed, never
// de-duplicated), in document order.
struct FeedListResult {
    enum class Status { Missing, Read, Unreadable, WrongRoot };
    Status status = Status::Missing;
    std::string error;  // why an Unreadable or WrongRoot file gave no URLs
    std::vector<std::string> urls;
    // Per URL, the titles of the folder outlines above it, outermost first (empty for
    // Quillo.xml's list and for feeds at the top).
    std::vector<std::vector<std::string>> folders;
};

// Quillo.xml: the text of every feed element of every feed-list element below the
// quillo root. A feed element without a child node names no feed; one whose first
// child is an element names the feed "".
FeedListResult ReadSettingsFeedList(const std::string& path);

// feedlist.xml: the xmlUrl of every outline below opml/body, at any depth, parents
// before their children. An outline without xmlUrl is only a folder; its children
// still count, and an outline with both is a feed and a folder.
FeedListResult ReadOpmlFeedList(const std::string& path);
