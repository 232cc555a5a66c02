#include "XmlParse.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "TextUtil.h"

XERCES_CPP_NAMESPACE_USE

namespace {

// Enough for any honest document; a "billion laughs" stops here instead of eating memory.
constexpr XMLSize_t kEntityExpansionLimit = 10000;

// Every external DTD, external entity and schema resolves to nothing, so a document can
// neither reach the network nor read other local files.
class NothingResolver : public XMLEntityResolver {
public:
    InputSource* resolveEntity(XMLResourceIdentifier*) override {
        static const XMLByte kEmpty[] = {0};
        return new MemBufInputSource(kEmpty, 0, "empty", false);
    }
};

// Keeps the first problem; the parse itself stops at the first fatal error.
class FirstErrorHandler : public ErrorHandler {
public:
    void warning(const SAXParseException&) override {}
    void error(const SAXParseException& e) override { Keep(e); }
    void fatalError(const SAXParseException& e) override { Keep(e); }
    void resetErrors() override {}
    bool HasError() const { return failed_; }
    const std::string& Message() const { return message_; }

private:
    void Keep(const SAXParseException& e) {
        if (failed_) return;
        failed_ = true;
        std::ostringstream text;
        text << "line " << e.getLineNumber() << ", column " << e.getColumnNumber() << ": "
             << ToUtf8(e.getMessage());
        message_ = text.str();
    }
    bool failed_ = false;
    std::string message_;
};

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

std::unique_ptr<XercesDOMParser> ParseXmlMemory(std::string_view bytes, std::string* error) {
    auto parser = std::make_unique<XercesDOMParser>();
    NothingResolver resolver;
    FirstErrorHandler handler;
    SecurityManager security;
    security.setEntityExpansionLimit(kEntityExpansionLimit);

    parser->setValidationScheme(XercesDOMParser::Val_Never);
    parser->setDoNamespaces(false);
    parser->setDoSchema(false);
    parser->setLoadExternalDTD(false);
    parser->setLoadSchema(false);
    parser->setSkipDTDValidation(true);
    parser->setDisableDefaultEntityResolution(true);
    parser->setCreateEntityReferenceNodes(false);
    parser->setXMLEntityResolver(&resolver);
    parser->setErrorHandler(&handler);
    parser->setSecurityManager(&security);

    bool ok = true;
    std::string reason;
    try {
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(),
                                 "document", false);
        parser->parse(source);
    } catch (const OutOfMemoryException&) {
        ok = false;
        reason = "out of memory";
    } catch (const XMLException& e) {
        ok = false;
        reason = ToUtf8(e.getMessage());
    } catch (const SAXParseException& e) {
        ok = false;
        reason = ToUtf8(e.getMessage());
    } catch (const DOMException& e) {
        ok = false;
        reason = ToUtf8(e.getMessage());
    } catch (...) {
        ok = false;
        reason = "unexpected failure of the XML parser";
    }
    // The parser must not keep pointers to these locals once they are gone.
    parser->setXMLEntityResolver(nullptr);
    parser->setErrorHandler(nullptr);
    parser->setSecurityManager(nullptr);

    if (ok && handler.HasError()) {
        ok = false;
        reason = handler.Message();
    }
    if (ok && parser->getErrorCount() > 0) {
        ok = false;
        reason = "not well-formed";
    }
    if (ok && (!parser->getDocument() || !parser->getDocument()->getDocumentElement())) {
        ok = false;
        reason = "no document element";
    }
    if (!ok) {
        SetError(error, reason.empty() ? "not well-formed" : reason);
        return nullptr;
    }
    return parser;
}

std::unique_ptr<XercesDOMParser> ParseXmlFile(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        SetError(error, "cannot open " + path);
        return nullptr;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        SetError(error, "cannot read " + path);
        return nullptr;
    }
    std::string reason;
    auto parser = ParseXmlMemory(content.str(), &reason);
    if (!parser) SetError(error, path + ": " + reason);
    return parser;
}

OptionalXmlFile ParseXmlFileIfPresent(const std::string& path) {
    OptionalXmlFile file;
    if (std::FILE* handle = std::fopen(path.c_str(), "rb")) {
        std::fclose(handle);
    } else {
        return file;
    }
    file.present = true;
    file.parser = ParseXmlFile(path, &file.error);
    file.document = file.parser ? file.parser->getDocument() : nullptr;
    return file;
}

std::string ToUtf8(const XMLCh* text) {
    std::string out;
    if (!text) return out;
    for (const XMLCh* p = text; *p; ++p) {
        uint32_t unit = static_cast<uint16_t>(*p);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t next = static_cast<uint16_t>(p[1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++p;
                continue;
            }
            AppendUtf8(out, 0xFFFD);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string NodeName(const DOMNode* node) { return node ? ToUtf8(node->getNodeName()) : ""; }

std::string FirstChildValue(const DOMNode* node) {
    if (!node || !node->getFirstChild()) return "";
    return ToUtf8(node->getFirstChild()->getNodeValue());
}

XmlString::XmlString(std::string_view utf8) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t n = utf8.size();
    size_t i = 0;
    auto push = [this](uint32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text_ += static_cast<XMLCh>(0xD800 + (cp >> 10));
            text_ += static_cast<XMLCh>(0xDC00 + (cp & 0x3FF));
        } else {
            text_ += static_cast<XMLCh>(cp);
        }
    };
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            push(c);
            ++i;
            continue;
        }
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= n) {
            push(0xFFFD);
            ++i;
            continue;
        }
        uint32_t cp = extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = s[i + static_cast<size_t>(k)];
            if ((cc & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            push(0xFFFD);
            ++i;
            continue;
        }
        push(cp);
        i += static_cast<size_t>(extra) + 1;
    }
}
