#pragma once

#include "OpmlDocument.h"

#include <QIcon>
#include <QList>
#include <QMetaType>
#include <optional>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

Q_DECLARE_METATYPE(TOutlineData)

// Indexes into the tree's image list ImlTrvOpml.
enum OpmlImage : int {
    kImageFolder = 0,
    kImageFeedItem = 1,
    kImageFolderSelected = 2,
    kImageFeedItemSelected = 3,
};

// Item data roles used on the tree's nodes (column 0).
inline constexpr int kOutlineDataRole = Qt::UserRole + 1;     // TOutlineData, feed items only
inline constexpr int kImageIndexRole = Qt::UserRole + 2;      // int
inline constexpr int kSelectedImageIndexRole = Qt::UserRole + 3;  // int

// The tree's image list: images 0 to 3. Once set, SetNodeImages also sets the
// node's icon (the selected image is shown by the window on selection).
void SetTreeImageList(QTreeWidget* tree, const QList<QIcon>& images);
QList<QIcon> TreeImageList(const QTreeWidget* tree);

// Node text (display text of column 0) as UTF-8.
std::string NodeText(const QTreeWidgetItem* node);
void SetNodeText(QTreeWidgetItem* node, const std::string& text);

bool IsFeedItem(const QTreeWidgetItem* node);
std::optional<TOutlineData> OutlineData(const QTreeWidgetItem* node);
void SetOutlineData(QTreeWidgetItem* node, const TOutlineData& data);
// Makes the node a folder: its record is released.
void ClearOutlineData(QTreeWidgetItem* node);

void SetNodeImages(QTreeWidgetItem* node, int image, int selectedImage);
int NodeImage(const QTreeWidgetItem* node);
int NodeSelectedImage(const QTreeWidgetItem* node);

// New nodes are appended as the last child of parent, or at the end of the top level
// of tree when parent is null. Folders get images 0/2, feed items 1/3.
QTreeWidgetItem* CreateFolderNode(QTreeWidget* tree, QTreeWidgetItem* parent,
                                  const std::string& text);
QTreeWidgetItem* CreateFeedItemNode(QTreeWidget* tree, QTreeWidgetItem* parent,
                                    const std::string& text, const TOutlineData& data);

// Depth of a node: 0 for a top-level node.
int NodeDepth(const QTreeWidgetItem* node);

// Expands every top-level node with all its descendants, selects the first top-level
// node and scrolls it to the top.
void ExpandAndSelectFirst(QTreeWidget* tree);

// Appends copies of top's children at the end of the tree's top level.
void AppendToTree(QTreeWidget* tree, const OutlineNode& top);
// The tree as outlines: top's children become the tree's top level.
void CopyFromTree(const QTreeWidget* tree, OutlineNode& top);
