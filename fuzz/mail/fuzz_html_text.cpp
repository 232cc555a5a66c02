// Any bytes as an HTML body piece: rendered as text, cleaned as HTML and composed into
// both kinds of message. It must never crash or hang, no rendered line may pass 998
// octets, every message must stay 7-bit, and the cleaned HTML, read again, must hold
// nothing a reader would run: no event or style attribute, no script, style, SVG or
// MathML, no link or image URL but http, https or mailto.
#include "HtmlCleaner.h"
#include "HtmlText.h"
#include "MailData.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void CheckLines(std::string_view text) {
    std::size_t length = 0;
    for (char c : text) {
        length = c == '\n' ? 0 : length + 1;
        if (length > kMaxTextLine) std::abort();
    }
}

bool SafeScheme(std::string_view url) {
    std::string read;
    for (char c : url) {
        if (c != '\t' && c != '\n' && c != '\r') read += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::size_t start = read.find_first_not_of(std::string_view("\0\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c\x0e\x0f"
                                                                      "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b"
                                                                      "\x1c\x1d\x1e\x1f ", 30));
    if (start == std::string::npos) return false;
    read.erase(0, start);
    return read.starts_with("http:") || read.starts_with("https:") || read.starts_with("mailto:");
}

void CheckClean(const std::string& html) {
    if (html.empty()) return;
    xmlDoc* doc = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                                 HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (doc == nullptr) return;
    std::vector<xmlNode*> stack;
    for (xmlNode* child = doc->children; child != nullptr; child = child->next) stack.push_back(child);
    while (!stack.empty()) {
        xmlNode* node = stack.back();
        stack.pop_back();
        for (xmlNode* child = node->children; child != nullptr; child = child->next) stack.push_back(child);
        if (node->type != XML_ELEMENT_NODE) continue;
        const std::string_view name(reinterpret_cast<const char*>(node->name));
        if (name == "script" || name == "style" || name == "svg" || name == "math" || name == "iframe") std::abort();
        for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
            const std::string_view attribute(reinterpret_cast<const char*>(a->name));
            if (attribute.starts_with("on") || attribute == "style") std::abort();
            if (attribute == "href" || attribute == "src") {
                xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(a));
                const bool safe = value != nullptr && SafeScheme(reinterpret_cast<const char*>(value));
                xmlFree(value);
                if (!safe) std::abort();
            }
        }
    }
    xmlFreeDoc(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    CheckLines(HtmlToText(html));
    CheckClean(CleanHtml(html));
    CheckClean(HtmlLinkLine(html.substr(0, 200)));
    // The first byte picks HTML mail and the charset setting.
    const uint8_t mode = size ? data[0] : 0;
    MailData mail((mode & 1) != 0, (mode & 2) ? MailCharset::Iso2022Jp : MailCharset::Auto);
    mail.SetSender("Fuzz");
    mail.SetSubject(html.substr(0, 200));
    mail.SetLink(html.substr(0, 100));
    mail.AddBody(html, true);
    for (unsigned char c : mail.GetText()) {
        if (c >= 0x80) std::abort();  // mail text leaves the gateway 7-bit
    }
    return 0;
}
