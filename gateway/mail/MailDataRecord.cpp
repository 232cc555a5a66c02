// The delivered-item record of a message in sentitems.xml.
#include "MailData.h"

#include <xercesc/dom/DOM.hpp>

#include <string>

XERCES_CPP_NAMESPACE_USE

namespace {

// UTF-8 to the library's UTF-16, whole: a value is never cut, whatever its length.
// Bytes that are not UTF-8 become U+FFFD.
std::basic_string<XMLCh> ToXml(const std::string& utf8) {
    std::basic_string<XMLCh> out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else {
            size_t need = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            if (c >= 0xF5) need = 0;
            if (need && i + need <= n) {
                uint32_t v = c & (0xFF >> (need + 1));
                bool good = true;
                for (size_t k = 1; k < need; ++k) {
                    if ((s[i + k] & 0xC0) != 0x80) {
                        good = false;
                        break;
                    }
                    v = (v << 6) | (s[i + k] & 0x3F);
                }
                const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
                if (good && v >= minimum[need] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                    cp = v;
                    len = need;
                }
            }
        }
        if (cp >= 0x10000) {
            out += static_cast<XMLCh>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<XMLCh>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<XMLCh>(cp);
        }
        i += len;
    }
    return out;
}

void AppendTextElement(DOMDocument* document, DOMElement* parent, const char* name,
                       const std::string& value) {
    DOMElement* element = document->createElement(ToXml(name).c_str());
    parent->appendChild(element);
    element->appendChild(document->createTextNode(ToXml(value).c_str()));
}

}  // namespace

void MailData::WriteRecord(DOMDocument* document, DOMElement* root) const {
    DOMElement* item = document->createElement(ToXml("item").c_str());
    root->appendChild(item);
    AppendTextElement(document, item, "subject", subject_);
    AppendTextElement(document, item, "link", link_);
    AppendTextElement(document, item, "date", date_);
}
