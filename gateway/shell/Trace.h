#pragma once

#include <string_view>

// Diagnostic trace lines on standard error, only when QUILLO_TRACE=1 is set.
bool TraceEnabled();
void Trace(std::string_view line);
