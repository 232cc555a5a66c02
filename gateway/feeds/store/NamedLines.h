#pragma once

#include <functional>
#include <string_view>

// Quillo's small state files (fetchstate.txt, feedreport.txt): a first line naming the
// format, then one "name value" line per field.

// Calls take(name, value) for every line after the first that holds a space; false,
// without a call, when the first line is not `header`.
bool ReadNamedLines(std::string_view text, std::string_view header,
                    const std::function<void(std::string_view name, std::string_view value)>& take);
