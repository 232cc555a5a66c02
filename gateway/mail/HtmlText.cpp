#include "HtmlText.h"

#include "KanjiCodec.h"
#include "TextUtil.h"
#include "Utf8.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr int kParseOptions = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_RECOVER | HTML_PARSE_IGNORE_ENC | HTML_PARSE_NODEFDTD;

// Deeper lists are indented no further: a hostile document must not grow every line.
constexpr std::size_t kMaxListIndent = 8;

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPointer = std::unique_ptr<xmlDoc, DocFree>;

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// The parser is told the input is UTF-8; it would switch to Latin-1 at the first bad
// sequence and stop at a NUL, so both become U+FFFD first.
bool IsValidUtf8WithoutNul(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0) return false;
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = cp << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string ValidUtf8(std::string_view bytes) {
    if (IsValidUtf8WithoutNul(bytes)) return std::string(bytes);
    std::u32string codePoints;
    auto decoder = MakeKanjiDecoder('W');
    decoder->Decode(bytes, codePoints);
    decoder->Finish(codePoints);
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char32_t cp : codePoints) AppendUtf8(out, cp == 0 ? 0xFFFD : cp);
    return out;
}

DocPointer ParseHtml(std::string_view html) {
    const std::string text = ValidUtf8(html);
    if (text.empty()) return nullptr;
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    return DocPointer(htmlReadMemory(text.data(), size, nullptr, "UTF-8", kParseOptions));
}

std::string_view Name(const xmlNode* node) {
    return node->name ? std::string_view(reinterpret_cast<const char*>(node->name)) : std::string_view();
}

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Attribute(xmlNode* node, const char* name) {
    std::unique_ptr<xmlChar, XmlFree> value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    return value ? std::string(reinterpret_cast<const char*>(value.get())) : std::string();
}

std::string TrimBlanks(std::string_view text) { return std::string(Trim(text, " \t\r\n\f")); }

// Walks the children of root in document order without recursion, so nesting depth
// costs no stack. enter says whether to go into a node; leave runs for each node
// entered that way, after its children.
template <class Enter, class Leave>
void Walk(xmlNode* root, Enter enter, Leave leave) {
    xmlNode* node = root->children;
    while (node != nullptr) {
        const bool descend = enter(node);
        if (descend && node->children != nullptr) {
            node = node->children;
            continue;
        }
        if (descend) leave(node);
        while (node->next == nullptr) {
            node = node->parent;
            if (node == nullptr || node == root) return;
            leave(node);
        }
        node = node->next;
    }
}

constexpr std::array<std::string_view, 11> kSkipped = {
    "script", "style", "head", "title", "template", "iframe", "object", "embed", "applet", "select", "textarea"};
constexpr std::array<std::string_view, 32> kBlocks = {
    "p",       "div",     "section", "article",    "header",  "footer",  "aside",   "nav",
    "main",    "blockquote", "figure", "figcaption", "table", "form",    "fieldset", "address",
    "center",  "details", "summary", "caption",    "h1",      "h2",      "h3",      "h4",
    "h5",      "h6",      "pre",     "hr",         "dl",      "noscript", "body",   "listing"};
constexpr std::array<std::string_view, 4> kLists = {"ul", "ol", "menu", "dir"};
constexpr std::array<std::string_view, 3> kLines = {"tr", "dt", "dd"};

// Paragraph breaks are requested and written only before the next text, so that
// nested and empty blocks never pile up empty lines, and none lead or trail.
class TextWriter {
public:
    void Paragraph() { breaks_ = std::max(breaks_, 2); }
    void Line() { breaks_ = std::max(breaks_, 1); }
    void LineBreak() {
        if (out_.empty()) return;
        TrimSpaces();
        out_ += '\n';
        space_ = false;
    }
    void Space() { space_ = true; }

    // Text whose white space folds into single blanks.
    void Words(std::string_view text) {
        constexpr std::string_view kBlanks = " \t\n\r\f";
        std::size_t i = 0;
        while (i < text.size()) {
            if (kBlanks.find(text[i]) != std::string_view::npos) {
                space_ = true;
                ++i;
                continue;
            }
            const std::size_t end = std::min(text.find_first_of(kBlanks, i), text.size());
            StartText();
            const std::string_view word = text.substr(i, end - i);
            // A no-break space is a blank that does not fold; plain text has no such thing.
            for (std::size_t at = 0;;) {
                const std::size_t nbsp = word.find("\xc2\xa0", at);
                if (nbsp == std::string_view::npos) {
                    out_.append(word.substr(at));
                    break;
                }
                out_.append(word.substr(at, nbsp - at));
                out_ += ' ';
                at = nbsp + 2;
            }
            i = end;
        }
    }

    // Preformatted text, every blank and line kept.
    void Verbatim(std::string_view text) {
        if (text.empty()) return;
        StartText();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') {
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                out_ += '\n';
            } else {
                out_ += text[i];
            }
        }
    }

    // A marker such as a bullet or "[image: x]": a word of its own.
    void Inline(std::string_view text) {
        StartText();
        out_ += text;
    }
    // A marker that sticks to the text before it ("word[1]").
    void Attached(std::string_view text) {
        const bool space = space_;
        space_ = false;
        StartText();
        out_ += text;
        space_ = space;
    }

    bool AtLineStart() const { return out_.empty() || out_.back() == '\n'; }

    std::string Take() {
        while (!out_.empty() && (out_.back() == ' ' || out_.back() == '\n')) out_.pop_back();
        return std::move(out_);
    }

private:
    void StartText() {
        if (breaks_ > 0) {
            if (!out_.empty()) {
                TrimSpaces();
                int have = 0;
                for (auto it = out_.rbegin(); it != out_.rend() && *it == '\n' && have < breaks_; ++it) ++have;
                out_.append(static_cast<std::size_t>(breaks_ - have), '\n');
            }
            breaks_ = 0;
            space_ = false;
        }
        if (space_ && !AtLineStart() && out_.back() != ' ') out_ += ' ';
        space_ = false;
    }
    void TrimSpaces() {
        while (!out_.empty() && out_.back() == ' ') out_.pop_back();
    }

    std::string out_;
    int breaks_ = 0;
    bool space_ = false;
};

struct OpenList {
    bool ordered = false;
    long next = 1;
};

bool IsFollowedLink(const std::string& href) {
    if (href.empty() || href[0] == '#') return false;
    const std::string lower = ToLowerCopy(href.substr(0, 11));
    return !lower.starts_with("javascript:") && !lower.starts_with("vbscript:");
}

class TextRenderer {
public:
    explicit TextRenderer(HtmlLinks& links) : links_(links) {}

    bool Enter(xmlNode* node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            const char* content = reinterpret_cast<const char*>(node->content);
            if (content == nullptr) return false;
            if (pre_ > 0) {
                std::string_view text(content);
                // The line break right after <pre> belongs to the markup.
                if (node->prev == nullptr && node->parent && Name(node->parent) == "pre" &&
                    text.starts_with('\n'))
                    text.remove_prefix(1);
                out_.Verbatim(text);
            } else {
                out_.Words(content);
            }
            return false;
        }
        if (node->type != XML_ELEMENT_NODE) return false;
        const std::string_view name = Name(node);
        if (OneOf(name, kSkipped)) return false;
        if (name == "br") {
            out_.LineBreak();
            return false;
        }
        if (name == "img") {
            std::string alt;
            const std::string text = TrimBlanks(Attribute(node, "alt"));
            for (char c : text) alt += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
            // An image stands apart from the text and the images beside it.
            out_.Space();
            out_.Inline(alt.empty() ? std::string("[image]") : "[image: " + alt + "]");
            out_.Space();
            return false;
        }
        if (name == "hr") {
            out_.Paragraph();
            return false;
        }
        if (OneOf(name, kLists)) {
            if (lists_.empty()) {
                out_.Paragraph();
            } else {
                out_.Line();
            }
            OpenList list;
            list.ordered = name == "ol";
            const std::string start = TrimBlanks(Attribute(node, "start"));
            long value = 1;
            const auto parsed = std::from_chars(start.data(), start.data() + start.size(), value);
            if (list.ordered && parsed.ec == std::errc() && value > -1000000 && value < 1000000)
                list.next = value;
            lists_.push_back(list);
            return true;
        }
        if (name == "li") {
            out_.Line();
            const std::size_t depth = std::min(lists_.size(), kMaxListIndent + 1);
            std::string bullet(depth > 1 ? 2 * (depth - 1) : 0, ' ');
            if (!lists_.empty() && lists_.back().ordered) {
                bullet += std::to_string(lists_.back().next++) + ". ";
            } else {
                bullet += "* ";
            }
            out_.Inline(bullet);
            return true;
        }
        if (OneOf(name, kLines)) {
            out_.Line();
            return true;
        }
        if (name == "td" || name == "th") {
            out_.Space();
            return true;
        }
        if (name == "a") {
            const std::string href = TrimBlanks(Attribute(node, "href"));
            anchors_.push_back(IsFollowedLink(href) ? links_.Number(href) : 0);
            return true;
        }
        if (OneOf(name, kBlocks)) {
            out_.Paragraph();
            if (name == "pre" || name == "listing") ++pre_;
        }
        return true;
    }

    void Leave(xmlNode* node) {
        const std::string_view name = Name(node);
        if (OneOf(name, kLists)) {
            lists_.pop_back();
            if (lists_.empty()) {
                out_.Paragraph();
            } else {
                out_.Line();
            }
        } else if (name == "li" || OneOf(name, kLines)) {
            out_.Line();
        } else if (name == "td" || name == "th") {
            out_.Space();
        } else if (name == "a") {
            const int number = anchors_.back();
            anchors_.pop_back();
            if (number > 0) out_.Attached("[" + std::to_string(number) + "]");
        } else if (OneOf(name, kBlocks)) {
            out_.Paragraph();
            if (name == "pre" || name == "listing") --pre_;
        }
    }

    std::string Take() { return out_.Take(); }

private:
    HtmlLinks& links_;
    TextWriter out_;
    std::vector<OpenList> lists_;
    std::vector<int> anchors_;
    int pre_ = 0;
};

constexpr std::array<std::string_view, 12> kUnsafe = {
    "script", "style", "iframe", "frame", "frameset", "form", "object", "embed", "applet", "meta", "link", "base"};
constexpr std::array<std::string_view, 9> kUrlAttributes = {
    "href", "src", "action", "formaction", "background", "lowsrc", "data", "poster", "xlink:href"};

// Event handlers (onclick, onload, ...) and script URLs go; other attributes stay.
void RemoveUnsafeAttributes(xmlNode* element) {
    xmlAttr* attribute = element->properties;
    while (attribute != nullptr) {
        xmlAttr* next = attribute->next;
        const std::string name = ToLowerCopy(reinterpret_cast<const char*>(attribute->name));
        bool unsafe = name.starts_with("on");
        if (!unsafe && OneOf(std::string_view(name), kUrlAttributes)) {
            std::unique_ptr<xmlChar, XmlFree> value(xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute)));
            const std::string url = value ? TrimBlanks(reinterpret_cast<const char*>(value.get())) : "";
            unsafe = !url.empty() && url[0] != '#' && !IsFollowedLink(url);
        }
        if (unsafe) xmlRemoveProp(attribute);
        attribute = next;
    }
}

xmlNode* BodyOf(xmlNode* root) {
    for (xmlNode* child = root->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && Name(child) == "body") return child;
    }
    return nullptr;
}

}  // namespace

int HtmlLinks::Number(const std::string& url) {
    const auto [found, added] = numbers_.try_emplace(url, static_cast<int>(urls_.size()) + 1);
    if (added) urls_.push_back(url);
    return found->second;
}

std::string HtmlLinks::ListText() const {
    std::string text;
    for (std::size_t i = 0; i < urls_.size(); ++i) {
        text += i == 0 ? "\n\n" : "\n";
        text += "[" + std::to_string(i + 1) + "] " + urls_[i];
    }
    return text;
}

std::string RenderHtmlText(std::string_view html, HtmlLinks& links) {
    const DocPointer doc = ParseHtml(html);
    if (!doc) return "";
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) return "";
    TextRenderer renderer(links);
    Walk(root, [&](xmlNode* node) { return renderer.Enter(node); },
         [&](xmlNode* node) { renderer.Leave(node); });
    return BreakLongLines(renderer.Take(), kMaxTextLine);
}

std::string HtmlToText(std::string_view html) {
    HtmlLinks links;
    std::string text = RenderHtmlText(html, links);
    std::string list = links.ListText();
    if (text.empty() && !list.empty()) list.erase(0, 2);
    return BreakLongLines(text + list, kMaxTextLine);
}

std::string CleanHtml(std::string_view html) {
    const DocPointer doc = ParseHtml(html);
    if (!doc) return "";
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) return "";
    std::vector<xmlNode*> removed;
    Walk(root,
         [&](xmlNode* node) {
             if (node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) {
                 removed.push_back(node);
                 return false;
             }
             if (node->type != XML_ELEMENT_NODE) return false;
             if (OneOf(Name(node), kUnsafe)) {
                 removed.push_back(node);
                 return false;
             }
             RemoveUnsafeAttributes(node);
             return true;
         },
         [](xmlNode*) {});
    for (xmlNode* node : removed) {
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
    xmlNode* body = BodyOf(root);
    if (body == nullptr) return "";
    xmlBuffer* buffer = xmlBufferCreate();
    if (buffer == nullptr) return "";
    xmlOutputBuffer* output = xmlOutputBufferCreateBuffer(buffer, nullptr);
    std::string out;
    if (output != nullptr) {
        for (xmlNode* child = body->children; child != nullptr; child = child->next)
            htmlNodeDumpFormatOutput(output, doc.get(), child, "UTF-8", 0);
        xmlOutputBufferFlush(output);
        out.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                   static_cast<std::size_t>(xmlBufferLength(buffer)));
        xmlOutputBufferClose(output);
    }
    xmlBufferFree(buffer);
    return out;
}

std::string EscapeHtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                out += "<br>\n";
                break;
            case '\n': out += "<br>\n"; break;
            default: out += text[i];
        }
    }
    return out;
}

std::string HtmlLinkLine(std::string_view url) {
    const std::string shown = EscapeHtmlText(url);
    const std::string trimmed = TrimBlanks(url);
    if (!trimmed.empty() && !IsFollowedLink(trimmed)) return "link: " + shown + "<br><br>";
    return "link: <a href=\"" + shown + "\">" + shown + "</a><br><br>";
}

std::string BreakLongLines(std::string_view text, std::size_t max) {
    if (max == 0) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / max + 1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        while (line.size() > max) {
            const std::size_t blank = line.rfind(' ', max);
            if (blank != std::string_view::npos && blank > 0) {
                out += line.substr(0, blank);
                out += '\n';
                line.remove_prefix(blank + 1);
                continue;
            }
            std::size_t cut = max;
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            if (cut == 0) cut = max;
            out += line.substr(0, cut);
            out += '\n';
            line.remove_prefix(cut);
        }
        out += line;
        if (end >= text.size()) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}
