// The editor once converted through iconv. Its results are a promise (a document
// reads as it did), so the old conversions are kept here and compared with the
// shared converter over every code point and every short byte sequence.
#include "jconvert.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cerrno>
#include <random>
#include <string>

#include "Utf8.h"

namespace {

std::string IconvConvert(std::string_view text, const char* from, const char* to, std::string_view replacement) {
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

std::string OldShiftJisToUtf8(std::string_view text) {
    return IconvConvert(text, "CP932", "UTF-8", "\xEF\xBF\xBD");
}

std::string OldUtf8ToShiftJis(std::string_view text) { return IconvConvert(ValidUtf8(text), "UTF-8", "CP932", "?"); }

std::string OldConvertToDocument(std::string_view utf8, std::string_view documentEncoding) {
    const char* to = documentEncoding == "EUC-JP"       ? "EUC-JP"
                     : documentEncoding == "SHIFT_JIS"  ? "CP932"
                     : documentEncoding == "ISO-8859-1" ? "ISO-8859-1"
                                                        : nullptr;
    const std::string text = ValidUtf8(utf8);
    if (to == nullptr) return text;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = std::max<std::size_t>(1, Utf8SequenceLength(text, i));
        const std::string piece = IconvConvert(text.substr(i, length), "UTF-8", to, "\x1A");
        const bool missing = piece.empty() || piece.find('\x1A') != std::string::npos ||
                             (to == std::string_view("EUC-JP") && static_cast<unsigned char>(piece[0]) == 0x8F);
        out += missing ? std::string("?") : piece;
        i += length;
    }
    return out;
}

bool OldUtf16ToUtf8(std::string_view text, const char* from, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::array<char, 4096> buffer;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        out += kDigits[static_cast<unsigned char>(c) >> 4];
        out += kDigits[static_cast<unsigned char>(c) & 0x0F];
    }
    return out;
}

// Counts the inputs whose results differ and names the first few.
class Mismatches {
public:
    void Check(std::string_view input, const std::string& before, const std::string& now) {
        if (before == now) return;
        if (++count_ <= 10) ADD_FAILURE() << Hex(input) << ": before " << Hex(before) << ", now " << Hex(now);
    }
    int Count() const { return count_; }

private:
    int count_ = 0;
};

// Every byte, every pair, every pair with a third byte of each kind, and random
// runs over the bytes where the sets have their edges.
template <class Check>
void ForEveryShortByteSequence(Check check) {
    for (int a = 0; a < 256; ++a) check(std::string(1, static_cast<char>(a)));
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string pair{static_cast<char>(a), static_cast<char>(b)};
            check(pair);
            if (a < 0x80) continue;
            for (const char third : {'\x40', '\x7F', '\x80', '\x8E', '\x8F', '\xA1', '\xE0', '\xFE'}) check(pair + third);
        }
    }
    static constexpr unsigned char kEdges[] = {0x00, 0x1B, 0x40, 0x5C, 0x7E, 0x7F, 0x80, 0x81, 0x87, 0x8E,
                                               0x8F, 0x9F, 0xA0, 0xA1, 0xAD, 0xDF, 0xE0, 0xED, 0xEE, 0xEF,
                                               0xF0, 0xF4, 0xF5, 0xF9, 0xFA, 0xFC, 0xFD, 0xFE, 0xFF};
    std::mt19937 random(20240607);
    for (int i = 0; i < 100000; ++i) {
        std::string run(1 + random() % 9, '\0');
        for (char& c : run) c = static_cast<char>(random() % 3 ? kEdges[random() % std::size(kEdges)] : random() % 256);
        check(run);
    }
}

std::string Utf8Of(char32_t cp) {
    std::string out;
    AppendUtf8(out, cp);
    return out;
}

}  // namespace

TEST(JconvertIconvParity, ShiftJisAndEucJpDocumentsReadAsBefore) {
    Mismatches shiftJis, eucJp;
    ForEveryShortByteSequence([&](const std::string& bytes) {
        shiftJis.Check(bytes, OldShiftJisToUtf8(bytes), ConvertFromDocument(bytes, "SHIFT_JIS"));
        eucJp.Check(bytes, OldShiftJisToUtf8(EucJpToShiftJis(bytes)), ConvertFromDocument(bytes, "EUC-JP"));
    });
    // The JIS X 0212 plane and half-width kana of EUC-JP, whole.
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const std::string bytes{'\x8F', static_cast<char>(lead), static_cast<char>(trail)};
            eucJp.Check(bytes, OldShiftJisToUtf8(EucJpToShiftJis(bytes)), ConvertFromDocument(bytes, "EUC-JP"));
        }
    }
    EXPECT_EQ(shiftJis.Count(), 0);
    EXPECT_EQ(eucJp.Count(), 0);
}

TEST(JconvertIconvParity, CharacterReferencesAreWrittenInTheDocumentEncodingAsBefore) {
    for (const char* encoding : {"SHIFT_JIS", "EUC-JP", "ISO-8859-1", "UTF-8", "ISO-2022-JP"}) {
        Mismatches mismatches;
        for (char32_t cp = 0; cp <= 0x10FFFF; cp += cp < 0x10000 ? 1 : 97) {
            if (cp >= 0xD800 && cp <= 0xDFFF) continue;
            const std::string utf8 = Utf8Of(cp);
            mismatches.Check(utf8, OldConvertToDocument(utf8, encoding), ConvertToDocument(utf8, encoding));
        }
        for (const std::string& bytes : {std::string("\xFF"), std::string("a\xE6\x97"), std::string("\xED\xA0\x80")})
            mismatches.Check(bytes, OldConvertToDocument(bytes, encoding), ConvertToDocument(bytes, encoding));
        EXPECT_EQ(mismatches.Count(), 0) << encoding;
    }
}

TEST(JconvertIconvParity, Utf8ToShiftJisWritesAsBefore) {
    Mismatches mismatches;
    std::string all;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string utf8 = Utf8Of(cp);
        all += utf8;
        mismatches.Check(utf8, OldUtf8ToShiftJis(utf8), Utf8ToShiftJis(utf8));
    }
    all += "\xF0\x9F\x98\x80\xFF\xE6\x97";
    mismatches.Check("every code point", OldUtf8ToShiftJis(all), Utf8ToShiftJis(all));
    EXPECT_EQ(mismatches.Count(), 0);
}

TEST(JconvertIconvParity, Utf16DocumentsDecodeAsBefore) {
    Mismatches mismatches;
    const auto check = [&](const std::string& units) {
        for (const bool bigEndian : {false, true}) {
            std::string before, now;
            const bool wasOk = OldUtf16ToUtf8(units, bigEndian ? "UTF-16BE" : "UTF-16LE", before);
            const bool isOk = Utf16ToUtf8(units, bigEndian, now);
            // A refused document shows only its error, so only an accepted one's text counts.
            mismatches.Check(units, wasOk ? "ok " + before : "refused", isOk ? "ok " + now : "refused");
        }
    };
    for (int a = 0; a < 256; ++a) {
        check(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b) {
            const std::string unit{static_cast<char>(a), static_cast<char>(b)};
            check(unit);
            check(unit + "a");
            check(unit + std::string("a\0", 2));
        }
    }
    for (int high = 0xD800; high <= 0xDFFF; high += 7) {
        for (int low = 0xD800; low <= 0xE000; low += 11) {
            check({static_cast<char>(high & 0xFF), static_cast<char>(high >> 8), static_cast<char>(low & 0xFF),
                   static_cast<char>(low >> 8)});
        }
    }
    EXPECT_EQ(mismatches.Count(), 0);
}

TEST(JconvertIconvParity, Iso2022JpDocumentsAreKeptAsTheyStand) {
    // The editor never converted ISO-2022-JP: its bytes are kept, made valid UTF-8.
    EXPECT_EQ(ConvertFromDocument("\x1B$BF|K\\\x1B(B", "ISO-2022-JP"), "\x1B$BF|K\\\x1B(B");
    EXPECT_EQ(ConvertToDocument("\xE6\x97\xA5", "ISO-2022-JP"), "\xE6\x97\xA5");
}
