#pragma once

#include <string>
#include <string_view>

// Rewrites a stored feed document to UTF-8 when its first line declares
// encoding="<encodingName>" (ASCII letters in any case, exactly these quotes, no
// blanks). The first line comes out lower-cased with the declaration reading
// encoding="utf-8" and is not converted; the rest is converted as one stream with the
// converter options, so characters and shift states straddling any read boundary come
// out right. The result goes to path + "tmp" and is renamed over path. Returns true
// when the file was rewritten; a file that is missing, empty, declares another
// encoding, or whose temporary file cannot be written stays as it is.
bool NormaliseEncoding(const std::string& path, std::string_view encodingName,
                       std::string_view converterOptions);

// The first line as the normaliser reads it: at most 1998 bytes, ending after "\n".
std::string ReadFirstLinePiece(std::string_view bytes);
