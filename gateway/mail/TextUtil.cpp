#include "TextUtil.h"

#include <algorithm>

std::string ToUpperCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string ToLowerCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string ReplaceAll(std::string text, std::string_view oldText, std::string_view newText) {
    if (oldText.empty()) return text;
    // Each round replaces the first occurrence in the current text. Nothing before it
    // matched, so a new occurrence can only start within oldText.size() - 1 bytes before
    // the replacement; the search resumes there instead of at the start. The cap only
    // stops a pathological pair whose replacements keep forming new occurrences.
    std::size_t rounds = 4 * text.size() + 16;
    std::string::size_type pos = text.find(oldText);
    while (pos != std::string::npos && rounds-- > 0) {
        text.replace(pos, oldText.size(), newText);
        const std::string::size_type back = std::min(pos, oldText.size() - 1);
        pos = text.find(oldText, pos - back);
    }
    return text;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
