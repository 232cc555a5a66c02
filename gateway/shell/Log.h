#pragma once

#include <string_view>

// Appends "[YYYY/MM/DD hh:mm:ss] " and the text to log.txt in the application
// directory, byte for byte. A log that cannot be opened loses the entry silently.
void WriteLog(std::string_view text);

// Shows log.txt with the desktop's default handler; headless, prints its path to stderr.
void OpenLogFile();
