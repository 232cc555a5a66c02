#include "jconvert.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "Utf8Text.h"

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Text::SequenceLength(text, i);
        if (length == 0) {
            out += kReplacementCharacter;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

// Whole-string conversion through iconv; an input byte that does not convert is
// replaced and skipped, so the conversion always finishes.
std::string Convert(std::string_view text, const char* from, const char* to,
                    std::string_view replacement) {
    if (text.empty()) return {};
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    std::array<char, 4096> buffer;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated character at the end): skip one byte.
            out += replacement;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    iconv_close(cd);
    return out;
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
    return Convert(text, "CP932", "UTF-8", kReplacementCharacter);
}

std::string Utf8ToShiftJis(std::string_view text) {
    return Convert(ValidUtf8(text), "UTF-8", "CP932", "?");
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
    const char* to = documentEncoding == "EUC-JP"       ? "EUC-JP"
                     : documentEncoding == "SHIFT_JIS"  ? "CP932"
                     : documentEncoding == "ISO-8859-1" ? "ISO-8859-1"
                                                        : nullptr;
    const std::string text = ValidUtf8(utf8);
    if (to == nullptr) return text;
    // Character by character, so that one missing character is one "?". JIS X 0212
    // (EUC-JP's three-byte form) is missing too: the way back through Shift_JIS
    // cannot carry it.
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = std::max<std::size_t>(1, Utf8Text::SequenceLength(text, i));
        const std::string piece = Convert(text.substr(i, length), "UTF-8", to, "\x1A");
        const bool missing = piece.empty() || piece.find('\x1A') != std::string::npos ||
                             (to == std::string_view("EUC-JP") &&
                              static_cast<unsigned char>(piece[0]) == 0x8F);
        out += missing ? std::string("?") : piece;
        i += length;
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
