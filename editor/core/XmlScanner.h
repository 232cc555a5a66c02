#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An attribute list (or the pseudo-attributes of a processing instruction) in
// document order. Lookup is by exact, case-sensitive name; an absent name reads as
// the empty string.
class XmlAttributes {
public:
    void Add(std::string name, std::string value);
    const std::string& Value(std::string_view name) const;
    bool Has(std::string_view name) const;
    std::size_t Size() const { return items_.size(); }
    const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// Receives the scanner's events in document order. Every string is UTF-8 when the
// document is UTF-8 (declared or by default); for any other declared encoding the
// bytes are delivered as they stand in the document.
class XmlScannerHandler {
public:
    virtual ~XmlScannerHandler() = default;
    virtual void XmlProlog(const std::string& /*version*/, bool /*standalone*/,
                           const std::string& /*encoding*/) {}
    virtual void ProcessingInstruction(const std::string& /*target*/,
                                       const XmlAttributes& /*pseudoAttributes*/,
                                       const std::string& /*content*/) {}
    virtual void StartTag(const std::string& /*name*/, const XmlAttributes& /*attributes*/) {}
    // An element written as <x/> raises only this event, never an end tag.
    virtual void EmptyTag(const std::string& /*name*/, const XmlAttributes& /*attributes*/) {}
    virtual void EndTag(const std::string& /*name*/) {}
    // Character data with white space trimmed and inner runs folded to one space;
    // never empty.
    virtual void Content(const std::string& /*text*/) {}
};

// How a scan ended. A malformed document stops the scan at the first error; the
// events delivered before it stand.
struct XmlScanResult {
    bool ok = true;
    std::string error;      // English description of the first error, empty when ok
    std::size_t line = 0;   // 1-based position of the error
    std::size_t column = 0;
};

// Our own event-driven XML scanner: XML declaration, processing instructions,
// comments, CDATA sections, a DOCTYPE with an internal subset (internal entities are
// expanded, within limits), start, empty-element and end tags, character and
// predefined entity references. External entities are never read.
class XmlScanner {
public:
    explicit XmlScanner(XmlScannerHandler& handler);

    XmlScanResult ScanFile(const std::string& path);
    XmlScanResult ScanBuffer(std::string_view text);

private:
    XmlScannerHandler& handler_;
};
