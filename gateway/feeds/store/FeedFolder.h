#pragma once

#include <string>
#include <string_view>
#include <vector>

// The feed folder name: the URL after its first "://" (the whole URL without one) and
// without a user name and password, with every "/" and "?" made "-". URLs that differ
// only in the scheme get the same name. A name that could address another directory or
// that no file system takes ("", ".", "..", longer than 255 bytes) becomes a safe name:
// its first 200 bytes, "-" and a hex hash of the whole name.
std::string GetFeedFolderName(std::string_view url);
// The name earlier versions gave, user name and password included.
std::string LegacyFeedFolderName(std::string_view url);

// The file in a feed folder that names the feed URL the folder belongs to.
inline constexpr char kFeedUrlFile[] = "url.txt";

// The folder of data/ that holds Quillo's own messages (the feed report): no feed is
// ever given this name.
inline constexpr char kFeedReportFolderName[] = "quillo-feed-report";

// The folder names of the feeds of one list (data/ under the state directory): one
// folder per URL, and the same URL always gets the same one. A URL keeps the folder
// that names it as its own; a folder of an earlier version that names no URL goes to
// the listed URL an earlier version gave it to (its user name and password included),
// else to the first URL that gets its name. When a URL's name is taken by another
// listed URL, it gets a name of its own: the name, "-" and a short hash. A folder that
// names a URL no longer listed goes to the next URL that gets its name, without the
// validators of the old feed (latest.xml, lastmodified.txt, etag.txt). A URL without a
// folder of its own takes the folder whose fetch state says its feed moved to that URL,
// when the feed the folder names is no longer listed. Each folder
// given out is made and names its URL from then on. urls[i] gets names[i].
std::vector<std::string> AssignFeedFolders(const std::string& dataDir, const std::vector<std::string>& urls);

// The state directory (data/ and log.txt) + "/data/" + folder name + "/".
std::string GetFeedFolderPath(std::string_view stateDir, std::string_view url);

// Creates every missing directory of the path; false when it still does not exist.
bool MakeSureDirectoryPathExists(const std::string& path);

// 64-bit FNV-1a with a final avalanche; seed picks one of a family of hashes.
unsigned long long HashText(std::string_view text, unsigned long long seed = 0);
