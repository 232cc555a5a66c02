#pragma once

#include "MimeHeader.h"

#include <cstdint>
#include <string>
#include <string_view>

// Header fields of a composed message, each "Name: value" and CR LF. No line is longer
// than 998 octets, and none longer than 78 where the value offers a place to fold.

// Breaks, tabs and runs of them in a feed's text become one blank each: a raw line
// break would end the header block.
std::string OneLine(std::string_view value);

// An unstructured field (Subject). Printable ASCII is folded at its blanks; other text,
// ASCII that looks like an encoded-word ("=?...?=") and ASCII too long to fold become
// RFC 2047 encoded-words, so a reader shows the text exactly as the feed gave it.
// charset: the encoded-words, as the message's charset wants them.
std::string UnstructuredField(std::string_view name, std::string_view utf8,
                              HeaderCharset charset = HeaderCharset::Iso2022JpWindows);

// "From: " with the display name (quoted or encoded as it needs) and "<address>".
std::string FromField(std::string_view displayName, std::string_view address,
                      HeaderCharset charset = HeaderCharset::Iso2022JpWindows);

// 64-bit FNV-1a: fixed here so that an address never changes between builds.
std::uint64_t Fnv1a64(std::string_view bytes);

// The sender address of a feed: 12 hex digits of the hash of its folder name at
// quillo.invalid, a domain that reaches no one. Stable per feed, distinct between feeds.
std::string FeedSenderAddress(std::string_view feedFolderName);
