#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The converter's inner parts: a decoder turns bytes of one character set into
// code points, an encoder turns code points into bytes. Both keep whatever state
// a piece boundary cuts through, so a document can be converted piece by piece.

class KanjiDecoder {
public:
    virtual ~KanjiDecoder() = default;
    // Appends the code points of the bytes; an invalid sequence gives U+FFFD.
    virtual void Decode(std::string_view bytes, std::u32string& out) = 0;
    // Ends the input: an unfinished sequence gives U+FFFD; the state is reset.
    virtual void Finish(std::u32string& out) = 0;
    // How many U+FFFD this decoder has made so far for bytes that form no character
    // (a U+FFFD the text itself holds is not counted): each one is a repair.
    std::size_t Replacements() const { return replacements_; }

protected:
    void AppendReplacement(std::u32string& out) {
        out += U'\uFFFD';
        ++replacements_;
    }

private:
    std::size_t replacements_ = 0;
};

class KanjiEncoder {
public:
    virtual ~KanjiEncoder() = default;
    virtual void Encode(std::u32string_view codePoints, std::string& out) = 0;
    // Ends the output (ISO-2022-JP returns to ASCII); the state is reset.
    virtual void Finish(std::string& out) = 0;
};

// How a decoder reads bytes that form no character. The defaults read 0x80 in
// Shift_JIS as U+0080 and let a broken pair take its second byte along unless that
// byte is ASCII. The editor reads its documents as the C library's CP932 converter
// did: 0x80 is an error, and the second byte of a broken pair is read again.
struct KanjiDecodeOptions {
    bool shiftJisByte80IsError = false;
    bool shiftJisRereadsSecondByte = false;
};

// Input letters: W UTF-8, S Shift_JIS (CP932), E EUC-JP, J ISO-2022-JP.
std::unique_ptr<KanjiDecoder> MakeKanjiDecoder(char inputLetter, const KanjiDecodeOptions& options = {});

// One code point as the C library's converters write it: Shift_JIS in its CP932
// form (IBM rows before the NEC-selected ones), EUC-JP in its JIS form (C1 controls
// as single bytes; JIS X 0212 is not written); in both U+00A5 and U+203E are 0x5C
// and 0x7E.
// False, with out untouched, when the set lacks the character.
bool AppendShiftJis(char32_t codePoint, std::string& out);
bool AppendEucJp(char32_t codePoint, std::string& out);
// Output letters: w UTF-8, j ISO-2022-JP. (M, the header form, is not a stream.)
std::unique_ptr<KanjiEncoder> MakeKanjiEncoder(char outputLetter);

// Half-width katakana become full-width; a following half-width (semi-)voiced
// sound mark joins its kana when JIS X 0208 holds the joined letter.
class HalfWidthKanaFolder {
public:
    // Folds the code points into out; a kana at the end is held back for the
    // mark that may follow in the next piece.
    void Fold(std::u32string_view in, std::u32string& out);
    void Finish(std::u32string& out);

private:
    char32_t held_ = 0;
};

// The JIS X 0208 pointer of a code point for ISO-2022-JP, or -1.
int IsoJisPointer(char32_t codePoint);
