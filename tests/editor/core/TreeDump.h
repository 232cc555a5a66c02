#pragma once

#include "OpmlDocument.h"

#include <string>

// The tree as text, one node a line: depth, kind, text and the record's values.
inline void DumpNode(const OutlineNode& node, std::string& out) {
    out += std::string(static_cast<std::size_t>(node.Depth()), ' ');
    if (const auto& data = node.data) {
        out += "item " + node.text + " | " + data->xmlUrl + " | " + data->description + " | " +
               data->htmlUrl + "\n";
    } else {
        out += "folder " + node.text + "\n";
    }
    for (int i = 0; i < node.ChildCount(); ++i) DumpNode(*node.Child(i), out);
}

// top's children are the top level.
inline std::string DumpTree(const OutlineNode& top) {
    std::string out;
    for (int i = 0; i < top.ChildCount(); ++i) DumpNode(*top.Child(i), out);
    return out;
}
