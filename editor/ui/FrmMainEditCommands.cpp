// The window's editing commands: the node boxes that show the selected node and
// write edits back, adding items and folders, deleting, moving, and the OPML head.
#include "UnitFrmMain.h"

#include <QAction>
#include <QLineEdit>
#include <QTimer>

#include "FrmMainSupport.h"
#include "OpmlTreeModel.h"
#include "TrvOpml.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmOpmlProperty.h"

using namespace frmmain;

// ---------------------------------------------------------------- node boxes

void TFrmMain::TrvOpmlChange() {
    const OutlineNode* node = SelectedNode();
    if (node == nullptr) return;
    act_->Delete->setEnabled(true);
    SetBoxEnabled(EdtRssTitle, true);
    EdtRssTitle->setText(Q(node->text));
    EdtRssTitle->setCursorPosition(0);
    const std::optional<TOutlineData> data = node->data;  // the boxes' signals write to it
    for (QLineEdit* box : {EdtRssUrl, EdtRssDesc, EdtSrcUrl}) SetBoxEnabled(box, data.has_value());
    if (data) {
        EdtRssUrl->setText(Q(data->xmlUrl));
        EdtRssDesc->setText(Q(data->description));
        EdtSrcUrl->setText(Q(data->htmlUrl));
        // Long addresses show their beginning, where they differ most.
        for (QLineEdit* box : {EdtRssUrl, EdtRssDesc, EdtSrcUrl}) box->setCursorPosition(0);
    } else {
        for (QLineEdit* box : {EdtRssUrl, EdtRssDesc, EdtSrcUrl}) box->clear();
    }
    act_->UpdateFromRss->setEnabled(data.has_value());
}

void TFrmMain::ClearNodeFields() {
    for (QLineEdit* box : {EdtRssTitle, EdtRssUrl, EdtRssDesc, EdtSrcUrl}) {
        const QSignalBlocker block(box);
        box->clear();
        SetBoxEnabled(box, false);
    }
}

void TFrmMain::EditTitle() {
    OutlineNode* node = SelectedNode();
    if (node == nullptr || !EdtRssTitle->isEnabled()) return;
    const std::string text = S(EdtRssTitle->text());
    if (text == node->text) return;
    modified_ = true;
    model_->SetText(*node, text);
}

void TFrmMain::EditRecord(QLineEdit* box, std::string TOutlineData::*field) {
    OutlineNode* node = SelectedNode();
    if (node == nullptr || !node->data) return;
    const std::string text = S(box->text());
    if ((*node->data).*field == text) return;
    TOutlineData data = *node->data;
    data.*field = text;
    model_->SetRecord(*node, data);
    modified_ = true;
}

void TFrmMain::FocusTitleBox() {
    SetBoxEnabled(EdtRssTitle, true);
    EdtRssTitle->setFocus();
    EdtRssTitle->selectAll();
}

void TFrmMain::SetNodeBoxesFromChannel(const std::string& xmlUrl) {
    const ChannelInfo& channel = model_->Reader().Channel();
    EdtRssTitle->setText(Q(channel.title));
    EdtRssUrl->setText(Q(xmlUrl));
    EdtRssDesc->setText(Q(channel.description));
    EdtSrcUrl->setText(Q(channel.link));
}

// ---------------------------------------------------------------- editing commands

OutlineNode& TFrmMain::PlaceNewNode(const std::string& text, const std::optional<TOutlineData>& data) {
    OutlineNode* selected = SelectedNode();
    OutlineNode& parent = NewNodeParent(model_->Top(), selected);
    OutlineNode& node = model_->AddNode(parent, text, data);
    if (&parent != &model_->Top()) TrvOpml->expand(model_->IndexOf(&parent));
    if (selected == nullptr) SetDocumentActions(true, false, true);
    modified_ = true;
    SelectNode(&node);
    TrvOpml->scrollTo(model_->IndexOf(&node));
    return node;
}

void TFrmMain::ActAddItemExecute() {
    if (focusWidget() != TrvOpml) return;
    PlaceNewNode(kNewItemText, TOutlineData{"http://", "", "http://"});
    FocusTitleBox();
}

void TFrmMain::ActAddFolderExecute() {
    PlaceNewNode("新規フォルダ", std::nullopt);
    FocusTitleBox();
}

void TFrmMain::ActDeleteExecute() {
    OutlineNode* node = SelectedNode();
    if (node == nullptr) return;
    if (settings_.confirmOnDelete) {
        const QString question = QStringLiteral("本当に \"") + Q(node->text) + QStringLiteral("\" を削除しますか?");
        if (ShowMessageBox(question, kQuestionYesNo) != QMessageBox::Yes) return;
    }
    model_->RemoveNode(*node);
    selectionTimer_->stop();
    if (model_->NodeCount() == 0) {
        ClearNodeFields();
        act_->UpdateFromRss->setEnabled(false);
        act_->Delete->setEnabled(false);
        modified_ = false;
    } else {
        FlushSelectionChange();
    }
}

void TFrmMain::MoveNode(OutlineNode* node, const std::optional<OutlinePlace>& place) {
    if (node == nullptr || !place) return;
    BeginUpdate();
    if (!model_->MoveNode(*node, *place)) {
        EndUpdate();
        return;
    }
    if (place->parent != &model_->Top()) TrvOpml->expand(model_->IndexOf(place->parent));
    TrvOpml->setCurrentIndex(model_->IndexOf(node));
    EndUpdate();
    TrvOpml->scrollTo(model_->IndexOf(node));
    FlushSelectionChange();
}

void TFrmMain::TrvOpmlDragDrop(const QPoint& viewportPos) {
    OutlineNode* dragged = SelectedNode();
    if (dragged == nullptr) return;
    QModelIndex target;
    const DropZone zone = TrvOpml->ZoneAt(viewportPos, &target);
    OutlineNode* targetNode = target.isValid() ? model_->Node(target) : nullptr;
    MoveNode(dragged, PlaceOfDrop(model_->Top(), *dragged, targetNode, zone));
}

void TFrmMain::ActOpmlPropertyExecute() {
    // The next open starts its head from the document's, as the dialog showed it.
    model_->Reader().ScratchHead() = model_->Head();
    FrmOpmlProperty->ShowHead(model_->Head());
    if (dialogs_.ExecDialog(FrmOpmlProperty) != QDialog::Accepted) return;
    model_->SetHead(FrmOpmlProperty->EditedHead());
    modified_ = true;
}
