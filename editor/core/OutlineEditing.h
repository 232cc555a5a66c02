#pragma once

#include "OpmlDocument.h"

#include <optional>

// Where a node goes: the index among parent's children, counted before the node
// leaves its old place.
struct OutlinePlace {
    OutlineNode* parent;
    int index;
    bool operator==(const OutlinePlace&) const = default;
};

// The parent of a node the add commands create: the selected folder, the folder of
// the selected feed item, or the top level when nothing is selected.
OutlineNode& NewNodeParent(OutlineNode& top, OutlineNode* selected);

// "Up": one place up among its siblings; the first child leaves its folder to
// stand just before it. The very first node stays.
std::optional<OutlinePlace> PlaceAbove(OutlineNode& top, OutlineNode& node);
// "Down": one place down among its siblings; the last child leaves its folder to
// stand just after it. The last node in display order stays.
std::optional<OutlinePlace> PlaceBelow(OutlineNode& top, OutlineNode& node);

// A dragged node dropped on a node goes into a folder as its first child, or
// before a feed item; dropped right of a label it goes to the end of the top level.
// A folder never goes into itself.
enum class DropZone { None, OnNode, RightOfLabel };
std::optional<OutlinePlace> PlaceOfDrop(OutlineNode& top, OutlineNode& dragged,
                                        OutlineNode* target, DropZone zone);

// Moves node to place; false (and nothing moves) when place lies inside node.
bool MoveOutline(OutlineNode& node, const OutlinePlace& place);
