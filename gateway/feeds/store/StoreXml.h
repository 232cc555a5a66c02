#pragma once

// Reading the store's XML files (sentitems.xml, Quillo.xml, feedlist.xml) node by node.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlTextReader;

// A file that may be missing. Missing is not an error; a file that opens but cannot be
// read is Unreadable, with the reason in error.
struct StoreFileBytes {
    enum class Status { Missing, Read, Unreadable };
    Status status = Status::Missing;
    std::string bytes;
    std::string error;
};
StoreFileBytes ReadStoreFile(const std::string& path);

// The attributes of the element being started, valid only inside ElementStart.
class XmlAttributes {
public:
    explicit XmlAttributes(_xmlTextReader* reader) : reader_(reader) {}
    // The value of the attribute with exactly this name, nullopt when there is none.
    std::optional<std::string> Get(const char* name) const;

private:
    _xmlTextReader* reader_;
};

// What a walk of a document reports. path holds the names of the element and of its
// ancestors, the document element first, as written (a prefix stays part of the name).
class XmlVisitor {
public:
    virtual ~XmlVisitor() = default;
    virtual void ElementStart(const std::vector<std::string>& /*path*/, const XmlAttributes& /*attributes*/) {}
    // firstChild is the value of the element's first child node: the text of a text,
    // CDATA, comment or processing-instruction node, "" for an element or an entity
    // reference; nullopt when the element has no child at all.
    virtual void ElementEnd(const std::vector<std::string>& /*path*/,
                            const std::optional<std::string>& /*firstChild*/) {}
};

struct XmlWalkResult {
    std::string error;  // "" for a well-formed document
    std::string root;   // the name of the document element
};

// Kept: the parser's limits on the length of one text (10 MB) and more stay on.
// Lifted: a text may be as long as the file (XML_PARSE_HUGE), for files Quillo wrote.
enum class XmlTextLimit { Kept, Lifted };

// Walks the whole document in document order. error gives the first problem, mostly
// as "line L, column C: message"; the visitor may have seen part of the document by
// then, so callers keep what it gathered only when error is empty.
// Safe for files from anywhere: nothing is fetched, no DTD is loaded, entities are not
// substituted, and the parser's limits on depth and sizes stay on (but the one
// XmlTextLimit::Lifted lifts).
XmlWalkResult WalkXml(std::string_view bytes, XmlVisitor& visitor, XmlTextLimit limit = XmlTextLimit::Kept);
