#include "XmlScanner.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "TextUtil.h"
#include "Utf8.h"
#include "jconvert.h"

namespace {

const std::string kEmpty;

// Larger inputs are refused rather than held in memory twice.
constexpr std::size_t kMaxDocumentBytes = 256u * 1024u * 1024u;
// Internal entities may refer to each other; these bounds stop "billion laughs".
constexpr int kMaxEntityDepth = 16;
constexpr std::size_t kMaxEntityExpansion = 8u * 1024u * 1024u;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNameStart(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || b == ':' ||
           b >= 0x80;
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsXmlChar(unsigned long cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Trim TAB, LF, CR and space at both ends and fold inner runs to one space.
std::string NormaliseContent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (const char c : text) {
        if (IsSpace(c)) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace) out += ' ';
            pendingSpace = false;
            out += c;
        }
    }
    return out;
}

// One pass over one document. Positions are byte offsets into doc_; end_ is where
// scanning must stop (the first byte of an invalid UTF-8 sequence, or the end).
class Scan {
public:
    Scan(XmlScannerHandler& handler, std::string_view doc) : handler_(handler), doc_(doc) {}

    XmlScanResult Run();

private:
    bool Fail(std::size_t at, std::string message);
    bool AtEnd() const { return pos_ >= end_; }
    bool LooksAt(std::string_view text) const {
        return end_ - pos_ >= text.size() && doc_.compare(pos_, text.size(), text) == 0;
    }
    void SkipSpace() {
        while (!AtEnd() && IsSpace(doc_[pos_])) ++pos_;
    }
    bool ReadName(std::string& name);
    bool ReadQuoted(std::string& value, bool attribute);
    bool ReadReference(std::string& out, bool attribute);
    bool ExpandEntity(const std::string& name, std::string& out, int depth,
                      std::size_t at);
    bool ResolveText(std::string_view text, std::string& out, int depth, std::size_t at);

    bool XmlDeclaration();
    bool Comment();
    bool CData();
    bool Doctype();
    bool InternalSubset();
    bool ProcessingInstruction();
    bool StartOrEmptyTag();
    bool EndTag();
    bool Text();
    void FlushContent();

    XmlScannerHandler& handler_;
    std::string_view doc_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool checkUtf8_ = true;
    void AppendCharacter(std::string& out, char32_t cp) const;
    // The declared encoding, upper-cased; resolved references are written in it.
    std::string encoding_ = "UTF-8";
    bool failed_ = false;
    XmlScanResult result_;

    std::vector<std::string> open_;   // names of the open elements
    bool rootSeen_ = false;
    bool doctypeSeen_ = false;
    bool externalDeclarations_ = false;  // undeclared entities are then skipped
    std::string content_;
    std::size_t contentStart_ = 0;
    std::map<std::string, std::string, std::less<>> entities_;
    std::size_t expanded_ = 0;
};

bool Scan::Fail(std::size_t at, std::string message) {
    if (failed_) return false;
    failed_ = true;
    result_.ok = false;
    result_.error = std::move(message);
    result_.line = 1;
    result_.column = 1;
    for (std::size_t i = 0; i < at && i < doc_.size(); ++i) {
        if (doc_[i] == '\n') {
            ++result_.line;
            result_.column = 1;
        } else {
            ++result_.column;
        }
    }
    return false;
}

bool Scan::ReadName(std::string& name) {
    const std::size_t start = pos_;
    if (AtEnd() || !IsNameStart(doc_[pos_])) return Fail(pos_, "name expected");
    while (!AtEnd() && IsNameChar(doc_[pos_])) ++pos_;
    name.assign(doc_.substr(start, pos_ - start));
    return true;
}

bool Scan::ResolveText(std::string_view text, std::string& out, int depth, std::size_t at) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t semi = text.find(';', i);
        if (semi == std::string_view::npos) return Fail(at, "unterminated reference in entity");
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        if (!ref.empty() && ref[0] == '#') {
            out.append(text.substr(i, semi - i + 1));  // resolved by the caller's pass
        } else if (!ExpandEntity(std::string(ref), out, depth + 1, at)) {
            return false;
        }
        i = semi;
    }
    return true;
}

bool Scan::ExpandEntity(const std::string& name, std::string& out, int depth,
                        std::size_t at) {
    if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "amp") out += '&';
    else if (name == "apos") out += '\'';
    else if (name == "quot") out += '"';
    else {
        const auto found = entities_.find(name);
        if (found == entities_.end()) {
            if (externalDeclarations_) return true;  // declared outside; not read
            return Fail(at, "undeclared entity &" + name + ";");
        }
        if (depth > kMaxEntityDepth) return Fail(at, "entity &" + name + "; nests too deep");
        expanded_ += found->second.size();
        if (expanded_ > kMaxEntityExpansion) return Fail(at, "entity expansion too large");
        std::string inner;
        if (!ResolveText(found->second, inner, depth, at)) return false;
        // Character references inside the replacement text are resolved here.
        for (std::size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] == '&' && i + 1 < inner.size() && inner[i + 1] == '#') {
                const std::size_t semi = inner.find(';', i);
                if (semi == std::string::npos) return Fail(at, "invalid character reference");
                std::string_view digits(inner.data() + i + 2, semi - i - 2);
                int base = 10;
                if (!digits.empty() && digits[0] == 'x') {
                    base = 16;
                    digits.remove_prefix(1);
                }
                unsigned long cp = 0;
                bool valid = !digits.empty() && digits.size() <= 8;
                for (const char c : digits) {
                    int v = -1;
                    if (c >= '0' && c <= '9') v = c - '0';
                    else if (base == 16 && c >= 'a' && c <= 'f') v = c - 'a' + 10;
                    else if (base == 16 && c >= 'A' && c <= 'F') v = c - 'A' + 10;
                    if (v < 0) valid = false;
                    else cp = cp * static_cast<unsigned long>(base) + static_cast<unsigned long>(v);
                }
                if (!valid || !IsXmlChar(cp)) return Fail(at, "invalid character reference");
                AppendCharacter(out, static_cast<char32_t>(cp));
                i = semi;
            } else {
                out += inner[i];
            }
        }
    }
    return true;
}

// Text is delivered in the document's own encoding and converted by the caller, so a
// character reference is written in that encoding too; as UTF-8 it would be converted
// a second time into garbage.
void Scan::AppendCharacter(std::string& out, char32_t cp) const {
    std::string utf8;
    AppendUtf8(utf8, cp);
    out += ConvertToDocument(utf8, encoding_);
}

// pos_ is at '&'.
bool Scan::ReadReference(std::string& out, bool attribute) {
    const std::size_t at = pos_;
    ++pos_;
    if (!AtEnd() && doc_[pos_] == '#') {
        ++pos_;
        int base = 10;
        if (!AtEnd() && doc_[pos_] == 'x') {
            base = 16;
            ++pos_;
        }
        unsigned long cp = 0;
        std::size_t digits = 0;
        while (!AtEnd() && doc_[pos_] != ';') {
            const char c = doc_[pos_];
            int v = -1;
            if (c >= '0' && c <= '9') v = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f') v = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F') v = c - 'A' + 10;
            if (v < 0 || ++digits > 8) return Fail(at, "invalid character reference");
            cp = cp * static_cast<unsigned long>(base) + static_cast<unsigned long>(v);
            ++pos_;
        }
        if (AtEnd()) return Fail(at, "unterminated character reference");
        if (digits == 0 || !IsXmlChar(cp)) return Fail(at, "invalid character reference");
        ++pos_;
        AppendCharacter(out, static_cast<char32_t>(cp));
        return true;
    }
    std::string name;
    if (!ReadName(name)) return Fail(at, "invalid entity reference");
    if (AtEnd() || doc_[pos_] != ';') return Fail(at, "';' expected after &" + name);
    ++pos_;
    std::string replacement;
    if (!ExpandEntity(name, replacement, 0, at)) return false;
    if (attribute) {
        for (char& c : replacement) {
            if (c == '\t' || c == '\n' || c == '\r') c = ' ';
        }
    }
    out += replacement;
    return true;
}

// pos_ is at the opening quote.
bool Scan::ReadQuoted(std::string& value, bool attribute) {
    if (AtEnd() || (doc_[pos_] != '"' && doc_[pos_] != '\'')) {
        return Fail(pos_, "quoted value expected");
    }
    const char quote = doc_[pos_++];
    while (true) {
        if (AtEnd()) return Fail(pos_, "unterminated quoted value");
        const char c = doc_[pos_];
        if (c == quote) {
            ++pos_;
            return true;
        }
        if (!attribute) {
            value += c;
            ++pos_;
        } else if (c == '&') {
            if (!ReadReference(value, true)) return false;
        } else if (c == '<') {
            return Fail(pos_, "'<' in attribute value");
        } else if (c == '\r') {
            value += ' ';
            ++pos_;
            if (!AtEnd() && doc_[pos_] == '\n') ++pos_;  // CR LF is one line end
        } else {
            value += (c == '\t' || c == '\n') ? ' ' : c;
            ++pos_;
        }
    }
}

bool Scan::XmlDeclaration() {
    const std::size_t at = pos_;
    pos_ += 5;  // "<?xml"
    std::string version, encoding, standalone;
    while (true) {
        SkipSpace();
        if (AtEnd()) return Fail(at, "unterminated XML declaration");
        if (LooksAt("?>")) {
            pos_ += 2;
            break;
        }
        std::string name;
        if (!ReadName(name)) return false;
        SkipSpace();
        if (AtEnd() || doc_[pos_] != '=') return Fail(pos_, "'=' expected in XML declaration");
        ++pos_;
        SkipSpace();
        std::string value;
        if (!ReadQuoted(value, false)) return false;
        if (name == "version") version = value;
        else if (name == "encoding") encoding = value;
        else if (name == "standalone") standalone = value;
        else return Fail(at, "unknown pseudo-attribute '" + name + "' in XML declaration");
    }
    if (version.empty()) return Fail(at, "XML declaration without version");
    const std::string upper = ToUpperCopy(encoding);
    checkUtf8_ = encoding.empty() || upper == "UTF-8";
    encoding_ = encoding.empty() ? std::string("UTF-8") : upper;
    if (!checkUtf8_) end_ = doc_.size();  // bytes of other encodings are not checked
    handler_.XmlProlog(version, standalone == "yes", encoding);
    return true;
}

bool Scan::Comment() {
    const std::size_t at = pos_;
    pos_ += 4;  // "<!--"
    const std::size_t close = doc_.find("--", pos_);
    if (close == std::string_view::npos || close + 2 >= end_) {
        pos_ = end_;
        return Fail(at, "unterminated comment");
    }
    if (doc_[close + 2] != '>') return Fail(close, "'--' inside a comment");
    pos_ = close + 3;
    return true;
}

bool Scan::CData() {
    const std::size_t at = pos_;
    if (open_.empty()) return Fail(at, "CDATA section outside the root element");
    pos_ += 9;  // "<![CDATA["
    const std::size_t close = doc_.find("]]>", pos_);
    if (close == std::string_view::npos || close + 3 > end_) {
        pos_ = end_;
        return Fail(at, "unterminated CDATA section");
    }
    if (content_.empty()) contentStart_ = at;
    content_.append(doc_.substr(pos_, close - pos_));
    pos_ = close + 3;
    return true;
}

bool Scan::InternalSubset() {
    // pos_ is just after '['.
    while (true) {
        SkipSpace();
        if (AtEnd()) return Fail(pos_, "unterminated DOCTYPE internal subset");
        if (doc_[pos_] == ']') {
            ++pos_;
            return true;
        }
        if (LooksAt("<!--")) {
            if (!Comment()) return false;
            continue;
        }
        if (LooksAt("<?")) {
            const std::size_t close = doc_.find("?>", pos_);
            if (close == std::string_view::npos || close + 2 > end_) {
                return Fail(pos_, "unterminated processing instruction");
            }
            pos_ = close + 2;
            continue;
        }
        if (doc_[pos_] == '%') {
            // A parameter entity reference may pull in declarations we never read.
            externalDeclarations_ = true;
            const std::size_t semi = doc_.find(';', pos_);
            if (semi == std::string_view::npos || semi >= end_) {
                return Fail(pos_, "unterminated parameter entity reference");
            }
            pos_ = semi + 1;
            continue;
        }
        if (!LooksAt("<!")) return Fail(pos_, "markup declaration expected");
        const std::size_t at = pos_;
        if (LooksAt("<!ENTITY")) {
            pos_ += 8;
            SkipSpace();
            bool parameter = false;
            if (!AtEnd() && doc_[pos_] == '%') {
                parameter = true;
                ++pos_;
                SkipSpace();
            }
            std::string name;
            if (!ReadName(name)) return false;
            SkipSpace();
            if (!AtEnd() && (doc_[pos_] == '"' || doc_[pos_] == '\'')) {
                std::string value;
                if (!ReadQuoted(value, false)) return false;
                // The first declaration of an entity is binding.
                if (!parameter && !entities_.count(name)) entities_.emplace(name, value);
            } else if (!parameter) {
                // An external entity: its text is never read, references to it vanish.
                if (!entities_.count(name)) entities_.emplace(name, std::string());
            }
        } else {
            pos_ += 2;
        }
        // Skip to the '>' that ends the declaration, minding quoted text.
        while (true) {
            if (AtEnd()) return Fail(at, "unterminated markup declaration");
            const char c = doc_[pos_];
            if (c == '"' || c == '\'') {
                const std::size_t close = doc_.find(c, pos_ + 1);
                if (close == std::string_view::npos || close >= end_) {
                    return Fail(at, "unterminated markup declaration");
                }
                pos_ = close + 1;
            } else if (c == '>') {
                ++pos_;
                break;
            } else {
                ++pos_;
            }
        }
    }
}

bool Scan::Doctype() {
    const std::size_t at = pos_;
    if (doctypeSeen_ || rootSeen_) return Fail(at, "DOCTYPE in the wrong place");
    doctypeSeen_ = true;
    pos_ += 9;  // "<!DOCTYPE"
    SkipSpace();
    std::string name;
    if (!ReadName(name)) return false;
    while (true) {
        SkipSpace();
        if (AtEnd()) return Fail(at, "unterminated DOCTYPE");
        const char c = doc_[pos_];
        if (c == '>') {
            ++pos_;
            return true;
        }
        if (c == '[') {
            ++pos_;
            if (!InternalSubset()) return false;
        } else if (c == '"' || c == '\'') {
            std::string ignored;
            if (!ReadQuoted(ignored, false)) return false;
        } else if (LooksAt("SYSTEM") || LooksAt("PUBLIC")) {
            externalDeclarations_ = true;
            pos_ += 6;
        } else {
            return Fail(pos_, "unexpected text in DOCTYPE");
        }
    }
}

bool Scan::ProcessingInstruction() {
    const std::size_t at = pos_;
    pos_ += 2;
    std::string target;
    if (!ReadName(target)) return false;
    if (ToUpperCopy(target) == "XML") return Fail(at, "XML declaration not at the start");
    const std::size_t close = doc_.find("?>", pos_);
    if (close == std::string_view::npos || close + 2 > end_) {
        pos_ = end_;
        return Fail(at, "unterminated processing instruction");
    }
    if (close > pos_ && !IsSpace(doc_[pos_])) return Fail(pos_, "space expected after target");
    std::string_view body = doc_.substr(pos_, close - pos_);
    while (!body.empty() && IsSpace(body.front())) body.remove_prefix(1);
    pos_ = close + 2;

    // Pseudo-attributes: name="value" pairs; the content is kept whole whatever it is.
    XmlAttributes pseudo;
    std::size_t i = 0;
    while (i < body.size()) {
        while (i < body.size() && IsSpace(body[i])) ++i;
        const std::size_t nameStart = i;
        while (i < body.size() && IsNameChar(body[i])) ++i;
        if (i == nameStart) break;
        const std::string name(body.substr(nameStart, i - nameStart));
        while (i < body.size() && IsSpace(body[i])) ++i;
        if (i >= body.size() || body[i] != '=') break;
        ++i;
        while (i < body.size() && IsSpace(body[i])) ++i;
        if (i >= body.size() || (body[i] != '"' && body[i] != '\'')) break;
        const char quote = body[i++];
        const std::size_t valueEnd = body.find(quote, i);
        if (valueEnd == std::string_view::npos) break;
        std::string value;
        if (!ResolveText(body.substr(i, valueEnd - i), value, 0, at)) {
            // A bad reference in a pseudo-attribute spoils only that value.
            failed_ = false;
            result_ = {};
            value.assign(body.substr(i, valueEnd - i));
        }
        pseudo.Add(name, value);
        i = valueEnd + 1;
    }
    handler_.ProcessingInstruction(target, pseudo, std::string(body));
    return true;
}

bool Scan::StartOrEmptyTag() {
    const std::size_t at = pos_;
    if (rootSeen_ && open_.empty()) return Fail(at, "second root element");
    ++pos_;
    std::string name;
    if (!ReadName(name)) return false;
    XmlAttributes attributes;
    while (true) {
        const std::size_t before = pos_;
        SkipSpace();
        if (AtEnd()) return Fail(at, "unterminated start tag <" + name);
        if (doc_[pos_] == '>') {
            ++pos_;
            rootSeen_ = true;
            open_.push_back(name);
            handler_.StartTag(name, attributes);
            return true;
        }
        if (LooksAt("/>")) {
            pos_ += 2;
            rootSeen_ = true;
            handler_.EmptyTag(name, attributes);
            return true;
        }
        if (pos_ == before) return Fail(pos_, "space expected between attributes");
        std::string attribute;
        if (!ReadName(attribute)) return false;
        SkipSpace();
        if (AtEnd() || doc_[pos_] != '=') return Fail(pos_, "'=' expected after " + attribute);
        ++pos_;
        SkipSpace();
        std::string value;
        if (!ReadQuoted(value, true)) return false;
        if (attributes.Has(attribute)) return Fail(at, "attribute " + attribute + " repeated");
        attributes.Add(std::move(attribute), std::move(value));
    }
}

bool Scan::EndTag() {
    const std::size_t at = pos_;
    pos_ += 2;
    std::string name;
    if (!ReadName(name)) return false;
    SkipSpace();
    if (AtEnd() || doc_[pos_] != '>') return Fail(at, "unterminated end tag </" + name);
    ++pos_;
    if (open_.empty() || open_.back() != name) {
        return Fail(at, "end tag </" + name + "> does not match " +
                            (open_.empty() ? std::string("any open element")
                                           : "<" + open_.back() + ">"));
    }
    open_.pop_back();
    handler_.EndTag(name);
    return true;
}

bool Scan::Text() {
    const std::size_t at = pos_;
    if (content_.empty()) contentStart_ = at;
    while (!AtEnd() && doc_[pos_] != '<') {
        if (doc_[pos_] == '&') {
            if (open_.empty()) return Fail(pos_, "reference outside the root element");
            if (!ReadReference(content_, false)) return false;
            continue;
        }
        if (LooksAt("]]>")) return Fail(pos_, "']]>' in text");
        if (open_.empty() && !IsSpace(doc_[pos_])) {
            return Fail(pos_, "text outside the root element");
        }
        content_ += doc_[pos_++];
    }
    return true;
}

void Scan::FlushContent() {
    if (content_.empty()) return;
    const std::string text = NormaliseContent(content_);
    content_.clear();
    if (!text.empty()) handler_.Content(text);
}

XmlScanResult Scan::Run() {
    end_ = doc_.size();
    if (doc_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    // Until a declaration names another encoding, the document is UTF-8.
    end_ = pos_ + FirstInvalidUtf8(doc_.substr(pos_));
    if (LooksAt("<?xml") && end_ - pos_ > 5 && IsSpace(doc_[pos_ + 5])) {
        if (!XmlDeclaration()) return result_;
    }
    while (!AtEnd()) {
        bool ok = true;
        if (doc_[pos_] != '<') {
            ok = Text();
        } else if (LooksAt("<!--")) {
            ok = Comment();
        } else if (LooksAt("<![CDATA[")) {
            ok = CData();
        } else if (LooksAt("<!DOCTYPE")) {
            FlushContent();
            ok = Doctype();
        } else if (LooksAt("<?")) {
            FlushContent();
            ok = ProcessingInstruction();
        } else if (LooksAt("</")) {
            FlushContent();
            ok = EndTag();
        } else {
            FlushContent();
            ok = StartOrEmptyTag();
        }
        if (!ok) return result_;
    }
    if (end_ < doc_.size()) {
        Fail(end_, "invalid UTF-8");
        return result_;
    }
    if (!open_.empty()) {
        Fail(end_, "unexpected end of document inside <" + open_.back() + ">");
        return result_;
    }
    if (!rootSeen_) Fail(end_, "no root element");
    return result_;
}

}  // namespace

void XmlAttributes::Add(std::string name, std::string value) {
    items_.emplace_back(std::move(name), std::move(value));
}

const std::string& XmlAttributes::Value(std::string_view name) const {
    for (const auto& item : items_) {
        if (item.first == name) return item.second;
    }
    return kEmpty;
}

bool XmlAttributes::Has(std::string_view name) const {
    for (const auto& item : items_) {
        if (item.first == name) return true;
    }
    return false;
}

XmlScanner::XmlScanner(XmlScannerHandler& handler) : handler_(handler) {}

XmlScanResult XmlScanner::ScanFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {false, "cannot open " + path, 0, 0};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::size_t>(size) > kMaxDocumentBytes) {
        return {false, "cannot read " + path, 0, 0};
    }
    in.seekg(0, std::ios::beg);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(text.data(), size)) return {false, "cannot read " + path, 0, 0};
    return ScanBuffer(text);
}

XmlScanResult XmlScanner::ScanBuffer(std::string_view text) {
    if (text.size() > kMaxDocumentBytes) return {false, "document too large", 0, 0};
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') ||
                             (text[0] == '\xFE' && text[1] == '\xFF'))) {
        // A document with a UTF-16 byte-order mark is turned into UTF-8 before scanning.
        std::string utf8;
        if (!Utf16ToUtf8(text.substr(2), text[0] == '\xFE', utf8)) {
            return {false, "invalid UTF-16", 0, 0};
        }
        Scan scan(handler_, utf8);
        return scan.Run();
    }
    Scan scan(handler_, text);
    return scan.Run();
}
