#pragma once

#include <optional>
#include <string>
#include <vector>

// Splits the command-line text at spaces only: quotes and tabs have no meaning, runs of
// spaces separate, no empty arguments. Writes the trace lines of the start.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Whether the arguments ask for once mode ("-once" exactly, as a whole argument).
bool HasOnceFlag(const std::vector<std::string>& arguments);

// The arguments of the program as the system passes them: `--dir DIR` (or `--dir=DIR`)
// is taken out, since a directory may hold spaces, and so is `--status`; the others are
// joined with spaces into the command-line text split above.
struct ProgramArguments {
    std::optional<std::string> dir;  // made absolute against the current directory
    bool status = false;  // print each feed's state and end, beside a running Quillo too
    std::string commandLine;
    std::string error;  // not empty: the program stops with this text
};
ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments);
