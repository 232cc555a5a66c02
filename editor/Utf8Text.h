#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
// Overlong forms, surrogates and values past U+10FFFF are not valid.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// Appends the UTF-8 bytes of cp, which the caller has checked to be a Unicode scalar value.
void AppendUtf8(std::string& out, char32_t cp);
