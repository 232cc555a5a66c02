#include "jconvert.h"

#include <algorithm>
#include <array>

#include "KanjiCodec.h"
#include "Utf8.h"

namespace {

// The code point of the valid UTF-8 sequence of length bytes at text[i].
char32_t CodePointAt(std::string_view text, std::size_t i, std::size_t length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    if (length == 1) return byte(0);
    char32_t cp = byte(0) & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (byte(k) & 0x3F);
    return cp;
}

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                  "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr",
                                                     "May", "Jun", "Jul", "Aug",
                                                     "Sep", "Oct", "Nov", "Dec"};

void AppendNumber(std::string& out, int value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    }
    out += digits;
}

}  // namespace

std::string JisPairToShiftJis(unsigned char row, unsigned char cell) {
    const unsigned char lead = static_cast<unsigned char>(((row + 1) >> 1) +
                                                          (row <= 0x5E ? 0x70 : 0xB0));
    unsigned char trail;
    if (row % 2 == 0) {
        trail = static_cast<unsigned char>(cell + 0x7E);
    } else if (cell <= 0x5F) {
        trail = static_cast<unsigned char>(cell + 0x1F);
    } else {
        trail = static_cast<unsigned char>(cell + 0x20);
    }
    return std::string{static_cast<char>(lead), static_cast<char>(trail)};
}

std::string EucJpToShiftJis(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b <= 0x80 || b == 0xFF) {
            out += static_cast<char>(b);
            ++i;
        } else if (i + 1 >= text.size()) {
            // A lead byte without its partner: nothing sensible to append.
            ++i;
        } else if (b == 0x8E) {
            out += text[i + 1];
            i += 2;
        } else {
            const unsigned char next = static_cast<unsigned char>(text[i + 1]);
            out += JisPairToShiftJis(b & 0x7F, next & 0x7F);
            i += 2;
        }
    }
    return out;
}

bool IsSupportedEncoding(std::string_view name) {
    return name == "UTF-8" || name == "SHIFT_JIS" || name == "EUC-JP" ||
           name == "ISO-8859-1";
}

std::string ShiftJisToUtf8(std::string_view text) {
    // Documents read as they always were, through the C library's CP932 converter.
    KanjiDecodeOptions options;
    options.shiftJisByte80IsError = true;
    options.shiftJisRereadsSecondByte = true;
    std::u32string codePoints;
    codePoints.reserve(text.size());
    const auto decoder = MakeKanjiDecoder('S', options);
    decoder->Decode(text, codePoints);
    decoder->Finish(codePoints);
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const char32_t cp : codePoints) AppendUtf8(out, cp);
    return out;
}

std::string Utf8ToShiftJis(std::string_view text) {
    const std::string valid = ValidUtf8(text);
    std::string out;
    out.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size();) {
        const std::size_t length = Utf8SequenceLength(valid, i);
        // A missing character gives one "?" for each of its UTF-8 bytes.
        if (!AppendShiftJis(CodePointAt(valid, i, length), out)) out.append(length, '?');
        i += length;
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string LocalToUtf8(std::string_view text) { return ValidUtf8(text); }

std::string Utf8ToLocal(std::string_view text) { return ValidUtf8(text); }

std::string ConvertFromDocument(std::string_view text, std::string_view documentEncoding) {
    if (documentEncoding == "EUC-JP") return ShiftJisToUtf8(EucJpToShiftJis(text));
    if (documentEncoding == "SHIFT_JIS") return ShiftJisToUtf8(text);
    if (documentEncoding == "ISO-8859-1") return Latin1ToUtf8(text);
    return ValidUtf8(text);
}

std::string ConvertToDocument(std::string_view utf8, std::string_view documentEncoding) {
    const bool eucJp = documentEncoding == "EUC-JP";
    const bool shiftJis = documentEncoding == "SHIFT_JIS";
    const bool latin1 = documentEncoding == "ISO-8859-1";
    const std::string text = ValidUtf8(utf8);
    if (!eucJp && !shiftJis && !latin1) return text;
    // Character by character: one missing character is one "?". JIS X 0212 (EUC-JP's
    // three-byte form) is missing too: the way back through Shift_JIS cannot carry it.
    // U+001A is always "?", as it marked a missing character before.
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        const char32_t cp = CodePointAt(text, i, length);
        i += length;
        bool written = false;
        if (cp != 0x1A) {
            if (eucJp) {
                written = AppendEucJp(cp, out);
            } else if (shiftJis) {
                written = AppendShiftJis(cp, out);
            } else if (cp <= 0xFF) {
                out += static_cast<char>(cp);
                written = true;
            }
        }
        if (!written) out += '?';
    }
    return out;
}

std::string EscapeXmlText(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 5, "&amp;") == 0) {
            folded += '&';
            i += 5;
        } else {
            folded += text[i++];
        }
    }
    std::string out;
    out.reserve(folded.size());
    for (const char c : folded) {
        switch (c) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&#39;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string UrlEncodeQuery(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b == ' ') {
            out += '+';
        } else if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

std::string FormatUtc(std::string_view pattern, std::time_t time) {
    std::tm tm{};
    gmtime_r(&time, &tm);
    std::string out;
    // Counts the run of the same letter at i (case-insensitive) and advances past it.
    const auto run = [&](std::size_t& i) {
        const char letter = static_cast<char>(pattern[i] | 0x20);
        std::size_t n = 0;
        while (i < pattern.size() && static_cast<char>(pattern[i] | 0x20) == letter) {
            ++n;
            ++i;
        }
        return n;
    };
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const char lower = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            out.append(pattern.substr(i + 1, end - i - 1));
            i = end == pattern.size() ? end : end + 1;
            continue;
        }
        if (lower == 'd') {
            const std::size_t n = run(i);
            if (n >= 3) out += kDayNames[static_cast<std::size_t>(tm.tm_wday)];
            else AppendNumber(out, tm.tm_mday, static_cast<int>(n));
        } else if (lower == 'm') {
            const std::size_t n = run(i);
            if (n >= 3) out += kMonthNames[static_cast<std::size_t>(tm.tm_mon)];
            else AppendNumber(out, tm.tm_mon + 1, static_cast<int>(n));
        } else if (lower == 'y') {
            const std::size_t n = run(i);
            if (n <= 2) AppendNumber(out, (tm.tm_year + 1900) % 100, 2);
            else AppendNumber(out, tm.tm_year + 1900, 4);
        } else if (lower == 'h') {
            AppendNumber(out, tm.tm_hour, static_cast<int>(std::min<std::size_t>(run(i), 2)));
        } else if (lower == 'n') {
            AppendNumber(out, tm.tm_min, static_cast<int>(std::min<std::size_t>(run(i), 2)));
        } else if (lower == 's') {
            AppendNumber(out, tm.tm_sec, static_cast<int>(std::min<std::size_t>(run(i), 2)));
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string FormatUtcNow(std::string_view pattern) {
    return FormatUtc(pattern, std::time(nullptr));
}
