#include "HtmlText.h"

#include "HtmlDocument.h"
#include "SafeUrl.h"
#include "TextUtil.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

// Deeper lists are indented no further: a hostile document must not grow every line.
constexpr std::size_t kMaxListIndent = 8;

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string TrimBlanks(std::string_view text) { return std::string(Trim(text, " \t\r\n\f")); }

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
                if (node->prev == nullptr && node->parent && NodeName(node->parent) == "pre" &&
                    text.starts_with('\n'))
                    text.remove_prefix(1);
                out_.Verbatim(text);
            } else {
                out_.Words(content);
            }
            return false;
        }
        if (node->type != XML_ELEMENT_NODE) return false;
        const std::string_view name = NodeName(node);
        if (OneOf(name, kSkipped)) return false;
        if (name == "br") {
            out_.LineBreak();
            return false;
        }
        if (name == "img") {
            std::string alt;
            const std::string text = TrimBlanks(NodeAttribute(node, "alt"));
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
            const std::string start = TrimBlanks(NodeAttribute(node, "start"));
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
            const std::string href = TrimBlanks(NodeAttribute(node, "href"));
            // A link resolved against the feed's URL may carry its user name and password.
            anchors_.push_back(IsFollowedLink(href) ? links_.Number(UrlWithoutCredentials(href)) : 0);
            return true;
        }
        if (OneOf(name, kBlocks)) {
            out_.Paragraph();
            if (name == "pre" || name == "listing") ++pre_;
        }
        return true;
    }

    void Leave(xmlNode* node) {
        const std::string_view name = NodeName(node);
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
    const HtmlDocPointer doc = ParseHtmlPiece(html);
    if (!doc) return "";
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) return "";
    TextRenderer renderer(links);
    WalkHtml(root, [&](xmlNode* node) { return renderer.Enter(node); },
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
