#pragma once

#include <string>
#include <string_view>

// Appends "[YYYY/MM/DD hh:mm:ss] " and the text to the log file at path, byte for
// byte. A log that cannot be opened loses the entry silently.
void AppendLog(const std::string& path, std::string_view text);

// Shows the log file with the desktop's default handler; headless, prints its path to
// standard error.
void OpenLogFile(std::string path);
