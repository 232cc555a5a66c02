#pragma once

#include <string>
#include <string_view>

// Byte-string helpers: only ASCII letters change case, every other byte stays.
std::string ToUpperCopy(std::string_view text);
std::string ToLowerCopy(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The white space most readers strip: space, TAB, CR and LF.
inline constexpr std::string_view kBlanks = " \t\r\n";

// The text without the given bytes at its start, its end, or both.
std::string_view TrimStart(std::string_view text, std::string_view blanks = kBlanks);
std::string_view TrimEnd(std::string_view text, std::string_view blanks = kBlanks);
std::string_view Trim(std::string_view text, std::string_view blanks = kBlanks);

// Replaces the first occurrence of oldText again and again until none is left.
// Callers always replace a text by one that does not contain it.
std::string ReplaceAll(std::string text, std::string_view oldText, std::string_view newText);
