#include "MaildirFolderName.h"

#include <algorithm>

#include "Utf8.h"

namespace {

constexpr std::size_t kMaxFileName = 255;

// The code point at text[i] (valid UTF-8), advancing i.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const std::size_t length = Utf8SequenceLength(text, i);
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    char32_t cp = 0;
    if (length == 1) cp = byte(0);
    else if (length == 2) cp = (byte(0) & 0x1fu) << 6 | (byte(1) & 0x3fu);
    else if (length == 3) cp = (byte(0) & 0x0fu) << 12 | (byte(1) & 0x3fu) << 6 | (byte(2) & 0x3fu);
    else cp = (byte(0) & 0x07u) << 18 | (byte(1) & 0x3fu) << 12 | (byte(2) & 0x3fu) << 6 | (byte(3) & 0x3fu);
    i += length;
    return cp;
}

bool IsControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7f && cp <= 0x9f); }

std::string CleanName(std::string_view raw, bool topLevel) {
    const std::string text = ValidUtf8(raw);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = NextCodePoint(text, i);
        if (IsControl(cp) || cp == ' ') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else if (cp == '.' || cp == '/' || cp == '\\' || cp == '*' || cp == '%') {
            out += '_';
        } else {
            out.append(text, start, i - start);
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    if (!out.empty() && out.front() == '~') out.front() = '_';
    if (out.empty()) out = "_";
    std::string upper = out;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    if (topLevel && upper == "INBOX") out += '_';
    return out;
}

std::string Encode(std::string_view name, FolderNameEncoding encoding) {
    return encoding == FolderNameEncoding::Utf8 ? std::string(name) : EncodeModifiedUtf7(name);
}

void DropLastCodePoint(std::string& text) {
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xc0u) == 0x80u) text.pop_back();
    if (!text.empty()) text.pop_back();
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.empty()) text = "_";
}

}  // namespace

std::string EncodeModifiedUtf7(std::string_view utf8) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
    const std::string text = ValidUtf8(utf8);
    std::string out;
    std::u16string run;  // characters waiting to be written in base64
    auto flush = [&] {
        if (run.empty()) return;
        out += '&';
        unsigned bits = 0;
        int count = 0;
        for (const char16_t unit : run) {
            bits = (bits << 16) | unit;
            count += 16;
            while (count >= 6) {
                count -= 6;
                out += kAlphabet[(bits >> count) & 0x3fu];
            }
            bits &= (1u << count) - 1;
        }
        if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3fu];
        out += '-';
        run.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = NextCodePoint(text, i);
        if (cp >= 0x20 && cp <= 0x7e) {
            flush();
            out += cp == '&' ? std::string("&-") : std::string(1, static_cast<char>(cp));
        } else if (cp >= 0x10000) {
            run += static_cast<char16_t>(0xd800 + ((cp - 0x10000) >> 10));
            run += static_cast<char16_t>(0xdc00 + ((cp - 0x10000) & 0x3ffu));
        } else {
            run += static_cast<char16_t>(cp);
        }
    }
    flush();
    return out;
}

std::string MaildirPlusPlusFolder(const std::vector<std::string>& names, FolderNameEncoding encoding) {
    std::vector<std::string> clean;
    for (const auto& name : names) clean.push_back(CleanName(name, clean.empty()));
    if (clean.empty()) clean.push_back("_");
    for (;;) {
        std::string folder;
        std::size_t longest = 0;
        std::size_t longestSize = 0;
        for (std::size_t i = 0; i < clean.size(); ++i) {
            const std::string encoded = Encode(clean[i], encoding);
            folder += '.' + encoded;
            if (encoded.size() > longestSize) {
                longest = i;
                longestSize = encoded.size();
            }
        }
        if (folder.size() <= kMaxFileName || longestSize <= 1) return folder;
        DropLastCodePoint(clean[longest]);
    }
}
