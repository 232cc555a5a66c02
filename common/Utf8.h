#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
// Overlong forms, surrogates and values past U+10FFFF are not valid.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// Offset of the first byte that does not begin a valid UTF-8 sequence, or text.size().
std::size_t FirstInvalidUtf8(std::string_view text);

// The text with each byte that begins no valid sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Appends the UTF-8 bytes of one code point; a surrogate or a value past U+10FFFF
// becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// UTF-16 code units (no byte-order mark expected; one inside is U+FEFF) to UTF-8.
// False, with out holding what came before, at an unpaired surrogate or an odd
// final byte.
bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string& out);
