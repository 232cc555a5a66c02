#include "FeedRepair.h"

#include "KanjiCodec.h"
#include "TextUtil.h"
#include "Utf8.h"

#include <libxml/HTMLparser.h>

#include <memory>

namespace {

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Wide encodings have NUL bytes everywhere; byte repairs would only break them.
bool IsWideEncoding(std::string_view bytes) {
    return bytes.substr(0, 4).find('\0') != std::string_view::npos ||
           bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

// The length of "&...;" at i when it is a reference XML accepts, else 0; fixes case of X.
size_t ValidReference(std::string_view bytes, size_t i, std::string& out) {
    const size_t n = bytes.size();
    size_t j = i + 1;
    if (j < n && bytes[j] == '#') {
        ++j;
        const bool hex = j < n && (bytes[j] == 'x' || bytes[j] == 'X');
        if (hex) ++j;
        const size_t digits = j;
        while (j < n && (hex ? IsHex(bytes[j]) : (bytes[j] >= '0' && bytes[j] <= '9'))) ++j;
        if (j == digits || j >= n || bytes[j] != ';') return 0;
        out += hex ? "&#x" : "&#";
        out.append(bytes.substr(digits, j - digits + 1));
        return j - i + 1;
    }
    while (j < n && IsNameChar(bytes[j]) && j - i < 40) ++j;
    if (j == i + 1 || j >= n || bytes[j] != ';') return 0;
    const std::string name(bytes.substr(i + 1, j - i - 1));
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") {
        out.append(bytes.substr(i, j - i + 1));
        return j - i + 1;
    }
    const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
    if (!entity) return 0;
    out += "&#" + std::to_string(entity->value) + ";";
    return j - i + 1;
}

bool IsForbiddenControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

size_t CountKana(std::u32string_view text, size_t& nonAscii) {
    size_t kana = 0;
    for (char32_t c : text) {
        if (c < 0x80) continue;
        ++nonAscii;
        if (c >= 0x3041 && c <= 0x30FF) ++kana;
    }
    return kana;
}

// Decodes the whole document with one of the converter's input sets; nullopt when a
// byte sequence is not valid in it.
std::optional<std::u32string> DecodeStrictly(char inputLetter, std::string_view bytes) {
    auto decoder = MakeKanjiDecoder(inputLetter);
    std::u32string out;
    decoder->Decode(bytes, out);
    decoder->Finish(out);
    if (decoder->Replacements() > 0) return std::nullopt;
    return out;
}

// windows-1252's letters in 0x80-0x9F; 0 where it has none.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::u32string DecodeWindows1252(std::string_view bytes, std::size_t& replacements) {
    std::u32string out;
    out.reserve(bytes.size());
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c >= 0x80 && c < 0xA0) {
            if (!kWindows1252High[c - 0x80]) ++replacements;
            out += kWindows1252High[c - 0x80] ? kWindows1252High[c - 0x80] : U'\uFFFD';
        } else {
            out += static_cast<char32_t>(c);
        }
    }
    return out;
}

// The declaration's encoding="..." made to say UTF-8.
std::string WithUtf8Declaration(std::string text) {
    if (text.compare(0, 5, "<?xml") != 0) return text;
    const size_t end = text.find("?>");
    if (end == std::string::npos) return text;
    const std::string upper = ToUpperCopy(std::string_view(text).substr(0, end));
    const size_t at = upper.find("ENCODING");
    if (at == std::string::npos) return text;
    size_t quote = text.find_first_of("\"'", at);
    if (quote == std::string::npos || quote > end) return text;
    const size_t close = text.find(text[quote], quote + 1);
    if (close == std::string::npos || close > end) return text;
    return text.replace(quote + 1, close - quote - 1, "UTF-8");
}

bool IsJapaneseName(const std::string& name) {
    return name == "SHIFT_JIS" || name == "SHIFT-JIS" || name == "SJIS" || name == "X-SJIS" ||
           name == "CP932" || name == "WINDOWS-31J" || name == "MS932" || name == "EUC-JP" ||
           name == "X-EUC-JP" || name == "EUCJP" || name == "ISO-2022-JP" || name == "CSISO2022JP";
}

}  // namespace

std::string ReplacementNote(std::string_view encoding, std::size_t count) {
    if (count == 0) return "";
    return std::string(encoding) + "として読めないバイト列" + std::to_string(count) +
           "箇所をU+FFFD(�)に置き換えました。";
}

std::optional<std::string> ShiftJisAsUtf8(std::string_view bytes, std::size_t* replacements) {
    const std::string declared = DeclaredEncoding(bytes);
    if (declared != "SHIFT_JIS" && declared != "SJIS" && declared != "X-SJIS" && declared != "CP932" &&
        declared != "MS932" && declared != "WINDOWS-31J" && declared != "SHIFT-JIS")
        return std::nullopt;
    auto decoder = MakeKanjiDecoder('S');
    std::u32string text;
    decoder->Decode(bytes, text);
    decoder->Finish(text);
    if (replacements) *replacements = decoder->Replacements();
    std::string utf8;
    utf8.reserve(bytes.size() + bytes.size() / 2);
    for (char32_t c : text) AppendUtf8(utf8, c);
    return WithUtf8Declaration(std::move(utf8));
}

std::optional<std::string_view> SkipJunkBeforeMarkup(std::string_view bytes) {
    if (IsWideEncoding(bytes)) return std::nullopt;
    // A declaration that does not stand first, behind comments or junk, starts the document.
    const size_t declaration = bytes.substr(0, 4096).find("<?xml");
    if (declaration != 0 && declaration != std::string_view::npos) {
        const std::string_view before = bytes.substr(0, declaration);
        bool elementBefore = false;
        for (size_t i = before.find('<'); i != std::string_view::npos; i = before.find('<', i + 1)) {
            if (i + 1 < before.size() && before[i + 1] != '!' && before[i + 1] != '?') elementBefore = true;
        }
        if (!elementBefore) return bytes.substr(declaration);
    }
    const size_t first = bytes.find('<');
    if (first == 0 || first == std::string_view::npos) return std::nullopt;
    return bytes.substr(first);
}

std::optional<std::string> RepairReferences(std::string_view bytes) {
    if (IsWideEncoding(bytes)) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 64);
    bool changed = false;
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const char c = bytes[i];
        if (c == '<') {
            // CDATA sections and comments hold no references.
            std::string_view close;
            if (bytes.compare(i, 9, "<![CDATA[") == 0) close = "]]>";
            else if (bytes.compare(i, 4, "<!--") == 0) close = "-->";
            if (!close.empty()) {
                size_t end = bytes.find(close, i + 4);
                end = end == std::string_view::npos ? n : end + close.size();
                out.append(bytes.substr(i, end - i));
                i = end;
                continue;
            }
        } else if (c == '&') {
            const size_t before = out.size();
            const size_t length = ValidReference(bytes, i, out);
            if (length > 0) {
                if (out.compare(before, std::string::npos, bytes.substr(i, length)) != 0) changed = true;
                i += length;
            } else {
                out += "&amp;";
                changed = true;
                ++i;
            }
            continue;
        } else if (IsForbiddenControl(static_cast<unsigned char>(c))) {
            changed = true;
            ++i;
            continue;
        }
        out += c;
        ++i;
    }
    if (!changed) return std::nullopt;
    return out;
}

std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") return "UTF-16";
    const size_t start = bytes.find("<?xml");
    if (start == std::string_view::npos || start > 64) return "";
    const size_t end = bytes.find("?>", start);
    if (end == std::string_view::npos) return "";
    const std::string declaration = ToUpperCopy(bytes.substr(start, end - start));
    const size_t at = declaration.find("ENCODING");
    if (at == std::string::npos) return "";
    const size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string::npos) return "";
    const size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string::npos) return "";
    return declaration.substr(quote + 1, close - quote - 1);
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t need;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) need = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) need = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) need = 3, cp = c & 0x07;
        else return false;
        for (size_t k = 1; k <= need; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += need + 1;
    }
    return true;
}

std::optional<Redecoded> RedecodeToFit(std::string_view bytes) {
    if (IsWideEncoding(bytes)) return std::nullopt;
    const std::string declared = DeclaredEncoding(bytes);
    const bool declaresUtf8 = declared.empty() || declared == "UTF-8" || declared == "UTF8";
    bool sevenBit = true;
    for (char c : bytes) sevenBit = sevenBit && static_cast<unsigned char>(c) < 0x80;
    // ISO-2022-JP is 7-bit, so it passes for UTF-8 but for its escapes, which XML forbids.
    const bool jisEscapes = sevenBit && bytes.find("\x1B$") != std::string_view::npos;
    if (declaresUtf8 && IsValidUtf8(bytes) && !jisEscapes) return std::nullopt;
    if (!declaresUtf8 && !IsJapaneseName(declared)) return std::nullopt;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);

    std::optional<std::u32string> text;
    std::string name;
    if (jisEscapes) {
        text = DecodeStrictly('J', bytes);
        name = "ISO-2022-JP";
    }
    // Japanese text always has kana; Latin text read as EUC-JP or Shift_JIS has few.
    // The declared set, when it is one of them, is tried first.
    const bool shiftJisFirst = declared.find("JIS") != std::string::npos && declared.find("2022") == std::string::npos;
    std::pair<char, const char*> candidates[] = {{'E', "EUC-JP"}, {'S', "Shift_JIS"}};
    if (shiftJisFirst || declared == "CP932" || declared == "MS932" || declared == "WINDOWS-31J")
        std::swap(candidates[0], candidates[1]);
    for (const auto& [letter, candidate] : candidates) {
        if (text) break;
        auto decoded = DecodeStrictly(letter, bytes);
        if (!decoded) continue;
        size_t nonAscii = 0;
        const size_t kana = CountKana(*decoded, nonAscii);
        if (kana > 0 && kana * 10 >= nonAscii) {
            text = std::move(decoded);
            name = candidate;
        }
    }
    std::size_t replacements = 0;
    if (!text) {
        text = DecodeWindows1252(bytes, replacements);
        name = "windows-1252";
    }
    std::string utf8;
    utf8.reserve(text->size() + text->size() / 2);
    for (char32_t c : *text) AppendUtf8(utf8, c);
    return Redecoded{WithUtf8Declaration(std::move(utf8)), name, replacements};
}
