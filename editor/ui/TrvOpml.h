#pragma once

#include <QTreeView>

#include <functional>

#include "OutlineEditing.h"

class QMimeData;

// The tree of the main window, a view of the document's model. It reports drops
// to the window, which decides what they mean: nodes dragged inside the tree, or
// files from the desktop.
class TTrvOpml : public QTreeView {
    Q_OBJECT
public:
    explicit TTrvOpml(QWidget* parent);

    // Where a drop at a viewport position lands, and on which row.
    DropZone ZoneAt(const QPoint& viewportPos, QModelIndex* node) const;

    std::function<void(const QPoint&)> onNodeDrop;
    std::function<void(const QStringList&)> onFilesDrop;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The local files among dropped URLs, for the tree and for the window around it.
QStringList LocalFiles(const QMimeData* mime);
