#pragma once

#include <string>
#include <string_view>
#include <vector>

// A streaming view of an XML document on libxml2's SAX2 interface, shaped like the
// nodes of a tree: character data comes as whole text runs, each CDATA section as one
// piece, and comments and processing instructions as nodes of their own. Nothing of
// the document is kept after its event, so memory does not grow with the document.
//
// Safe for documents from the network: nothing is ever loaded (no DTD, no external
// entity, no network), no entity is declared or expanded beyond the five predefined
// ones, and libxml2's depth and size limits stay on.

struct XmlAttribute {
    std::string_view local;
    std::string_view prefix;
    std::string_view ns;  // namespace URI, "" for none
    std::string value;    // references decoded
};

struct XmlElementStart {
    std::string_view local;
    std::string_view prefix;
    std::string_view ns;
    std::vector<XmlAttribute> attributes;
    // Namespace declarations of this element as (prefix, URI); "" is the default one.
    std::vector<std::pair<std::string_view, std::string_view>> namespaces;

    // The attribute of that local name without a namespace, or nullptr.
    const std::string* Attribute(std::string_view name) const;
    // The attribute of that namespace and local name, or nullptr.
    const std::string* Attribute(std::string_view nsUri, std::string_view name) const;
};

enum class XmlNodeKind { Text, Cdata, Comment, ProcessingInstruction };

class XmlEventSink {
public:
    virtual ~XmlEventSink() = default;
    virtual void StartElement(const XmlElementStart& element) = 0;
    virtual void EndElement() = 0;
    virtual void Node(XmlNodeKind kind, std::string_view value) = 0;
    // Set to end the parse early (the sink has seen all it needs).
    bool stop = false;
};

struct XmlParseOutcome {
    // No well-formedness error, and no reference to an entity that is not declared
    // (libxml2 only warns of those when the document names an external DTD).
    bool clean = false;
    bool wellFormed = false;  // clean but for references to undeclared entities
    std::string firstError;  // "line N: message" of the first error
    bool flattened = false;  // elements nested too deep were read as their text
};

// Parses the bytes; recover asks libxml2 to go on after errors where it can.
XmlParseOutcome ParseXmlEvents(std::string_view bytes, bool recover, XmlEventSink& sink);
