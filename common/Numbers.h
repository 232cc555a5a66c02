#pragma once

#include <optional>
#include <string_view>

// Decimal digits only: no sign, no white space, nothing after them. nullopt for an
// empty text, any other byte, or a value the type cannot hold.
std::optional<long long> ParseDecimal(std::string_view text);
std::optional<int> ParseDecimalInt(std::string_view text);

// The same with one optional leading '-'.
std::optional<int> ParseSignedDecimalInt(std::string_view text);

// The lenient reading older settings files rely on: leading white space (space, TAB,
// LF, VT, FF, CR), one optional '+' or '-', then the digits up to the first other
// byte. No digits read as 0; a magnitude past INT_MAX reads as INT_MAX with its sign.
int ParseLenientInt(std::string_view text);
