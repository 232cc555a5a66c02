#pragma once

#include <cstdint>

// The JIS X 0208 plane as Windows uses it: rows 1-94 with NEC row 13 and the
// NEC-selected IBM extensions (rows 89-92), and for Shift_JIS also rows 95-120
// (user-defined area and IBM extensions). A pointer is (row - 1) * 94 + (cell - 1).
// The tables are read once from the system's CP932 and EUC-JP converters.

inline constexpr int kJisCells = 94;
inline constexpr int kJisPlaneRows = 94;
inline constexpr int kShiftJisRows = 120;

// The code point at a pointer of rows 1-120, or 0 where the cell is empty.
char32_t Jis0208CodePoint(int pointer);

// The lowest pointer of rows 1-94 that holds the code point, or -1. Both the
// Windows and the JIS forms of the few characters they map differently (wave
// dash, minus, double vertical line, cent, pound, not, em dash) are found.
int Jis0208Pointer(char32_t codePoint);

// The lowest pointer of rows 1-120 that holds the code point, rows 89-92 only when no
// other row does (the IBM rows 115-119 are preferred, as Windows writes them), or -1.
// The JIS forms of Jis0208Pointer are found too.
int ShiftJisPointer(char32_t codePoint);

// The plane as the system's EUC-JP converter reads it: the JIS forms, no NEC row 13,
// no IBM rows. The code point at a pointer of rows 1-94 (0 where empty), and the
// lowest pointer that holds a code point (or -1).
char32_t Jis0208JisFormCodePoint(int pointer);
int Jis0208JisFormPointer(char32_t codePoint);

// JIS X 0212 (supplementary kanji, EUC-JP's 0x8F plane), rows 1-94; 0 where empty.
char32_t Jis0212CodePoint(int pointer);

// The Shift_JIS bytes of a pointer of rows 1-120.
void JisPointerToShiftJis(int pointer, unsigned char& lead, unsigned char& trail);
