#pragma once

#include <optional>
#include <string>
#include <string_view>

// A feed document rewritten to UTF-8 when its first line declares
// encoding="<encodingName>" (ASCII letters in any case, exactly these quotes, no
// blanks). The first line comes out lower-cased with the declaration reading
// encoding="utf-8" and is not converted; the rest is converted as one stream with the
// converter options. nullopt when the document is empty or declares another encoding.
// When repairNote is given, it receives the line for the log when bytes that form no
// character became U+FFFD ("" when none did).
std::optional<std::string> NormaliseEncoding(std::string_view bytes, std::string_view encodingName,
                                             std::string_view converterOptions,
                                             std::string* repairNote = nullptr);

// The three conversions in their fixed order, EUC-JP, Shift_JIS, ISO-2022-JP: at most
// one of them applies. nullopt when none does.
std::optional<std::string> NormaliseJapaneseEncoding(std::string_view bytes, std::string* repairNote = nullptr);

// The first line as the normaliser reads it: at most 1998 bytes, ending after "\n".
std::string ReadFirstLinePiece(std::string_view bytes);
