#pragma once

#include <ctime>
#include <string>
#include <string_view>

// The date text of a message made from the local clock: "07 Dec 2026 03:16:51 +0900".
// The zone is a fixed label; the machine's local time is printed whatever its zone.
std::string FormatClockDate(std::time_t when);

// "Jan" ... "Dec" for the two-digit month text "01" ... "12"; empty otherwise.
std::string_view MonthAbbreviation(std::string_view twoDigits);
