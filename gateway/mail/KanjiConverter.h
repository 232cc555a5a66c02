#pragma once

#include "MimeHeader.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

// The kanji converter. Options are two letters after "-": input set, then output.
// Input letters: W UTF-8 (in-memory text), S Shift_JIS (CP932), E EUC-JP, J ISO-2022-JP.
// Output letters: w UTF-8, j ISO-2022-JP (RFC 1468), M MIME header value
// (RFC 2047 encoded-words). Every call names its own options, so threads never
// share a converter state.
//
// An invalid byte sequence becomes U+FFFD and the rest converts. ISO-2022-JP output
// always ends in ASCII; half-width katakana become full-width; NEC row 13 (①, Ⅲ)
// and the NEC-selected IBM kanji are written in their JIS rows; a character JIS
// X 0208 lacks becomes a reference such as "&#233;". Header values keep such
// characters in UTF-8 encoded-words. ASCII and line breaks pass unchanged.
//
// Converts one text completely and independently of earlier calls.
std::string ConvertTextWith(std::string_view options, std::string_view input);

// UTF-8 text as a header value ("-WM"), where column characters of the line
// ("Subject: ") stand before it, so that the first line stays short as well.
std::string EncodeHeaderValue(std::string_view utf8, std::size_t column,
                              HeaderCharset charset = HeaderCharset::Iso2022JpWindows);

// The same, but always as encoded-words, printable ASCII included.
std::string EncodeHeaderWords(std::string_view utf8, std::size_t column,
                              HeaderCharset charset = HeaderCharset::Iso2022JpWindows);

// Whether the mail-charset auto sends the texts of a message as ISO-2022-JP: they hold
// Japanese (kana or kanji), and every character is ASCII or in JIS X 0208 itself, as
// every reader's ISO-2022-JP decoder has it (glibc, Python, Thunderbird): no NEC row 13
// or IBM extension (①, Ⅲ, ㈱, 髙), no half-width katakana, none of the forms only
// Windows maps to the JIS cells (～ for 〜, — for ―). Anything else goes as UTF-8.
bool SuitsIso2022Jp(std::initializer_list<std::string_view> utf8Texts);

// HTML for a part that auto sends as ISO-2022-JP: every character outside ASCII and JIS
// X 0208 itself (an NEC character in an attribute, a no-break space) written as a
// character reference ("&#9312;"), which HTML reads back as that character.
std::string HtmlInJisX0208(std::string_view utf8);

// A conversion that runs as one stream over consecutive pieces of one document: a
// multibyte character or an ISO-2022-JP shift state that straddles two pieces comes
// out exactly as if the whole text had been converted at once.
class KanjiStream {
public:
    explicit KanjiStream(std::string_view options);
    ~KanjiStream();
    KanjiStream(const KanjiStream&) = delete;
    KanjiStream& operator=(const KanjiStream&) = delete;

    std::string Convert(std::string_view piece);
    // Flushes what an unfinished character left behind (as U+FFFD).
    std::string Finish();
    // How many byte sequences of the input formed no character and became U+FFFD.
    std::size_t Replacements() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
