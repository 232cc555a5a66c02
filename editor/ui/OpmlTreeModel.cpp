#include "OpmlTreeModel.h"

#include <vector>

#include "UnitFrmMainImages.h"

namespace {

QIcon IconOf(int image, int selectedImage) {
    QIcon icon(TreeImage(image));
    icon.addPixmap(TreeImage(selectedImage), QIcon::Selected);
    return icon;
}

}  // namespace

OpmlTreeModel::OpmlTreeModel(QObject* parent)
    : QAbstractItemModel(parent),
      folderIcon_(IconOf(kImageFolder, kImageFolderSelected)),
      feedItemIcon_(IconOf(kImageFeedItem, kImageFeedItemSelected)) {}

OutlineNode* OpmlTreeModel::Node(const QModelIndex& index) const {
    if (!index.isValid()) return const_cast<OutlineNode*>(&document_.body);
    return static_cast<OutlineNode*>(index.internalPointer());
}

QModelIndex OpmlTreeModel::IndexOf(const OutlineNode* node) const {
    if (node == nullptr || node == &document_.body || node->Parent() == nullptr) return {};
    return createIndex(node->Row(), 0, const_cast<OutlineNode*>(node));
}

template <typename Read>
void OpmlTreeModel::AppendFrom(Read read) {
    OutlineNode& top = document_.body;
    const int before = top.ChildCount();
    read();
    const int after = top.ChildCount();
    if (after <= before) return;
    // The rows are taken out and put back inside the insertion, so the view
    // learns of them the way it expects.
    std::vector<std::unique_ptr<OutlineNode>> added;
    while (top.ChildCount() > before) added.push_back(top.Take(before));
    beginInsertRows({}, before, after - 1);
    for (auto& node : added) top.Append(std::move(node));
    endInsertRows();
}

void OpmlTreeModel::ScanFile(const std::string& path) {
    AppendFrom([&] { reader_.ScanFile(path); });
}

void OpmlTreeModel::ScanBuffer(std::string_view bytes) {
    AppendFrom([&] { reader_.ScanBuffer(bytes); });
}

void OpmlTreeModel::Clear() {
    beginResetModel();
    document_.body.Clear();
    endResetModel();
}

OutlineNode& OpmlTreeModel::AddNode(OutlineNode& parent, const std::string& text,
                                    const std::optional<TOutlineData>& data) {
    const int row = parent.ChildCount();
    beginInsertRows(IndexOf(&parent), row, row);
    OutlineNode& node = parent.Append(std::make_unique<OutlineNode>(text, data));
    endInsertRows();
    return node;
}

void OpmlTreeModel::RemoveNode(OutlineNode& node) {
    OutlineNode* parent = node.Parent();
    if (parent == nullptr) return;
    const int row = node.Row();
    beginRemoveRows(IndexOf(parent), row, row);
    parent->Take(row);  // its children and their records go with it
    endRemoveRows();
}

bool OpmlTreeModel::MoveNode(OutlineNode& node, const OutlinePlace& place) {
    OutlineNode* oldParent = node.Parent();
    if (oldParent == nullptr || place.parent == nullptr || node.Contains(place.parent)) return false;
    const int row = node.Row();
    // A move onto its own place changes nothing and is no move to the view.
    if (oldParent == place.parent && (place.index == row || place.index == row + 1)) return true;
    if (!beginMoveRows(IndexOf(oldParent), row, row, IndexOf(place.parent), place.index)) return false;
    MoveOutline(node, place);
    endMoveRows();
    return true;
}

void OpmlTreeModel::SetText(OutlineNode& node, const std::string& text) {
    if (node.text == text) return;
    node.text = text;
    const QModelIndex index = IndexOf(&node);
    emit dataChanged(index, index, {Qt::DisplayRole});
}

void OpmlTreeModel::SetRecord(OutlineNode& node, const TOutlineData& data) {
    node.data = data;
    const QModelIndex index = IndexOf(&node);
    emit dataChanged(index, index);
}

QModelIndex OpmlTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0) return {};
    OutlineNode* child = Node(parent)->Child(row);
    return child != nullptr ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex OpmlTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    return IndexOf(Node(child)->Parent());
}

int OpmlTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return Node(parent)->ChildCount();
}

int OpmlTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant OpmlTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const OutlineNode* node = Node(index);
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(node->text);
    case Qt::DecorationRole:
        return node->IsFeedItem() ? feedItemIcon_ : folderIcon_;
    default:
        return {};
    }
}

Qt::ItemFlags OpmlTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

Qt::DropActions OpmlTreeModel::supportedDropActions() const { return Qt::MoveAction | Qt::CopyAction; }
