#pragma once

#include "OpmlModel.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <string>

// The tree as text, one node a line: depth, kind, text and the record's values.
inline void DumpNode(const QTreeWidgetItem* node, std::string& out) {
    out += std::string(static_cast<std::size_t>(NodeDepth(node)), ' ');
    if (const auto data = OutlineData(node)) {
        out += "item " + NodeText(node) + " | " + data->xmlUrl + " | " + data->description +
               " | " + data->htmlUrl + "\n";
    } else {
        out += "folder " + NodeText(node) + "\n";
    }
    for (int i = 0; i < node->childCount(); ++i) DumpNode(node->child(i), out);
}

inline std::string DumpTree(const QTreeWidget& tree) {
    std::string out;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) DumpNode(tree.topLevelItem(i), out);
    return out;
}
