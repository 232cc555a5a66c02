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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view TrimStart(std::string_view text, std::string_view blanks) {
    const auto first = text.find_first_not_of(blanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimEnd(std::string_view text, std::string_view blanks) {
    const auto last = text.find_last_not_of(blanks);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    return TrimEnd(TrimStart(text, blanks), blanks);
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
