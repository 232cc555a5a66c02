#pragma once

#include <string>

// The editor's settings, as kept in Corvane.ini (see CorvanePaths):
//   [General]   Top, Left, Height, Width
//   [Confirm]   OnClose, OnUpdateFromRss, OnDelete (1 or 0)
//   [Bulkfeeds] ApiKey, Host (discovery and search service host, scheme http)
// Sections and keys the editor does not know are kept when the file is saved.
struct CorvaneSettings {
    int top = 80;
    int left = 80;
    int height = 444;
    int width = 320;
    bool confirmOnClose = true;
    bool confirmOnUpdateFromRss = true;
    bool confirmOnDelete = true;
    std::string apiKey;
    std::string bulkfeedsHost = "bulkfeeds.net";
};

inline constexpr const char* kDefaultBulkfeedsHost = "bulkfeeds.net";

// Where the editor keeps its files, resolved once at start and passed in.
struct CorvanePaths {
    // Corvane.ini: beside the executable when that directory holds a Corvane.ini or
    // a Quillo.xml (a portable copy), otherwise $XDG_CONFIG_HOME/corvane/Corvane.ini
    // (default ~/.config/corvane/).
    std::string settingsFile;
    // The feed list an installed copy opens when started without files: Quillo's
    // $XDG_CONFIG_HOME/quillo/feedlist.xml, when it exists. Empty for a portable copy.
    std::string defaultFeedList;
};

// The paths for this process: its executable's directory and the XDG_CONFIG_HOME and
// HOME of its environment.
CorvanePaths ResolveCorvanePaths();
// The two choices of CorvanePaths for a given executable directory and configuration folder.
std::string ChooseSettingsFilePath(const std::string& executableDirectory, const std::string& configHome);
std::string ChooseDefaultFeedListPath(const std::string& executableDirectory, const std::string& configHome);
// $XDG_CONFIG_HOME when it is absolute, otherwise ~/.config.
std::string ConfigHome(const std::string& xdgConfigHome, const std::string& home);

// A missing file or key gives the default; a value that is not an integer gives the
// integer default; a boolean is true for any non-zero integer.
CorvaneSettings LoadSettings(const std::string& path);

// Writes the eight values (and Host) into the file read back in full, so unknown
// sections and keys survive. The file's folder is made first: the XDG folder of an
// installed copy may not be there yet. Returns false when the file cannot be written.
bool SaveSettings(const CorvaneSettings& settings, const std::string& path);
