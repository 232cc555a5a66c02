#include "OpmlDocument.h"

#include <algorithm>

OutlineNode::~OutlineNode() { Clear(); }

void OutlineNode::Clear() {
    std::vector<std::unique_ptr<OutlineNode>> pending = std::move(children_);
    children_.clear();
    while (!pending.empty()) {
        std::unique_ptr<OutlineNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children_) pending.push_back(std::move(child));
        node->children_.clear();
    }
}

OutlineNode* OutlineNode::Child(int index) const {
    if (index < 0 || index >= ChildCount()) return nullptr;
    return children_[static_cast<std::size_t>(index)].get();
}

int OutlineNode::Row() const {
    if (parent_ == nullptr) return 0;
    const auto& siblings = parent_->children_;
    const auto it = std::find_if(siblings.begin(), siblings.end(),
                                 [this](const auto& sibling) { return sibling.get() == this; });
    return static_cast<int>(it - siblings.begin());
}

int OutlineNode::Depth() const {
    int depth = -1;
    for (const OutlineNode* p = parent_; p != nullptr; p = p->parent_) ++depth;
    return std::max(depth, 0);
}

int OutlineNode::DescendantCount() const {
    int count = 0;
    std::vector<const OutlineNode*> pending{this};
    while (!pending.empty()) {
        const OutlineNode* node = pending.back();
        pending.pop_back();
        count += node->ChildCount();
        for (const auto& child : node->children_) pending.push_back(child.get());
    }
    return count;
}

bool OutlineNode::Contains(const OutlineNode* node) const {
    for (const OutlineNode* p = node; p != nullptr; p = p->parent_) {
        if (p == this) return true;
    }
    return false;
}

OutlineNode& OutlineNode::Insert(int index, std::unique_ptr<OutlineNode> child) {
    index = std::clamp(index, 0, ChildCount());
    child->parent_ = this;
    OutlineNode& inserted = *child;
    children_.insert(children_.begin() + index, std::move(child));
    return inserted;
}

OutlineNode& OutlineNode::Append(std::unique_ptr<OutlineNode> child) {
    return Insert(ChildCount(), std::move(child));
}

std::unique_ptr<OutlineNode> OutlineNode::Take(int index) {
    if (index < 0 || index >= ChildCount()) return nullptr;
    std::unique_ptr<OutlineNode> child = std::move(children_[static_cast<std::size_t>(index)]);
    children_.erase(children_.begin() + index);
    child->parent_ = nullptr;
    return child;
}

OutlineNode& AppendFolder(OutlineNode& parent, const std::string& text) {
    return parent.Append(std::make_unique<OutlineNode>(text, std::nullopt));
}

OutlineNode& AppendFeedItem(OutlineNode& parent, const std::string& text,
                            const TOutlineData& data) {
    return parent.Append(std::make_unique<OutlineNode>(text, data));
}
