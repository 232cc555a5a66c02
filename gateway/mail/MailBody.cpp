#include "MailBody.h"

#include "KanjiConverter.h"
#include "MimeHeader.h"
#include "TextUtil.h"

#include <algorithm>

namespace {

constexpr std::size_t kMaxEncodedLine = 76;
constexpr std::size_t kMaxLine = 998;

// Every line end as LF.
std::string LfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += '\n';
        } else {
            out += text[i];
        }
    }
    return out;
}

bool HasLongLine(std::string_view text) {
    std::size_t length = 0;
    for (char c : text) {
        length = (c == '\n' || c == '\r') ? 0 : length + 1;
        if (length > kMaxLine) return true;
    }
    return false;
}

bool NeedsQuoting(unsigned char b) { return b >= 0x7F || b == '=' || (b < 0x20 && b != '\t'); }

}  // namespace

MailCharset ParseMailCharset(std::string_view text) {
    return EqualsIgnoringCase(Trim(text), "iso-2022-jp") ? MailCharset::Iso2022Jp : MailCharset::Auto;
}

std::string EncodeQuotedPrintable(std::string_view input) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string text = LfLines(input);
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\n') {
            out += '\n';
            column = 0;
            continue;
        }
        const bool lineEnd = i + 1 == text.size() || text[i + 1] == '\n';
        // A blank at the end of a line would be lost in transport.
        const bool quoted = NeedsQuoting(b) || ((b == ' ' || b == '\t') && lineEnd);
        const std::size_t width = quoted ? 3 : 1;
        // A soft break leaves room for its "=" unless this is the line's last character.
        if (column + width > (lineEnd ? kMaxEncodedLine : kMaxEncodedLine - 1)) {
            out += "=\n";
            column = 0;
        }
        if (quoted) {
            out += '=';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += static_cast<char>(b);
        }
        column += width;
    }
    return out;
}

std::string EncodeBase64Text(std::string_view text) {
    std::string canonical;
    canonical.reserve(text.size() + text.size() / 32);
    for (char c : LfLines(text)) {
        if (c == '\n') canonical += '\r';
        canonical += c;
    }
    const std::string encoded = Base64Encode(canonical);
    std::string out;
    out.reserve(encoded.size() + encoded.size() / kMaxEncodedLine + 1);
    for (std::size_t at = 0; at < encoded.size(); at += kMaxEncodedLine) {
        if (at > 0) out += '\n';
        out += encoded.substr(at, kMaxEncodedLine);
    }
    return out;
}

EncodedBody EncodeBody(std::string_view utf8, bool iso2022jp) {
    if (iso2022jp) {
        std::string converted = ConvertTextWith("-Wj", utf8);
        // ISO-2022-JP is 7-bit already; quoted-printable only breaks a line the
        // transport would refuse, and gives it back whole to the reader.
        if (HasLongLine(converted)) return {"iso-2022-jp", "quoted-printable", EncodeQuotedPrintable(converted)};
        return {"iso-2022-jp", "7bit", std::move(converted)};
    }
    const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) {
        return c == '\n' || c == '\r' || c == '\t' || (c >= 0x20 && c < 0x7F);
    });
    if (ascii && !HasLongLine(utf8)) return {"utf-8", "7bit", LfLines(utf8)};
    const std::size_t quoted = static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return NeedsQuoting(static_cast<unsigned char>(c)) && c != '\n' && c != '\r'; }));
    if (utf8.size() + 2 * quoted <= utf8.size() / 3 * 4) return {"utf-8", "quoted-printable", EncodeQuotedPrintable(utf8)};
    return {"utf-8", "base64", EncodeBase64Text(utf8)};
}

std::string WithoutControlCharacters(std::string_view utf8) {
    // The length of the control character at i: 1 for C0 and DEL, 2 for C1 (C2 80..C2 9F).
    const auto control = [&](std::size_t i) -> std::size_t {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F) return 1;
        if (b == 0xC2 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80) return 2;
        return 0;
    };
    std::size_t i = 0;
    while (i < utf8.size() && control(i) == 0) ++i;
    std::string out(utf8.substr(0, i));
    while (i < utf8.size()) {
        if (const std::size_t length = control(i)) {
            i += length;
        } else {
            out += utf8[i++];
        }
    }
    return out;
}
