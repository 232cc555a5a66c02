#pragma once

#include <string>
#include <string_view>

// folder + "/" + name, with no doubled "/" when folder already ends in one.
std::string JoinPath(std::string_view folder, std::string_view name);
