#include "Jis0208.h"

#include <iconv.h>

#include <array>
#include <vector>

namespace {

// Converts one short byte sequence to a single code point with an open iconv
// descriptor; 0 when the converter rejects it or yields anything but one character.
char32_t DecodeOne(iconv_t cd, const unsigned char* bytes, size_t length) {
    char in[4];
    for (size_t i = 0; i < length; ++i) in[i] = static_cast<char>(bytes[i]);
    char out[16];
    char* inPtr = in;
    size_t inLeft = length;
    char* outPtr = out;
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
        outPtr - out != 4) {
        return 0;
    }
    const auto* u = reinterpret_cast<const unsigned char*>(out);
    return static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (u[3] << 24));
}

struct Jis0208Tables {
    std::vector<char32_t> codePoints;
    // Indexed by BMP code point: pointer + 1, or 0 when the plane lacks it.
    std::vector<uint16_t> pointers;
    std::vector<uint16_t> shiftJisPointers;

    Jis0208Tables() : codePoints(kShiftJisRows * kJisCells, 0), pointers(0x10000, 0), shiftJisPointers(0x10000, 0) {
        iconv_t cd = iconv_open("UTF-32LE", "CP932");
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            for (int pointer = 0; pointer < kShiftJisRows * kJisCells; ++pointer) {
                unsigned char sjis[2];
                JisPointerToShiftJis(pointer, sjis[0], sjis[1]);
                codePoints[pointer] = DecodeOne(cd, sjis, 2);
            }
            iconv_close(cd);
        }
        for (int pointer = kJisPlaneRows * kJisCells - 1; pointer >= 0; --pointer) {
            char32_t cp = codePoints[pointer];
            if (cp != 0 && cp < 0x10000) pointers[cp] = static_cast<uint16_t>(pointer + 1);
        }
        // Text from Unix and Mac sources carries the JIS forms of characters that
        // Windows maps to full-width or other code points; both land on one cell.
        static constexpr std::array<std::pair<char32_t, char32_t>, 7> kAliases{{
            {0x301C, 0xFF5E},  // wave dash
            {0x2016, 0x2225},  // double vertical line
            {0x2212, 0xFF0D},  // minus sign
            {0x00A2, 0xFFE0},  // cent sign
            {0x00A3, 0xFFE1},  // pound sign
            {0x00AC, 0xFFE2},  // not sign
            {0x2014, 0x2015},  // em dash
        }};
        for (auto [alias, windows] : kAliases) {
            if (pointers[alias] == 0) pointers[alias] = pointers[windows];
        }
        constexpr int kNecIbmFirst = 88 * kJisCells, kNecIbmEnd = 92 * kJisCells;
        for (int pointer = kShiftJisRows * kJisCells - 1; pointer >= 0; --pointer) {
            const char32_t cp = codePoints[pointer];
            if (cp == 0 || cp >= 0x10000) continue;
            uint16_t& slot = shiftJisPointers[cp];
            const bool necIbm = pointer >= kNecIbmFirst && pointer < kNecIbmEnd;
            const bool slotNecIbm = slot > kNecIbmFirst && slot <= kNecIbmEnd;
            if (slot == 0 || !necIbm || slotNecIbm) slot = static_cast<uint16_t>(pointer + 1);
        }
        for (auto [alias, windows] : kAliases) {
            if (shiftJisPointers[alias] == 0) shiftJisPointers[alias] = shiftJisPointers[windows];
        }
    }
};

// The plane read from the system's EUC-JP converter, and its way back.
struct JisFormTables {
    std::vector<char32_t> codePoints;
    std::vector<uint16_t> pointers;
    JisFormTables() : codePoints(kJisPlaneRows * kJisCells, 0), pointers(0x10000, 0) {
        iconv_t cd = iconv_open("UTF-32LE", "EUC-JP");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (int pointer = 0; pointer < kJisPlaneRows * kJisCells; ++pointer) {
            const unsigned char euc[2] = {static_cast<unsigned char>(0xA1 + pointer / kJisCells),
                                          static_cast<unsigned char>(0xA1 + pointer % kJisCells)};
            codePoints[pointer] = DecodeOne(cd, euc, 2);
        }
        iconv_close(cd);
        for (int pointer = kJisPlaneRows * kJisCells - 1; pointer >= 0; --pointer) {
            const char32_t cp = codePoints[pointer];
            if (cp != 0 && cp < 0x10000) pointers[cp] = static_cast<uint16_t>(pointer + 1);
        }
    }
};

const JisFormTables& JisForm() {
    static const JisFormTables tables;
    return tables;
}

const Jis0208Tables& Tables() {
    static const Jis0208Tables tables;
    return tables;
}

struct Jis0212Table {
    std::vector<char32_t> codePoints;
    Jis0212Table() : codePoints(kJisPlaneRows * kJisCells, 0) {
        iconv_t cd = iconv_open("UTF-32LE", "EUC-JP");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (int pointer = 0; pointer < kJisPlaneRows * kJisCells; ++pointer) {
            const unsigned char euc[3] = {0x8F, static_cast<unsigned char>(0xA1 + pointer / kJisCells),
                                          static_cast<unsigned char>(0xA1 + pointer % kJisCells)};
            codePoints[pointer] = DecodeOne(cd, euc, 3);
        }
        iconv_close(cd);
    }
};

}  // namespace

void JisPointerToShiftJis(int pointer, unsigned char& lead, unsigned char& trail) {
    const int row = pointer / kJisCells + 1;
    const int cell = pointer % kJisCells + 1;
    lead = static_cast<unsigned char>(((row - 1) >> 1) + (row <= 62 ? 0x81 : 0xC1));
    if (row % 2 == 1) {
        trail = static_cast<unsigned char>(cell + (cell <= 63 ? 0x3F : 0x40));
    } else {
        trail = static_cast<unsigned char>(cell + 0x9E);
    }
}

char32_t Jis0208CodePoint(int pointer) {
    if (pointer < 0 || pointer >= kShiftJisRows * kJisCells) return 0;
    return Tables().codePoints[pointer];
}

int Jis0208Pointer(char32_t codePoint) {
    if (codePoint >= 0x10000) return -1;
    return static_cast<int>(Tables().pointers[codePoint]) - 1;
}

int ShiftJisPointer(char32_t codePoint) {
    if (codePoint >= 0x10000) return -1;
    return static_cast<int>(Tables().shiftJisPointers[codePoint]) - 1;
}

char32_t Jis0208JisFormCodePoint(int pointer) {
    if (pointer < 0 || pointer >= kJisPlaneRows * kJisCells) return 0;
    return JisForm().codePoints[pointer];
}

int Jis0208JisFormPointer(char32_t codePoint) {
    if (codePoint >= 0x10000) return -1;
    return static_cast<int>(JisForm().pointers[codePoint]) - 1;
}

char32_t Jis0212CodePoint(int pointer) {
    static const Jis0212Table table;
    if (pointer < 0 || pointer >= kJisPlaneRows * kJisCells) return 0;
    return table.codePoints[pointer];
}
