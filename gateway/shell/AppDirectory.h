#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ExecutableDirectory.h"
#include "Paths.h"

// Where the gateway keeps its files. A portable copy (an executable directory holding a
// Quillo.xml, or `--dir DIR`) keeps everything in one application directory; an
// installed copy keeps its settings and feed list in $XDG_CONFIG_HOME/quillo and its
// feed folders and log in $XDG_STATE_HOME/quillo. The current directory is never used.
struct AppLayout {
    std::string configDir;   // Quillo.xml, feedlist.xml
    std::string stateDir;    // data/, log.txt
    std::string programDir;  // the executables: Quillo, Corvane
    bool installed = false;  // the XDG folders, made at first start
};

// The environment values the choice of folders depends on.
struct XdgEnvironment {
    std::string home;
    std::string configHome;  // XDG_CONFIG_HOME; empty or relative: unset
    std::string stateHome;   // XDG_STATE_HOME; empty or relative: unset
};

XdgEnvironment ReadXdgEnvironment();

// `--dir` first, then a Quillo.xml beside the executable, then the XDG folders.
AppLayout ChooseAppLayout(const std::string& programDir, const std::optional<std::string>& dirOption,
                          bool programDirHasSettings, const XdgEnvironment& environment);

// The layout of this process: the executable's directory, `--dir`, the environment.
AppLayout ResolveAppLayout(const std::optional<std::string>& dirOption);

// Makes the folders of the layout. An installed layout gets, when missing, a commented
// Quillo.xml (127.0.0.1 port 1110) and an empty feedlist.xml. False, with a reason,
// when a folder cannot be made.
bool PrepareAppLayout(const AppLayout& layout, std::string& error);

// The text of the Quillo.xml written at first start.
extern const char* const kFirstStartSettings;
// The text of the feedlist.xml written at first start.
extern const char* const kFirstStartFeedList;

// A portable layout: settings, feed list, data/ and log.txt all in directory; the
// executables in programDir, or in directory too.
AppLayout PortableAppLayout(const std::string& directory, const std::string& programDir);
AppLayout PortableAppLayout(const std::string& directory);
