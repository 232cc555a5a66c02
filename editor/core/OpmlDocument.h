#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The record of a feed-item node. A node that carries one is a feed item; a node
// without one is a folder.
struct TOutlineData {
    std::string xmlUrl;
    std::string description;
    std::string htmlUrl;
    bool operator==(const TOutlineData&) const = default;
};

// The head values of an OPML document.
struct OpmlHead {
    std::string title;
    std::string ownerName;
    std::string ownerEmail;
    std::string dateCreated;
    std::string dateModified;
    std::string stylesheetHref;  // href of the xml-stylesheet instruction
    bool operator==(const OpmlHead&) const = default;
};

// A feed's channel title, link and description.
struct ChannelInfo {
    std::string title;
    std::string link;
    std::string description;
    bool operator==(const ChannelInfo&) const = default;
};

// One outline of the body. A node owns its children; the root of a tree is a node
// without text whose children are the top level.
class OutlineNode {
public:
    OutlineNode() = default;
    OutlineNode(std::string text, std::optional<TOutlineData> data)
        : text(std::move(text)), data(std::move(data)) {}
    // Frees the subtree without recursion, so a deep tree cannot exhaust the stack.
    ~OutlineNode();
    OutlineNode(const OutlineNode&) = delete;
    OutlineNode& operator=(const OutlineNode&) = delete;

    std::string text;
    std::optional<TOutlineData> data;  // feed items only

    bool IsFeedItem() const { return data.has_value(); }
    OutlineNode* Parent() const { return parent_; }
    int ChildCount() const { return static_cast<int>(children_.size()); }
    OutlineNode* Child(int index) const;
    // Index among the parent's children; 0 for a root.
    int Row() const;
    // 0 for a top-level node (a child of the root).
    int Depth() const;
    // Nodes below this one, at every depth.
    int DescendantCount() const;
    // True when node is this one or lies below it.
    bool Contains(const OutlineNode* node) const;

    OutlineNode& Insert(int index, std::unique_ptr<OutlineNode> child);
    OutlineNode& Append(std::unique_ptr<OutlineNode> child);
    std::unique_ptr<OutlineNode> Take(int index);
    void Clear();

private:
    OutlineNode* parent_ = nullptr;
    std::vector<std::unique_ptr<OutlineNode>> children_;
};

// New nodes are appended as the last child of parent.
OutlineNode& AppendFolder(OutlineNode& parent, const std::string& text);
OutlineNode& AppendFeedItem(OutlineNode& parent, const std::string& text,
                            const TOutlineData& data);

// The feed list being edited: its head and the tree of its body.
struct OpmlDocument {
    OpmlHead head;
    OutlineNode body;
};
