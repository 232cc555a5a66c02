#pragma once

#include <string>
#include <string_view>

// Byte-string helpers: only ASCII letters change case, every other byte stays.
std::string ToUpperCopy(std::string_view text);
std::string ToLowerCopy(std::string_view text);

// Replaces the first occurrence of oldText again and again until none is left.
// Callers always replace a text by one that does not contain it.
std::string ReplaceAll(std::string text, std::string_view oldText, std::string_view newText);

// Appends the UTF-8 bytes of one code point; a surrogate or a value past U+10FFFF
// becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);
