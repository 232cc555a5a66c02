#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include <string>
#include <string_view>

#include "OpmlDocument.h"
#include "OpmlReader.h"
#include "OutlineEditing.h"

// The feed list as the tree view shows it: one row per outline, its text and the
// folder or feed-item image (the selected image in the view's selected mode). The
// model owns the document and its reader; every change goes through here so the
// view hears of it.
class OpmlTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit OpmlTreeModel(QObject* parent = nullptr);

    // The node of an index; the body's root for an invalid one.
    OutlineNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const OutlineNode* node) const;

    const OpmlDocument& Document() const { return document_; }
    OutlineNode& Top() { return document_.body; }
    const OpmlHead& Head() const { return document_.head; }
    void SetHead(const OpmlHead& head) { document_.head = head; }
    OpmlReader& Reader() { return reader_; }
    int NodeCount() const { return document_.body.DescendantCount(); }

    // Reading appends outlines at the end of the top level.
    void ScanFile(const std::string& path);
    void ScanBuffer(std::string_view bytes);
    void Clear();

    OutlineNode& AddNode(OutlineNode& parent, const std::string& text,
                         const std::optional<TOutlineData>& data);
    void RemoveNode(OutlineNode& node);
    bool MoveNode(OutlineNode& node, const OutlinePlace& place);
    void SetText(OutlineNode& node, const std::string& text);
    void SetRecord(OutlineNode& node, const TOutlineData& data);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;

private:
    // Runs a read and announces the top-level rows it appended.
    template <typename Read>
    void AppendFrom(Read read);

    OpmlDocument document_;
    OpmlReader reader_{document_.body};
    QIcon folderIcon_;
    QIcon feedItemIcon_;
};
