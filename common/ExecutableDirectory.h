#pragma once

#include <string>

// The directory of the running executable, without a trailing "/" ("/" itself for
// the root); "." when the system does not tell.
std::string ExecutableDirectory();
