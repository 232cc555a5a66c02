#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Which encoded-words carry the characters outside ASCII.
enum class HeaderCharset {
    // JIS X 0208 as Windows has it (NEC row 13 and the IBM rows included, half-width
    // katakana made full-width) in ISO-2022-JP words, the rest in UTF-8 words: the
    // iso-2022-jp setting.
    Iso2022JpWindows,
    // JIS X 0208 itself, as every reader decodes it, in ISO-2022-JP words, the rest in
    // UTF-8 words: a message sent as ISO-2022-JP.
    Iso2022Jp,
    // UTF-8 words only: a message sent as UTF-8.
    Utf8,
};

// A header value for mail: printable ASCII stays as it is; any other text becomes
// RFC 2047 encoded-words of at most 75 characters, each self-contained, joined by
// CR LF and one space, in the words charset says, so nothing is lost. column is the
// length of the header name and colon before the value, which the first line shares.
// With alwaysWords, printable ASCII becomes encoded-words too (a title that holds
// "=?...?=" must not be decoded by the reader).
std::string EncodeMimeHeader(std::u32string_view codePoints, std::size_t column = 0,
                             bool alwaysWords = false,
                             HeaderCharset charset = HeaderCharset::Iso2022JpWindows);

std::string Base64Encode(std::string_view bytes);
