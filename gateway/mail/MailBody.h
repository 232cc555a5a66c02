#pragma once

#include <string>
#include <string_view>

// The charset of message bodies, the mail-charset setting: auto sends ISO-2022-JP when
// it holds every character of the message and UTF-8 otherwise; iso-2022-jp always
// sends ISO-2022-JP, a character it lacks written as a reference ("&#233;").
enum class MailCharset { Auto, Iso2022Jp };

// "iso-2022-jp" in any case is Iso2022Jp; "auto", "" and anything else is Auto.
MailCharset ParseMailCharset(std::string_view text);

// A body part ready for a 7-bit transport. Lines of text end in LF; the composer
// turns every line end into CR LF.
struct EncodedBody {
    std::string charset;            // "iso-2022-jp" or "utf-8"
    std::string transferEncoding;   // "7bit", "quoted-printable" or "base64"
    std::string text;
};

// UTF-8 text as ISO-2022-JP (7bit, or quoted-printable when a line would pass 998
// octets) or as UTF-8 (7bit when it is ASCII in lines that fit, else quoted-printable
// or base64, whichever is shorter).
EncodedBody EncodeBody(std::string_view utf8, bool iso2022jp);

// The text without control characters but TAB, CR and LF: C0, DEL and, in UTF-8, C1.
// A NUL or a vertical tab from a feed has no place in a message, whatever its charset.
std::string WithoutControlCharacters(std::string_view utf8);

// Quoted-printable of text whose lines end in LF (CR LF and lone CR count as line
// ends too); encoded lines are at most 76 characters.
std::string EncodeQuotedPrintable(std::string_view text);

// Base64 of the text in its canonical form (every line end CR LF), 76 per line.
std::string EncodeBase64Text(std::string_view text);
