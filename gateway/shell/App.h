#pragma once

#include <string>

// Runs the gateway: command line, server thread, main loop, bounded wait.
int RunQuillo(const std::string& commandLine);
