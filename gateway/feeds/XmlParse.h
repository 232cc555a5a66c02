#pragma once

#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XercesDefs.hpp>

#include <memory>
#include <string>
#include <string_view>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class DOMNode;
XERCES_CPP_NAMESPACE_END

// Parses an XML file or buffer the safe way for files that come from the user or the
// network: no external DTD or entity is loaded, nothing is fetched, entity expansion is
// bounded, no validation, no namespaces. Returns nullptr and a one-line reason in
// *error (when given) for a file that cannot be read or is not well-formed. The parser
// owns the document; the XML library must be initialised (RssManager does it).
std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> ParseXmlFile(const std::string& path,
                                                                    std::string* error);
std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> ParseXmlMemory(std::string_view bytes,
                                                                      std::string* error);

// A feed's own file (latest.xml, sentitems.xml) that may not exist yet: a missing
// file is "nothing yet", not an error, so `present` tells it from one that fails to
// parse. document is null, with the reason in error, when the file is present but
// unreadable or not well-formed; the parser owns it.
struct OptionalXmlFile {
    bool present = false;
    std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> parser;
    const XERCES_CPP_NAMESPACE::DOMDocument* document = nullptr;
    std::string error;
};
OptionalXmlFile ParseXmlFileIfPresent(const std::string& path);

// UTF-16 from the parser to UTF-8, losslessly (surrogate pairs joined; a lone surrogate
// becomes U+FFFD). A null pointer gives an empty text.
std::string ToUtf8(const XMLCh* text);

// The node's name and its first child's value as UTF-8 ("" when there is none).
std::string NodeName(const XERCES_CPP_NAMESPACE::DOMNode* node);
std::string FirstChildValue(const XERCES_CPP_NAMESPACE::DOMNode* node);

// UTF-8 text as a null-terminated XMLCh string for calls into the XML library.
// Invalid UTF-8 bytes become U+FFFD.
class XmlString {
public:
    explicit XmlString(std::string_view utf8);
    const XMLCh* get() const { return text_.c_str(); }
    operator const XMLCh*() const { return text_.c_str(); }

private:
    std::basic_string<XMLCh> text_;
};
