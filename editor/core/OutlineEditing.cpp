#include "OutlineEditing.h"

namespace {

// The last node of the tree in display order (expanded or not).
const OutlineNode* LastNode(const OutlineNode& top) {
    const OutlineNode* node = &top;
    while (node->ChildCount() > 0) node = node->Child(node->ChildCount() - 1);
    return node == &top ? nullptr : node;
}

}  // namespace

OutlineNode& NewNodeParent(OutlineNode& top, OutlineNode* selected) {
    if (selected == nullptr) return top;
    if (!selected->IsFeedItem()) return *selected;
    return selected->Parent() != nullptr ? *selected->Parent() : top;
}

std::optional<OutlinePlace> PlaceAbove(OutlineNode& top, OutlineNode& node) {
    if (&node == top.Child(0) || node.Parent() == nullptr) return std::nullopt;
    const int index = node.Row();
    if (index > 0) return OutlinePlace{node.Parent(), index - 1};
    OutlineNode* folder = node.Parent();
    if (folder == &top || folder->Parent() == nullptr) return std::nullopt;
    return OutlinePlace{folder->Parent(), folder->Row()};
}

std::optional<OutlinePlace> PlaceBelow(OutlineNode& top, OutlineNode& node) {
    if (&node == LastNode(top) || node.Parent() == nullptr) return std::nullopt;
    OutlineNode* parent = node.Parent();
    const int index = node.Row();
    // Past the next sibling: the two swap places.
    if (index + 1 < parent->ChildCount()) return OutlinePlace{parent, index + 2};
    // Last child of its folder: out of the folder, just after it.
    if (parent == &top || parent->Parent() == nullptr) return std::nullopt;
    return OutlinePlace{parent->Parent(), parent->Row() + 1};
}

std::optional<OutlinePlace> PlaceOfDrop(OutlineNode& top, OutlineNode& dragged,
                                        OutlineNode* target, DropZone zone) {
    switch (zone) {
    case DropZone::OnNode:
        if (target == nullptr || dragged.Contains(target)) return std::nullopt;
        if (target->IsFeedItem()) return OutlinePlace{target->Parent(), target->Row()};
        return OutlinePlace{target, 0};
    case DropZone::RightOfLabel:
        return OutlinePlace{&top, top.ChildCount()};
    case DropZone::None:
        break;
    }
    return std::nullopt;
}

bool MoveOutline(OutlineNode& node, const OutlinePlace& place) {
    OutlineNode* oldParent = node.Parent();
    if (oldParent == nullptr || place.parent == nullptr || node.Contains(place.parent)) return false;
    const int oldIndex = node.Row();
    int index = place.index;
    if (oldParent == place.parent && oldIndex < index) --index;  // the slot shifts once the node is out
    place.parent->Insert(index, oldParent->Take(oldIndex));
    return true;
}
