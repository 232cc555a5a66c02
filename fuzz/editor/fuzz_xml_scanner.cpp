// Any bytes: the scanner ends (no crash, hang or leak), an error comes with a text,
// empty-element tags never raise end tags, and content reaches handlers normalised.
#include "XmlScanner.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Checker : public XmlScannerHandler {
public:
    std::vector<std::string> open;

    void StartTag(const std::string& name, const XmlAttributes&) override {
        if (name.empty()) std::abort();
        open.push_back(name);
    }
    void EmptyTag(const std::string& name, const XmlAttributes&) override {
        if (name.empty()) std::abort();
    }
    void EndTag(const std::string& name) override {
        // Every end tag closes the element opened last.
        if (open.empty() || open.back() != name) std::abort();
        open.pop_back();
    }
    void Content(const std::string& text) override {
        if (text.empty() || text.front() == ' ' || text.back() == ' ') std::abort();
        if (text.find("  ") != std::string::npos) std::abort();
        for (const char c : text) {
            if (c == '\t' || c == '\n' || c == '\r') std::abort();
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Checker checker;
    XmlScanner scanner(checker);
    const XmlScanResult result =
        scanner.ScanBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!result.ok && result.error.empty()) std::abort();
    if (result.ok && !checker.open.empty()) std::abort();
    return 0;
}
