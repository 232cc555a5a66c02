#include "TextUtil.h"

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
    // Searching from the start each time is what the callers rely on; it stays linear
    // because the replacement never contains the old text, so we resume after it.
    std::string::size_type pos = text.find(oldText);
    std::string::size_type from = 0;
    if (pos == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    while (pos != std::string::npos) {
        out.append(text, from, pos - from);
        out.append(newText);
        from = pos + oldText.size();
        pos = text.find(oldText, from);
    }
    out.append(text, from, std::string::npos);
    return out;
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
