#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

// One piece of HTML read with libxml2's forgiving HTML parser, for the text rendering
// and the cleaner alike. Internal to the mail library: only its sources include this.

struct HtmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using HtmlDocPointer = std::unique_ptr<xmlDoc, HtmlDocFree>;

// The document of the piece; null for an empty piece. Invalid UTF-8 and NUL read as
// U+FFFD; nothing is loaded from anywhere.
HtmlDocPointer ParseHtmlPiece(std::string_view html);

// The element name as the parser gives it (lower case for HTML), "" for none.
inline std::string_view NodeName(const xmlNode* node) {
    return node->name ? std::string_view(reinterpret_cast<const char*>(node->name)) : std::string_view();
}

// An attribute's value with its entities decoded; "" when the element has none.
std::string NodeAttribute(xmlNode* node, const char* name);

// The body element under the root, or null.
xmlNode* HtmlBody(xmlNode* root);

// Walks the children of root in document order without recursion, so nesting depth
// costs no stack. enter says whether to go into a node; leave runs for each node
// entered that way, after its children.
template <class Enter, class Leave>
void WalkHtml(xmlNode* root, Enter enter, Leave leave) {
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
