#pragma once

#include <ctime>
#include <string>
#include <string_view>

// Character-code routines of the editor. Text in memory is UTF-8 (the local code page
// of this platform); documents may arrive in EUC-JP, Shift_JIS or ISO-8859-1.

// EUC-JP bytes to Shift_JIS bytes, byte pair by byte pair. A lead byte or 0x8E that
// ends the input has no partner and is dropped.
std::string EucJpToShiftJis(std::string_view text);

// One JIS X 0208 row/cell pair (7-bit each) to its two Shift_JIS bytes.
std::string JisPairToShiftJis(unsigned char row, unsigned char cell);

// True for exactly "UTF-8", "SHIFT_JIS", "EUC-JP" and "ISO-8859-1"; the caller
// upper-cases the declared name first.
bool IsSupportedEncoding(std::string_view upperCaseName);

// Shift_JIS (code page 932) to UTF-8 and back. Bytes that do not form a character
// become U+FFFD (to UTF-8) or "?" (from UTF-8), so the result is always usable.
std::string ShiftJisToUtf8(std::string_view text);
std::string Utf8ToShiftJis(std::string_view text);
std::string Latin1ToUtf8(std::string_view text);

// Local code page to UTF-8 and back; both are UTF-8 here, so these only make sure
// the result is valid UTF-8 (invalid sequences become U+FFFD).
std::string LocalToUtf8(std::string_view text);
std::string Utf8ToLocal(std::string_view text);

// Turns a string taken from a document into in-memory text, given the upper-cased
// document encoding: EUC-JP through EucJpToShiftJis then code page 932, SHIFT_JIS
// from code page 932, ISO-8859-1 from Latin-1; everything else (UTF-8, already
// converted by the scanner, or an unsupported encoding) is kept, made valid UTF-8.
std::string ConvertFromDocument(std::string_view text, std::string_view documentEncoding);
// The way back, for text the scanner makes itself (character references): UTF-8 to
// the document encoding; a character the encoding lacks becomes "?".
std::string ConvertToDocument(std::string_view utf8, std::string_view documentEncoding);

// "&amp;" folded to "&" first, then & < > " ' escaped; nothing else is touched.
std::string EscapeXmlText(std::string_view text);

// Space to "+", ASCII letters kept, every other byte as %XX (upper-case hex).
std::string UrlEncodeQuery(std::string_view bytes);

// Formats a UTC time with the date pattern language of the editor: ddd (short day
// name), d/dd, m/mm, mmm (short month name), yy/yyyy, h/hh, n/nn, s/ss, and text in
// double quotes copied literally. Names are English whatever the locale.
std::string FormatUtc(std::string_view pattern, std::time_t time);

// FormatUtc of the current time; the writer uses "ddd, d mmm yyyy hh:nn:ss \"GMT\"".
std::string FormatUtcNow(std::string_view pattern);

// The timestamp pattern of saved OPML files.
inline constexpr std::string_view kOpmlDatePattern = "ddd, d mmm yyyy hh:nn:ss \"GMT\"";
