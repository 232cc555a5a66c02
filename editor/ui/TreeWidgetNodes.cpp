#include "TreeWidgetNodes.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <vector>

namespace {

constexpr const char* kImageListProperty = "ImlTrvOpml";

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void SetTreeImageList(QTreeWidget* tree, const QList<QIcon>& images) {
    tree->setProperty(kImageListProperty, QVariant::fromValue(images));
}

QList<QIcon> TreeImageList(const QTreeWidget* tree) {
    if (tree == nullptr) return {};
    return tree->property(kImageListProperty).value<QList<QIcon>>();
}

std::string NodeText(const QTreeWidgetItem* node) {
    return node->text(0).toStdString();
}

void SetNodeText(QTreeWidgetItem* node, const std::string& text) {
    node->setText(0, ToQString(text));
}

bool IsFeedItem(const QTreeWidgetItem* node) {
    return node != nullptr && node->data(0, kOutlineDataRole).canConvert<TOutlineData>();
}

std::optional<TOutlineData> OutlineData(const QTreeWidgetItem* node) {
    if (!IsFeedItem(node)) return std::nullopt;
    return node->data(0, kOutlineDataRole).value<TOutlineData>();
}

void SetOutlineData(QTreeWidgetItem* node, const TOutlineData& data) {
    node->setData(0, kOutlineDataRole, QVariant::fromValue(data));
}

void ClearOutlineData(QTreeWidgetItem* node) {
    node->setData(0, kOutlineDataRole, QVariant());
}

void SetNodeImages(QTreeWidgetItem* node, int image, int selectedImage) {
    node->setData(0, kImageIndexRole, image);
    node->setData(0, kSelectedImageIndexRole, selectedImage);
    const QList<QIcon> images = TreeImageList(node->treeWidget());
    if (image >= 0 && image < images.size()) node->setIcon(0, images[image]);
}

int NodeImage(const QTreeWidgetItem* node) {
    return node->data(0, kImageIndexRole).toInt();
}

int NodeSelectedImage(const QTreeWidgetItem* node) {
    return node->data(0, kSelectedImageIndexRole).toInt();
}

namespace {

QTreeWidgetItem* AppendNode(QTreeWidget* tree, QTreeWidgetItem* parent,
                            const std::string& text) {
    auto* node = new QTreeWidgetItem();
    node->setText(0, ToQString(text));
    if (parent != nullptr) {
        parent->addChild(node);
    } else {
        tree->addTopLevelItem(node);
    }
    return node;
}

}  // namespace

QTreeWidgetItem* CreateFolderNode(QTreeWidget* tree, QTreeWidgetItem* parent,
                                  const std::string& text) {
    QTreeWidgetItem* node = AppendNode(tree, parent, text);
    SetNodeImages(node, kImageFolder, kImageFolderSelected);
    return node;
}

QTreeWidgetItem* CreateFeedItemNode(QTreeWidget* tree, QTreeWidgetItem* parent,
                                    const std::string& text, const TOutlineData& data) {
    QTreeWidgetItem* node = AppendNode(tree, parent, text);
    SetOutlineData(node, data);
    SetNodeImages(node, kImageFeedItem, kImageFeedItemSelected);
    return node;
}

int NodeDepth(const QTreeWidgetItem* node) {
    int depth = 0;
    for (const QTreeWidgetItem* p = node->parent(); p != nullptr; p = p->parent()) ++depth;
    return depth;
}

void ExpandAndSelectFirst(QTreeWidget* tree) {
    if (tree->topLevelItemCount() == 0) return;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        // Depth-first, without recursion, so a deep tree cannot exhaust the stack.
        QList<QTreeWidgetItem*> pending{top};
        while (!pending.isEmpty()) {
            QTreeWidgetItem* node = pending.takeLast();
            node->setExpanded(true);
            for (int c = node->childCount() - 1; c >= 0; --c) pending.append(node->child(c));
        }
    }
    QTreeWidgetItem* first = tree->topLevelItem(0);
    tree->setCurrentItem(first);
    tree->scrollToItem(first, QAbstractItemView::PositionAtTop);
}

void AppendToTree(QTreeWidget* tree, const OutlineNode& top) {
    std::vector<std::pair<const OutlineNode*, QTreeWidgetItem*>> pending;
    for (int i = top.ChildCount() - 1; i >= 0; --i) pending.emplace_back(top.Child(i), nullptr);
    while (!pending.empty()) {
        const auto [node, parent] = pending.back();
        pending.pop_back();
        QTreeWidgetItem* item = node->data ? CreateFeedItemNode(tree, parent, node->text, *node->data)
                                           : CreateFolderNode(tree, parent, node->text);
        for (int i = node->ChildCount() - 1; i >= 0; --i) pending.emplace_back(node->Child(i), item);
    }
}

void CopyFromTree(const QTreeWidget* tree, OutlineNode& top) {
    top.Clear();
    std::vector<std::pair<const QTreeWidgetItem*, OutlineNode*>> pending;
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) pending.emplace_back(tree->topLevelItem(i), &top);
    while (!pending.empty()) {
        const auto [item, parent] = pending.back();
        pending.pop_back();
        OutlineNode& node = parent->Append(std::make_unique<OutlineNode>(NodeText(item), OutlineData(item)));
        for (int i = item->childCount() - 1; i >= 0; --i) pending.emplace_back(item->child(i), &node);
    }
}
