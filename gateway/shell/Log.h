#pragma once

#include <string>
#include <string_view>

// Appends "[YYYY/MM/DD hh:mm:ss] " and the text to the log file at path in one write,
// so entries of different threads never mix. The text is kept byte for byte but for
// control characters other than its line ends (LF, CR LF) and TAB, which are escaped as
// LogPiece does: nothing in the log can move a terminal's cursor or retitle its window.
// A log that cannot be opened loses the entry silently.
void AppendLog(const std::string& path, std::string_view text);

// A text from outside (a server's status line, a URL, a parser's message) as a piece of
// one line of a log entry: control characters, line ends and TAB included, as \xNN, the
// same for bytes that are no UTF-8 and for C1 controls, and the Unicode line separators
// and direction overrides as \u{NNNN}. So a piece can neither end its entry and fake
// the next one nor reach the terminal that shows the log.
std::string LogPiece(std::string_view text);

// Shows the log file with the desktop's default handler; headless, prints its path to
// standard error.
void OpenLogFile(std::string path);
