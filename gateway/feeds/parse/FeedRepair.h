#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Repairs for the faults real feed servers make, each tried only when a stricter read
// has failed. Each returns nullopt when it finds nothing to repair.

// The document from its XML declaration, or else its first "<", on: white space,
// junk or comments before the declaration.
std::optional<std::string_view> SkipJunkBeforeMarkup(std::string_view bytes);

// References as XML reads them: HTML named entities (&nbsp;, &eacute;) become numeric
// references, "&#X41;" becomes "&#x41;", a bare "&" becomes "&amp;", and control
// characters XML forbids are dropped. CDATA sections and comments are left alone.
std::optional<std::string> RepairReferences(std::string_view bytes);

// A document declaring Shift_JIS under a spelling the normaliser leaves alone
// (Shift_JIS, SJIS, CP932, Windows-31J...), read with the converter's CP932 table, as
// UTF-8 with its declaration saying so; nullopt for every other document. replacements
// receives the number of byte sequences that formed no character and became U+FFFD.
std::optional<std::string> ShiftJisAsUtf8(std::string_view bytes, std::size_t* replacements = nullptr);

// The log line for count byte sequences of the encoding that became U+FFFD; "" for none.
std::string ReplacementNote(std::string_view encoding, std::size_t count);

// The encoding the document declares (BOM first, then the XML declaration), upper case;
// "" when it declares none.
std::string DeclaredEncoding(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// The document read in an encoding its bytes fit, as UTF-8 with its declaration saying
// so: Japanese first (ISO-2022-JP, EUC-JP, Shift_JIS/CP932), otherwise windows-1252.
struct Redecoded {
    std::string utf8;
    std::string encoding;  // the name it was read as, for the log
    std::size_t replacements = 0;  // bytes that encoding has no character for, now U+FFFD
};
// Only for a document whose bytes do not fit what it declares (UTF-8 when it declares
// nothing), or that declares a Japanese encoding; nullopt otherwise.
std::optional<Redecoded> RedecodeToFit(std::string_view bytes);
