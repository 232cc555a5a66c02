// Encoders to UTF-8 and to ISO-2022-JP (RFC 1468), and the half-width kana folding
// that ISO-2022-JP needs because it has no half-width katakana.
#include "KanjiCodec.h"

#include "Jis0208.h"
#include "Utf8.h"

#include <array>

namespace {

// Full-width forms of U+FF61..U+FF9F, in order.
constexpr std::array<char32_t, 63> kFullWidthKana = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

constexpr char32_t kHalfVoicedMark = 0xFF9E;
constexpr char32_t kHalfSemiVoicedMark = 0xFF9F;

bool TakesVoicedMark(char32_t halfWidth) {
    return halfWidth == 0xFF73 || (halfWidth >= 0xFF76 && halfWidth <= 0xFF84) ||
           (halfWidth >= 0xFF8A && halfWidth <= 0xFF8E);
}

// The joined letter of a full-width kana and a mark, or 0.
char32_t Join(char32_t fullWidth, char32_t mark) {
    char32_t joined = 0;
    if (mark == kHalfVoicedMark) {
        joined = fullWidth == 0x30A6 ? 0x30F4 : fullWidth + 1;
    } else if (mark == kHalfSemiVoicedMark && fullWidth >= 0x30CF && fullWidth <= 0x30DB) {
        joined = fullWidth + 2;
    }
    return joined != 0 && Jis0208Pointer(joined) >= 0 ? joined : 0;
}

class Utf8Encoder final : public KanjiEncoder {
public:
    void Encode(std::u32string_view codePoints, std::string& out) override {
        for (char32_t cp : codePoints) AppendUtf8(out, cp);
    }
    void Finish(std::string&) override {}
};

class Iso2022JpEncoder final : public KanjiEncoder {
public:
    void Encode(std::u32string_view codePoints, std::string& out) override {
        folded_.clear();
        folder_.Fold(codePoints, folded_);
        Write(folded_, out);
    }
    void Finish(std::string& out) override {
        folded_.clear();
        folder_.Finish(folded_);
        Write(folded_, out);
        Switch(Set::Ascii, out);
    }

private:
    enum class Set { Ascii, Roman, Jis0208 };

    void Switch(Set set, std::string& out) {
        if (set_ == set) return;
        set_ = set;
        switch (set) {
            case Set::Ascii: out += "\x1b(B"; break;
            case Set::Roman: out += "\x1b(J"; break;
            case Set::Jis0208: out += "\x1b$B"; break;
        }
    }

    void Write(std::u32string_view codePoints, std::string& out) {
        for (char32_t cp : codePoints) {
            // ESC, SO and SI would change the reader's shift state, so they are
            // written as references like every other character the set lacks.
            if (cp < 0x80 && cp != 0x0E && cp != 0x0F && cp != 0x1B) {
                Switch(Set::Ascii, out);
                out += static_cast<char>(cp);
                continue;
            }
            if (cp == 0x00A5 || cp == 0x203E) {
                Switch(Set::Roman, out);
                out += cp == 0x00A5 ? '\x5c' : '\x7e';
                continue;
            }
            const int pointer = IsoJisPointer(cp);
            if (pointer < 0) {
                Switch(Set::Ascii, out);
                out += "&#";
                out += std::to_string(static_cast<unsigned long>(cp));
                out += ';';
                continue;
            }
            Switch(Set::Jis0208, out);
            out += static_cast<char>(0x21 + pointer / kJisCells);
            out += static_cast<char>(0x21 + pointer % kJisCells);
        }
    }

    Set set_ = Set::Ascii;
    HalfWidthKanaFolder folder_;
    std::u32string folded_;
};

}  // namespace

void HalfWidthKanaFolder::Fold(std::u32string_view in, std::u32string& out) {
    for (char32_t cp : in) {
        if (held_ != 0) {
            const char32_t joined = Join(held_, cp);
            const char32_t held = held_;
            held_ = 0;
            if (joined != 0) {
                out += joined;
                continue;
            }
            out += held;
        }
        if (cp < 0xFF61 || cp > 0xFF9F) {
            out += cp;
        } else if (TakesVoicedMark(cp)) {
            held_ = kFullWidthKana[cp - 0xFF61];
        } else {
            out += kFullWidthKana[cp - 0xFF61];
        }
    }
}

void HalfWidthKanaFolder::Finish(std::u32string& out) {
    if (held_ != 0) out += held_;
    held_ = 0;
}

int IsoJisPointer(char32_t codePoint) { return Jis0208Pointer(codePoint); }

bool AppendShiftJis(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp == 0x00A5 || cp == 0x203E) {
        out += cp == 0x00A5 ? '\x5c' : '\x7e';
    } else if (cp >= 0xFF61 && cp <= 0xFF9F) {
        out += static_cast<char>(0xA1 + (cp - 0xFF61));
    } else {
        const int pointer = ShiftJisPointer(cp);
        if (pointer < 0) return false;
        unsigned char lead = 0, trail = 0;
        JisPointerToShiftJis(pointer, lead, trail);
        out += static_cast<char>(lead);
        out += static_cast<char>(trail);
    }
    return true;
}

bool AppendEucJp(char32_t cp, std::string& out) {
    if (cp < 0xA0 && cp != 0x8E && cp != 0x8F) {
        out += static_cast<char>(cp);
    } else if (cp == 0x00A5 || cp == 0x203E) {
        out += cp == 0x00A5 ? '\x5c' : '\x7e';
    } else if (cp >= 0xFF61 && cp <= 0xFF9F) {
        out += '\x8e';
        out += static_cast<char>(0xA1 + (cp - 0xFF61));
    } else {
        const int pointer = Jis0208JisFormPointer(cp);
        if (pointer < 0) return false;
        out += static_cast<char>(0xA1 + pointer / kJisCells);
        out += static_cast<char>(0xA1 + pointer % kJisCells);
    }
    return true;
}

std::unique_ptr<KanjiEncoder> MakeKanjiEncoder(char outputLetter) {
    if (outputLetter == 'j') return std::make_unique<Iso2022JpEncoder>();
    return std::make_unique<Utf8Encoder>();
}
