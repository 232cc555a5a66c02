#pragma once

#include <string>
#include <string_view>

// The directory of the running executable, without a trailing "/". Every file of the
// gateway is addressed from here, never from the current directory.
std::string AppDirectory();

// Application directory + "/" + name.
std::string AppFilePath(std::string_view name);

// Tests point the gateway's files at a temporary directory; an empty path restores
// the executable's directory.
void SetAppDirectoryForTesting(const std::string& path);
