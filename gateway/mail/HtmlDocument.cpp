#include "HtmlDocument.h"

#include "KanjiCodec.h"
#include "Utf8.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <climits>

namespace {

constexpr int kParseOptions = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_RECOVER | HTML_PARSE_IGNORE_ENC | HTML_PARSE_NODEFDTD;

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// The parser is told the input is UTF-8; it would switch to Latin-1 at the first bad
// sequence and stop at a NUL, so both become U+FFFD first.
bool IsValidUtf8WithoutNul(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0) return false;
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = cp << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string ParserInput(std::string_view bytes) {
    if (IsValidUtf8WithoutNul(bytes)) return std::string(bytes);
    std::u32string codePoints;
    auto decoder = MakeKanjiDecoder('W');
    decoder->Decode(bytes, codePoints);
    decoder->Finish(codePoints);
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char32_t cp : codePoints) AppendUtf8(out, cp == 0 ? 0xFFFD : cp);
    return out;
}

}  // namespace

HtmlDocPointer ParseHtmlPiece(std::string_view html) {
    const std::string text = ParserInput(html);
    if (text.empty()) return nullptr;
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    return HtmlDocPointer(htmlReadMemory(text.data(), size, nullptr, "UTF-8", kParseOptions));
}

std::string NodeAttribute(xmlNode* node, const char* name) {
    std::unique_ptr<xmlChar, XmlFree> value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    return value ? std::string(reinterpret_cast<const char*>(value.get())) : std::string();
}

xmlNode* HtmlBody(xmlNode* root) {
    for (xmlNode* child = root->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && NodeName(child) == "body") return child;
    }
    return nullptr;
}
