#pragma once

#include <string>
#include <vector>

// Splits the command-line text at spaces only: quotes and tabs have no meaning, runs of
// spaces separate, no empty arguments. Writes the trace lines of the start.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Whether the arguments ask for once mode ("-once" exactly, as a whole argument).
bool HasOnceFlag(const std::vector<std::string>& arguments);
