#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// In a namespace of its own: a test links the editor and the gateway together, and the
// gateway has an AppendUtf8 of its own.
namespace Utf8Text {

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
// Overlong forms, surrogates and values past U+10FFFF are not valid.
std::size_t SequenceLength(std::string_view text, std::size_t i);

// Appends the UTF-8 bytes of cp, which the caller has checked to be a Unicode scalar value.
void Append(std::string& out, char32_t cp);

}  // namespace Utf8Text
