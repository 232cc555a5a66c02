#include "FeedText.h"

#include "TextUtil.h"
#include "Utf8.h"

#include <libxml/HTMLparser.h>

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Tags whose start or end breaks the line in a page; in a title they part words.
bool BreaksText(std::string_view name) {
    static constexpr std::string_view kBreaking[] = {"br", "p", "div", "li", "ul", "ol", "tr", "td", "th",
                                                     "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "hr"};
    for (std::string_view tag : kBreaking) {
        if (EqualsIgnoringCase(name, tag)) return true;
    }
    return false;
}

// windows-1252's letters for the references &#128; to &#159;, as browsers read them.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// The character a reference at i ("&amp;", "&#233;", "&#xE9;") stands for, and its
// length; 0 when the "&" starts no reference and stands for itself.
std::size_t DecodeReference(std::string_view html, std::size_t i, std::string& out) {
    const std::size_t semicolon = html.find(';', i + 1);
    if (semicolon == std::string_view::npos || semicolon - i > 40) return 0;
    const std::string_view body = html.substr(i + 1, semicolon - i - 1);
    if (body.empty()) return 0;
    char32_t cp = 0;
    if (body[0] == '#') {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return 0;
        for (char c : digits) {
            int v;
            if (c >= '0' && c <= '9') v = c - '0';
            else if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
            else return 0;
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
        }
        if (cp >= 0x80 && cp < 0xA0) cp = kWindows1252High[cp - 0x80];
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    } else if (body == "apos") {
        cp = '\'';
    } else {
        const std::string name(body);
        const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
        if (!entity) return 0;
        cp = entity->value;
    }
    AppendUtf8(out, cp);
    return semicolon - i + 1;
}

// The end of the markup that starts at i with "<", or npos when the "<" is text.
std::size_t MarkupEnd(std::string_view html, std::size_t i, bool& breaks) {
    breaks = false;
    if (html.compare(i, 4, "<!--") == 0) {
        const std::size_t end = html.find("-->", i + 4);
        return end == std::string_view::npos ? html.size() : end + 3;
    }
    if (i + 1 >= html.size()) return std::string_view::npos;
    const char next = html[i + 1];
    const bool closing = next == '/';
    if (!IsAsciiLetter(closing ? (i + 2 < html.size() ? html[i + 2] : ' ') : next) && next != '!' && next != '?')
        return std::string_view::npos;
    const std::size_t end = html.find('>', i);
    if (end == std::string_view::npos) return html.size();
    std::size_t nameStart = i + (closing ? 2 : 1);
    std::size_t nameEnd = nameStart;
    while (nameEnd < end && (IsAsciiLetter(html[nameEnd]) || (html[nameEnd] >= '0' && html[nameEnd] <= '9'))) ++nameEnd;
    const std::string_view name = html.substr(nameStart, nameEnd - nameStart);
    breaks = BreaksText(name);
    // What a script or style holds is no text of the page.
    if (!closing && (EqualsIgnoringCase(name, "script") || EqualsIgnoringCase(name, "style"))) {
        const std::string close = "</" + ToLowerCopy(name);
        const std::string lower = ToLowerCopy(html.substr(end));
        const std::size_t at = lower.find(close);
        if (at == std::string::npos) return html.size();
        const std::size_t closeEnd = html.find('>', end + at);
        return closeEnd == std::string_view::npos ? html.size() : closeEnd + 1;
    }
    return end + 1;
}

}  // namespace

TextType TextTypeOf(const std::string* type, const std::string* mode) {
    if (!type) return TextType::Text;
    const std::string_view value = Trim(*type);
    if (EqualsIgnoringCase(value, "xhtml") || EqualsIgnoringCase(value, "application/xhtml+xml"))
        return TextType::Xhtml;
    if (EqualsIgnoringCase(value, "html")) return TextType::Html;
    if (EqualsIgnoringCase(value, "text/html"))
        return mode && EqualsIgnoringCase(Trim(*mode), "xml") ? TextType::Xhtml : TextType::Html;
    return TextType::Text;
}

std::string PlainTextOfHtml(std::string_view html) {
    std::string text;
    text.reserve(html.size());
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '<') {
            bool breaks = false;
            const std::size_t end = MarkupEnd(html, i, breaks);
            if (end != std::string_view::npos) {
                if (breaks) text += ' ';
                i = end;
                continue;
            }
        } else if (c == '&') {
            if (const std::size_t length = DecodeReference(html, i, text)) {
                i += length;
                continue;
            }
        }
        text += c;
        ++i;
    }
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (char c : text) {
        if (IsHtmlSpace(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

bool LooksLikeHtml(std::string_view text) {
    for (std::size_t i = text.find_first_of("<&"); i != std::string_view::npos; i = text.find_first_of("<&", i + 1)) {
        if (text[i] == '<') {
            if (i + 1 >= text.size()) break;
            const char next = text[i + 1];
            if (IsAsciiLetter(next) || (next == '/' && i + 2 < text.size() && IsAsciiLetter(text[i + 2])) ||
                text.compare(i, 4, "<!--") == 0)
                return true;
            continue;
        }
        std::string decoded;
        if (DecodeReference(text, i, decoded) > 0) return true;
    }
    return false;
}
