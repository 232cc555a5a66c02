#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A header value for mail: printable ASCII stays as it is; any other text becomes
// RFC 2047 encoded-words of at most 75 characters, each self-contained, joined by
// CR LF and one space. ISO-2022-JP words carry what JIS can hold; runs of other
// characters go into UTF-8 words, so nothing is lost. column is the length of
// the header name and colon before the value, which the first line shares.
// With alwaysWords, printable ASCII becomes encoded-words too (a title that holds
// "=?...?=" must not be decoded by the reader).
std::string EncodeMimeHeader(std::u32string_view codePoints, std::size_t column = 0,
                             bool alwaysWords = false);

std::string Base64Encode(std::string_view bytes);
