#include "TrvOpml.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

QStringList LocalFiles(const QMimeData* mime) {
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    }
    return paths;
}

TTrvOpml::TTrvOpml(QWidget* parent) : QTreeView(parent) {
    setObjectName("TrvOpml");
    setHeaderHidden(true);
    setIndentation(19);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMouseTracking(true);
    setIconSize(QSize(16, 16));
    header()->setStretchLastSection(true);
}

DropZone TTrvOpml::ZoneAt(const QPoint& pos, QModelIndex* node) const {
    const QModelIndex index = indexAt(pos);
    if (node != nullptr) *node = index;
    if (!index.isValid()) return DropZone::None;
    const QRect cell = visualRect(index);
    // The label ends after the icon, a small gap and the text.
    const int labelRight = cell.left() + iconSize().width() + 6 +
                           fontMetrics().horizontalAdvance(index.data().toString()) + 4;
    return pos.x() <= labelRight ? DropZone::OnNode : DropZone::RightOfLabel;
}

void TTrvOpml::mousePressEvent(QMouseEvent* event) {
    // A click below the last row keeps the selection, so the node boxes never
    // show values that belong to no selected node.
    if (!indexAt(event->position().toPoint()).isValid()) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TTrvOpml::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this || event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TTrvOpml::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() != this) {
        if (event->mimeData()->hasUrls()) event->acceptProposedAction();
        else event->ignore();
        return;
    }
    if (ZoneAt(event->position().toPoint(), nullptr) == DropZone::None) {
        event->ignore();
    } else {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }
}

void TTrvOpml::dropEvent(QDropEvent* event) {
    if (event->source() == this) {
        if (onNodeDrop) onNodeDrop(event->position().toPoint());
        // The node is already in place; a copy action keeps the view from
        // removing the "moved" original.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    if (event->mimeData()->hasUrls()) {
        if (onFilesDrop) onFilesDrop(LocalFiles(event->mimeData()));
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}
