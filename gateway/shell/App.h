#pragma once

#include "AppDirectory.h"

#include <string>

// Runs the gateway on the files of the layout: its context, the server thread and the
// main loop, until the exit command or QUIT in once mode. The result is the exit status.
int RunQuillo(const AppLayout& layout, const std::string& commandLine);
