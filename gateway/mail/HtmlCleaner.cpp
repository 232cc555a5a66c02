#include "HtmlCleaner.h"

#include "HtmlDocument.h"
#include "HtmlText.h"
#include "SafeUrl.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// An element that is kept and the attributes it keeps besides the global ones, by
// what their value must be.
struct ElementRule {
    std::string_view name;
    std::string_view urlAttribute;       // href or src, "" for none
    std::string_view numberAttributes;   // space-separated; an optional '-' and digits
    std::string_view textAttributes;     // space-separated; any text
};

constexpr ElementRule kKept[] = {
    // Text structure.
    {"p", "", "", ""}, {"br", "", "", ""}, {"hr", "", "", ""}, {"div", "", "", ""},
    {"span", "", "", ""}, {"section", "", "", ""}, {"article", "", "", ""}, {"header", "", "", ""},
    {"footer", "", "", ""}, {"aside", "", "", ""}, {"main", "", "", ""}, {"nav", "", "", ""},
    {"address", "", "", ""}, {"center", "", "", ""}, {"figure", "", "", ""}, {"figcaption", "", "", ""},
    {"details", "", "", ""}, {"summary", "", "", ""},
    {"b", "", "", ""}, {"strong", "", "", ""}, {"i", "", "", ""}, {"em", "", "", ""},
    {"u", "", "", ""}, {"s", "", "", ""}, {"strike", "", "", ""}, {"del", "", "", ""},
    {"ins", "", "", ""}, {"sub", "", "", ""}, {"sup", "", "", ""}, {"small", "", "", ""},
    {"big", "", "", ""}, {"mark", "", "", ""}, {"abbr", "", "", ""}, {"dfn", "", "", ""},
    {"kbd", "", "", ""}, {"samp", "", "", ""}, {"var", "", "", ""}, {"tt", "", "", ""},
    {"wbr", "", "", ""}, {"ruby", "", "", ""}, {"rt", "", "", ""}, {"rp", "", "", ""},
    {"h1", "", "", ""}, {"h2", "", "", ""}, {"h3", "", "", ""}, {"h4", "", "", ""},
    {"h5", "", "", ""}, {"h6", "", "", ""},
    // Quotes, code.
    {"blockquote", "", "", ""}, {"q", "", "", ""}, {"cite", "", "", ""},
    {"pre", "", "", ""}, {"code", "", "", ""},
    // Lists.
    {"ul", "", "", ""}, {"ol", "", "start", "reversed"}, {"li", "", "value", ""},
    {"dl", "", "", ""}, {"dt", "", "", ""}, {"dd", "", "", ""},
    // Tables.
    {"table", "", "", ""}, {"caption", "", "", ""}, {"thead", "", "", ""}, {"tbody", "", "", ""},
    {"tfoot", "", "", ""}, {"tr", "", "", ""}, {"th", "", "colspan rowspan", ""},
    {"td", "", "colspan rowspan", ""}, {"colgroup", "", "span", ""}, {"col", "", "span", ""},
    // Links and images.
    {"a", "href", "", ""}, {"img", "src", "width height", "alt"},
};

// Attributes any kept element may keep: plain text with no effect but to be shown.
constexpr std::array<std::string_view, 2> kGlobalText = {"title", "lang"};

// Elements whose content is code, data or controls rather than text to read: they go
// whole. SVG and MathML go whole too: their own links and animations are a second
// language of URLs and events.
constexpr std::array<std::string_view, 42> kDroppedWithContent = {
    "script",   "style",    "template", "noscript", "noembed", "noframes", "xmp",      "plaintext",
    "iframe",   "frame",    "frameset", "object",   "embed",   "applet",   "param",    "svg",
    "math",     "head",     "title",    "meta",     "link",    "base",     "select",   "textarea",
    "button",   "input",    "option",   "optgroup", "datalist", "keygen",  "output",   "canvas",
    "video",    "audio",    "source",   "track",    "portal",  "dialog",   "map",      "area",
    "slot",     "fencedframe"};

// Elements that never have content or an end tag.
constexpr std::array<std::string_view, 5> kVoid = {"br", "hr", "img", "wbr", "col"};

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Whether a space-separated list holds the word.
bool Lists(std::string_view list, std::string_view word) {
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        if (list.substr(0, space) == word) return true;
        if (space == std::string_view::npos) break;
        list.remove_prefix(space + 1);
    }
    return false;
}

const ElementRule* KeptRule(std::string_view name) {
    for (const ElementRule& rule : kKept) {
        if (rule.name == name) return &rule;
    }
    return nullptr;
}

bool IsNumber(std::string_view text) {
    if (text.starts_with('-')) text.remove_prefix(1);
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Text as HTML content or as an attribute value in double quotes: every character that
// could end or start markup escaped, a no-break space written so that any charset
// carries it.
void AppendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (c == '\xc2' && i + 1 < text.size() && text[i + 1] == '\xa0') {
                    out += "&#160;";
                    ++i;
                } else {
                    out += c;
                }
        }
    }
}

// The value the attribute keeps on this element, or nullopt when it goes.
std::optional<std::string> KeptValue(const ElementRule& rule, std::string_view attribute, const std::string& value) {
    if (attribute == rule.urlAttribute) return SafeLinkUrl(value);
    if (Lists(rule.numberAttributes, attribute)) {
        std::string number;
        for (char c : value) {
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') number += c;
        }
        if (IsNumber(number)) return number;
        return std::nullopt;
    }
    if (Lists(rule.textAttributes, attribute) || OneOf(attribute, kGlobalText)) return value;
    return std::nullopt;
}

class CleanWriter {
public:
    bool Enter(xmlNode* node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr) AppendEscaped(out_, reinterpret_cast<const char*>(node->content));
            return false;
        }
        // Comments, processing instructions and the rest say nothing to a reader.
        if (node->type != XML_ELEMENT_NODE) return false;
        const std::string_view name = NodeName(node);
        if (OneOf(name, kDroppedWithContent)) return false;
        const ElementRule* rule = KeptRule(name);
        if (rule == nullptr) return true;  // unwrapped
        out_ += '<';
        out_ += name;
        for (xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
            // A prefixed attribute (xlink:href, xml:base) has a namespace and is no
            // attribute of the list.
            if (attribute->ns != nullptr || attribute->name == nullptr) continue;
            const std::string_view attributeName(reinterpret_cast<const char*>(attribute->name));
            const std::optional<std::string> value =
                KeptValue(*rule, attributeName, NodeAttribute(node, reinterpret_cast<const char*>(attribute->name)));
            if (!value) continue;
            out_ += ' ';
            out_ += attributeName;
            out_ += "=\"";
            AppendEscaped(out_, *value);
            out_ += '"';
        }
        out_ += '>';
        return !OneOf(name, kVoid);
    }

    void Leave(xmlNode* node) {
        const std::string_view name = NodeName(node);
        if (KeptRule(name) == nullptr || OneOf(name, kVoid)) return;
        out_ += "</";
        out_ += name;
        out_ += '>';
    }

    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

}  // namespace

std::string CleanHtml(std::string_view html) {
    const HtmlDocPointer doc = ParseHtmlPiece(html);
    if (!doc) return "";
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) return "";
    xmlNode* body = HtmlBody(root);
    if (body == nullptr) return "";
    CleanWriter writer;
    WalkHtml(body, [&](xmlNode* node) { return writer.Enter(node); }, [&](xmlNode* node) { writer.Leave(node); });
    return writer.Take();
}

std::string HtmlLinkLine(std::string_view url) {
    const std::string shown = EscapeHtmlText(UrlWithoutCredentials(url));
    const std::optional<std::string> href = SafeLinkUrl(url);
    if (!href) return "link: " + shown + "<br><br>";
    std::string line = "link: <a href=\"";
    AppendEscaped(line, *href);
    return line + "\">" + shown + "</a><br><br>";
}
