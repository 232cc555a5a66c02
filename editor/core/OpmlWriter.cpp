#include "OpmlWriter.h"

#include "AtomicFile.h"
#include "jconvert.h"

#include <cstdio>
#include <vector>

namespace {

constexpr const char* kCrLf = "\r\n";

// Characters XML 1.0 forbids (C0 controls other than TAB, LF and CR; U+FFFE and
// U+FFFF) are left out: one of them would make the whole feed list unreadable to the
// gateway's XML parser. Text pasted from web pages does carry them now and then.
std::string WithoutForbiddenCharacters(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') continue;
        if (b == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

// Every value from the head or the tree: escaped, then made UTF-8.
std::string Value(std::string_view text) {
    return WithoutForbiddenCharacters(LocalToUtf8(EscapeXmlText(text)));
}

void Line(std::string& out, std::string_view text) {
    out += text;
    out += kCrLf;
}

}  // namespace

void WriteOutline(std::string& out, const OutlineNode& node) {
    // Depth-first without recursion: each entry is a node, or the closing line of a
    // folder whose children have been written.
    struct Step {
        const OutlineNode* node;
        int depth;
        bool close;
    };
    std::vector<Step> pending{{&node, node.Depth(), false}};
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        std::string indent = "\t\t";
        indent.append(static_cast<std::size_t>(step.depth), '\t');
        if (step.close) {
            Line(out, indent + "</outline>");
            continue;
        }
        const std::string text = Value(step.node->text);
        if (const auto& data = step.node->data) {
            Line(out, indent + "<outline text=\"" + text + "\" type=\"rss\" xmlUrl=\"" +
                          Value(data->xmlUrl) + "\" description=\"" +
                          Value(data->description) + "\" htmlUrl=\"" +
                          Value(data->htmlUrl) + "\" title=\"" + text + "\" />");
            continue;
        }
        Line(out, indent + "<outline text=\"" + text + "\">");
        pending.push_back({step.node, step.depth, true});
        for (int i = step.node->ChildCount() - 1; i >= 0; --i) {
            pending.push_back({step.node->Child(i), step.depth + 1, false});
        }
    }
}

std::string BuildOpmlText(const OpmlHead& head, const OutlineNode& top, std::time_t now) {
    const std::string timestamp = FormatUtc(kOpmlDatePattern, now);
    std::string out;
    Line(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    if (!head.stylesheetHref.empty()) {
        Line(out, "<?xml-stylesheet href=\"" + Value(head.stylesheetHref) +
                      "\" type=\"text/xsl\"?>");
    }
    Line(out, "<opml version=\"1.0\">");
    Line(out, "\t<head>");
    if (!head.title.empty()) Line(out, "\t\t<title>" + Value(head.title) + "</title>");
    Line(out, "\t\t<dateCreated>" +
                  (head.dateCreated.empty() ? timestamp : Value(head.dateCreated)) +
                  "</dateCreated>");
    // The head's own dateModified is never written: saving is the modification.
    Line(out, "\t\t<dateModified>" + timestamp + "</dateModified>");
    if (!head.ownerName.empty()) {
        Line(out, "\t\t<ownerName>" + Value(head.ownerName) + "</ownerName>");
    }
    if (!head.ownerEmail.empty()) {
        Line(out, "\t\t<ownerEmail>" + Value(head.ownerEmail) + "</ownerEmail>");
    }
    Line(out, "\t</head>");
    Line(out, "\t<body>");
    for (int i = 0; i < top.ChildCount(); ++i) WriteOutline(out, *top.Child(i));
    Line(out, "\t</body>");
    Line(out, "</opml>");
    return out;
}

OpmlSaveResult SaveOpmlFile(const std::string& path, const OpmlHead& head,
                            const OutlineNode& top) {
    // The whole text is built before the file is touched.
    const std::string text = BuildOpmlText(head, top, std::time(nullptr));
    OpmlSaveResult result;
    if (path.empty()) {
        result.message = kSaveFailedMessage;
        result.detail = "no file name";
        return result;
    }
    result.ok = ReplaceFileAtomically(path, text, result.detail);
    if (!result.ok) result.message = kSaveFailedMessage;
    return result;
}
