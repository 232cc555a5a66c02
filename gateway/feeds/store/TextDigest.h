#pragma once

#include <string>
#include <initializer_list>
#include <string_view>

// The first 128 bits of the SHA-256 of the bytes, as 32 lowercase hexadecimal digits:
// short enough to name a file or fill a record, long enough that two texts never share
// one by chance, and not made to collide on purpose by whoever writes a feed.
std::string TextDigest(std::string_view bytes);

// The same over several fields, each preceded by its length, so that no two field lists
// run together into the same bytes.
std::string FieldsDigest(std::initializer_list<std::string_view> fields);
