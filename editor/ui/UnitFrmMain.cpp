#include "UnitFrmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

#include "FeedFinder.h"
#include "OpmlTreeModel.h"
#include "OpmlWriter.h"
#include "UnitFrmAddItemFromUrl.h"
#include "UnitFrmAppointOpmlUrl.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmMainImages.h"
#include "UnitFrmOpmlProperty.h"
#include "UnitFrmOption.h"
#include "UnitFrmSearchBulkfeeds.h"
#include "jconvert.h"

namespace {

// Message box styles of the editor.
enum BoxStyle { kErrorOk, kQuestionYesNo, kWarningYesNoCancel, kInformationOk };

const char* const kOpmlFilter = "OPMLファイル (*.opml *.xml);;すべてのファイル (*)";
const char* const kConnectFailed = "インターネット接続に失敗しました。\n";
const char* const kNewItemText = "新規アイテム";
const char* const kSearchingText = "検索中...";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QStringList LocalFiles(const QMimeData* mime) {
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    }
    return paths;
}

// An enabled box has window colours, a disabled one menu colours.
void SetBoxEnabled(QLineEdit* box, bool enabled) {
    box->setEnabled(enabled);
    QPalette palette = box->palette();
    const QPalette app = QApplication::palette();
    palette.setColor(QPalette::Disabled, QPalette::Base, app.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Disabled, QPalette::Text, app.color(QPalette::Active, QPalette::ButtonText));
    palette.setColor(QPalette::Active, QPalette::Base, app.color(QPalette::Active, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::Base, app.color(QPalette::Inactive, QPalette::Base));
    box->setPalette(palette);
}

// A bare name is kept beside the program, never in the working directory.
QString ResolveDocumentPath(const QString& name) {
    if (QDir::isAbsolutePath(name)) return name;
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

}  // namespace

// ---------------------------------------------------------------- TTrvOpml

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

// ---------------------------------------------------------------- TFrmMain

struct TFrmMain::Actions {
    QAction* OpenOpmlFile;
    QAction* OpenOpmlFileFromUrl;
    QAction* OpenBulkfeedsSearchResult;
    QAction* AddOpmlFile;
    QAction* AddOpmlFileFromUrl;
    QAction* AddBulkfeedsSearchResult;
    QAction* SaveOpmlFile;
    QAction* SaveAsOpmlFile;
    QAction* ExitLwr;
    QAction* OpmlProperty;
    QAction* AddItem;
    QAction* AddItemFromUrl;
    QAction* AddFolder;
    QAction* UpdateFromRss;
    QAction* CheckStatus;
    QAction* Delete;
    QAction* CallOptionDlg;
    QAction* CallAboutDlg;
    QAction* ItemUp;
    QAction* ItemDown;
};

TFrmMain::TFrmMain(std::string settingsFile, DialogHooks& dialogs, const QStringList& arguments,
                   QWidget* parent)
    : QMainWindow(parent),
      model_(new OpmlTreeModel(this)),
      settingsFile_(std::move(settingsFile)),
      dialogs_(dialogs),
      act_(std::make_unique<Actions>()) {
    setObjectName("FrmMain");
    setWindowTitle(QStringLiteral("Corvane"));
    setWindowIcon(AppIcon());
    selectionTimer_ = new QTimer(this);
    selectionTimer_->setSingleShot(true);
    selectionTimer_->setInterval(50);
    connect(selectionTimer_, &QTimer::timeout, this, &TFrmMain::TrvOpmlChange);

    CreateWidgets();
    CreateActions();
    CreateMenus();

    FrmAddItemFromUrl = new TFrmAddItemFromUrl(this);
    FrmAppointOpmlUrl = new TFrmAppointOpmlUrl(this);
    FrmOpmlProperty = new TFrmOpmlProperty(this);
    FrmOption = new TFrmOption(this, dialogs_);
    FrmSearchBulkfeeds = new TFrmSearchBulkfeeds(this);

    model_->Reader().SetMessageSink([this](const std::string& text) { ShowMessageBox(Q(text), kErrorOk); });
    // A feed's missing elements keep what the boxes of the selected node hold.
    model_->Reader().SetNodeBoxesProvider([this] {
        ChannelInfo info;
        if (SelectedNode() != nullptr) {
            info.title = S(EdtRssTitle->text());
            info.link = S(EdtSrcUrl->text());
            info.description = S(EdtRssDesc->text());
        }
        return info;
    });

    settings_ = LoadSettings(settingsFile_);
    move(settings_.left, settings_.top);
    resize(std::max(1, settings_.width), std::max(1, settings_.height));
    setMinimumSize(232, 270 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    FrmOption->SetBulkfeedsHost(Q(settings_.bulkfeedsHost));
    http_.SetUserAgent(HttpClient::kDefaultUserAgent);
    LoadCommandLine(arguments);
}

TFrmMain::~TFrmMain() {
    settings_.top = y();
    settings_.left = x();
    settings_.height = height();
    settings_.width = width();
    SaveSettings(settings_, settingsFile_);
}

const OpmlHead& TFrmMain::DocumentHead() const { return model_->Head(); }

void TFrmMain::CreateWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    TrvOpml = new TTrvOpml(central);
    TrvOpml->setModel(model_);
    layout->addWidget(TrvOpml, 1);

    auto* panel = new QWidget(central);
    panel->setObjectName("PnlNodeData");
    panel->setFixedHeight(104);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    auto addBox = [&](int row, const char* label, const char* name) {
        auto* box = new QLineEdit(panel);
        box->setObjectName(name);
        auto* caption = new QLabel(QString::fromUtf8(label), panel);
        caption->setBuddy(box);
        grid->addWidget(caption, row, 0);
        grid->addWidget(box, row, 1);
        SetBoxEnabled(box, false);
        return box;
    };
    EdtRssTitle = addBox(0, "タイトル:", "EdtRssTitle");
    EdtRssUrl = addBox(1, "URL:", "EdtRssUrl");
    EdtRssDesc = addBox(2, "概要:", "EdtRssDesc");
    EdtSrcUrl = addBox(3, "ソースのURL:", "EdtSrcUrl");
    grid->setColumnStretch(1, 1);
    layout->addWidget(panel);
    setCentralWidget(central);

    StatusText = new QLabel(this);
    StatusText->setObjectName("StatusText");
    statusBar()->setObjectName("StatusBar");
    statusBar()->addWidget(StatusText, 1);

    connect(EdtRssTitle, &QLineEdit::textChanged, this, &TFrmMain::EditTitle);
    connect(EdtRssUrl, &QLineEdit::textChanged, this, [this] { EditRecord(EdtRssUrl, &TOutlineData::xmlUrl); });
    connect(EdtRssDesc, &QLineEdit::textChanged, this,
            [this] { EditRecord(EdtRssDesc, &TOutlineData::description); });
    connect(EdtSrcUrl, &QLineEdit::textChanged, this, [this] { EditRecord(EdtSrcUrl, &TOutlineData::htmlUrl); });
    connect(TrvOpml->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { selectionTimer_->start(); });
    connect(TrvOpml, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PmnTrvOpml->popup(TrvOpml->viewport()->mapToGlobal(pos)); });
    TrvOpml->onNodeDrop = [this](const QPoint& pos) { TrvOpmlDragDrop(pos); };
    TrvOpml->onFilesDrop = [this](const QStringList& paths) { DropFiles(paths); };
    setAcceptDrops(true);
}

void TFrmMain::CreateActions() {
    auto make = [this](QAction*& action, const char* name, const char* caption, QKeySequence key, bool enabled,
                       std::function<void()> handler) {
        action = new QAction(QString::fromUtf8(caption), this);
        action->setObjectName(name);
        if (!key.isEmpty()) action->setShortcut(key);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, std::move(handler));
        addAction(action);
    };
    Actions& a = *act_;
    make(a.OpenOpmlFile, "ActOpenOpmlFile", "OPMLファイルを開く(&O)...", QKeySequence("Ctrl+O"), true,
         [this] { ActOpenOpmlFileExecute(); });
    make(a.OpenOpmlFileFromUrl, "ActOpenOpmlFileFromUrl", "URLからOPMLファイルを開く(&P)...", {}, true,
         [this] { ActOpenFromUrlExecute(false); });
    make(a.OpenBulkfeedsSearchResult, "ActOpenBulkfeedsSearchResult", "Bulkfeedsの検索結果を開く(&B)...", {}, true,
         [this] { ActOpenFromUrlExecute(true); });
    make(a.AddOpmlFile, "ActAddOpmlFile", "OPMLファイルを追加(&D)...", QKeySequence("Ctrl+Shift+O"), false,
         [this] { ActAddOpmlFileExecute(); });
    make(a.AddOpmlFileFromUrl, "ActAddOpmlFileFromUrl", "URLからOPMLファイルを追加(&M)...", {}, false,
         [this] { ActAddFromUrlExecute(false); });
    make(a.AddBulkfeedsSearchResult, "ActAddBulkfeedsSearchResult", "Bulkfeedsの検索結果を追加(&U)...", {}, false,
         [this] { ActAddFromUrlExecute(true); });
    make(a.SaveOpmlFile, "ActSaveOpmlFile", "上書き保存(&S)...", QKeySequence("Ctrl+S"), false,
         [this] { SaveTo(documentFileName_); });
    make(a.SaveAsOpmlFile, "ActSaveAsOpmlFile", "名前を付けて保存(&A)...", QKeySequence("Ctrl+Shift+S"), false,
         [this] { ActSaveAsOpmlFileExecute(); });
    make(a.ExitLwr, "ActExitLwr", "終了(&X)", QKeySequence("Alt+F4"), true, [this] { close(); });
    make(a.OpmlProperty, "ActOpmlProperty", "OPMLファイルのプロパティ(&R)...", {}, true,
         [this] { ActOpmlPropertyExecute(); });
    make(a.AddItem, "ActAddItem", "アイテムを追加(&I)", QKeySequence("Ctrl+N"), true, [this] { ActAddItemExecute(); });
    make(a.AddItemFromUrl, "ActAddItemFromUrl", "URLからアイテムを追加(&T)...", QKeySequence("Ctrl+Shift+N"), true,
         [this] { ActAddItemFromUrlExecute(); });
    make(a.AddFolder, "ActAddFolder", "フォルダを追加(&F)", {}, true, [this] { ActAddFolderExecute(); });
    make(a.UpdateFromRss, "ActUpdateFromRss", "アイテムを更新(&U)...", {}, false, [this] { ActUpdateFromRssExecute(); });
    make(a.CheckStatus, "ActCheckStatus", "ステータスをチェック", {}, true, [this] { ActCheckStatusExecute(); });
    make(a.Delete, "ActDelete", "削除(&D)...", QKeySequence("Ctrl+D"), false, [this] { ActDeleteExecute(); });
    make(a.CallOptionDlg, "ActCallOptionDlg", "オプション(&O)", {}, true, [this] { ActCallOptionDlgExecute(); });
    make(a.CallAboutDlg, "ActCallAboutDlg", "Corvaneについて(&A)...", {}, true, [this] {
        ShowMessageBox(QStringLiteral("Corvane 1.1.3\nRSSのリストが格納されているOPMLファイルのエディタです。"),
                       kInformationOk);
    });
    make(a.ItemUp, "ActItemUp", "上へ", QKeySequence("Ctrl+Up"), true, [this] {
        if (OutlineNode* node = SelectedNode()) MoveNode(node, PlaceAbove(model_->Top(), *node));
    });
    make(a.ItemDown, "ActItemDown", "下へ", QKeySequence("Ctrl+Down"), true, [this] {
        if (OutlineNode* node = SelectedNode()) MoveNode(node, PlaceBelow(model_->Top(), *node));
    });
}

void TFrmMain::CreateMenus() {
    const Actions& a = *act_;
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName("MnuFile");
    file->addActions({a.OpenOpmlFile, a.OpenOpmlFileFromUrl, a.OpenBulkfeedsSearchResult});
    file->addSeparator();
    file->addActions({a.AddOpmlFile, a.AddOpmlFileFromUrl, a.AddBulkfeedsSearchResult});
    file->addSeparator();
    file->addActions({a.SaveOpmlFile, a.SaveAsOpmlFile});
    file->addSeparator();
    file->addAction(a.ExitLwr);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName("MnuEdit");
    edit->addAction(a.OpmlProperty);
    edit->addSeparator();
    edit->addActions({a.AddItem, a.AddItemFromUrl, a.AddFolder});
    edit->addSeparator();
    edit->addAction(a.UpdateFromRss);
    edit->addSeparator();
    edit->addAction(a.Delete);
    edit->addSeparator();
    edit->addActions({a.ItemUp, a.ItemDown});

    QMenu* tools = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
    tools->setObjectName("MnuTools");
    tools->addAction(a.CallOptionDlg);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName("MnuHelp");
    help->addAction(a.CallAboutDlg);

    PmnTrvOpml = new QMenu(this);
    PmnTrvOpml->setObjectName("PmnTrvOpml");
    PmnTrvOpml->addActions({a.AddItem, a.AddItemFromUrl, a.AddFolder});
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addAction(a.UpdateFromRss);
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addAction(a.CheckStatus);
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addActions({a.ItemUp, a.ItemDown});
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addAction(a.Delete);
}

// Every readable file is merged; the first names the document.
void TFrmMain::LoadCommandLine(const QStringList& arguments) {
    BeginUpdate();
    bool first = true;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isFile() && info.isReadable()) {
            const int before = model_->NodeCount();
            model_->ScanFile(S(argument));
            if (first) {
                documentFileName_ = info.absoluteFilePath();
                modified_ = false;
            } else if (model_->NodeCount() > before) {
                modified_ = true;
            }
        }
        first = false;
    }
    EndUpdate();
    if (model_->NodeCount() > 0) {
        ExpandAndSelectFirst();
        SetDocumentActions(true, true, true);
    }
}

void TFrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (firstShown_) return;
    firstShown_ = true;
    model_->SetHead(model_->Reader().ScratchHead());
    StatusText->setText(documentFileName_);
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    if (modified_ && settings_.confirmOnClose) {
        const int answer = ShowMessageBox(QStringLiteral("更新されています。保存しますか?"), kWarningYesNoCancel);
        if (answer == QMessageBox::Cancel) {
            event->ignore();
            return;
        }
        if (answer == QMessageBox::Yes) {
            ActSaveAsOpmlFileExecute();
            // A failed write keeps the window too: closing would lose the edits.
            if (saveCancelled_ || modified_) {
                event->ignore();
                return;
            }
        } else if (answer != QMessageBox::No) {
            event->ignore();
            return;
        }
    }
    // No request outlives the window.
    http_.RequestStop();
    event->accept();
}

void TFrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    else event->ignore();
}

void TFrmMain::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    DropFiles(LocalFiles(event->mimeData()));
    event->acceptProposedAction();
}

int TFrmMain::ShowMessageBox(const QString& text, int style) {
    switch (style) {
        case kQuestionYesNo:
            return dialogs_.ShowMessageBox(this, text, QMessageBox::Question,
                                           QMessageBox::Yes | QMessageBox::No);
        case kWarningYesNoCancel:
            return dialogs_.ShowMessageBox(
                this, text, QMessageBox::Warning,
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        case kInformationOk:
            return dialogs_.ShowMessageBox(this, text, QMessageBox::Information, QMessageBox::Ok);
        default:
            return dialogs_.ShowMessageBox(this, text, QMessageBox::Critical, QMessageBox::Ok);
    }
}

// ---------------------------------------------------------------- helpers

void TFrmMain::SetDocumentActions(bool addActions, bool save, bool saveAs) {
    act_->AddOpmlFile->setEnabled(addActions);
    act_->AddOpmlFileFromUrl->setEnabled(addActions);
    act_->AddBulkfeedsSearchResult->setEnabled(addActions);
    act_->SaveOpmlFile->setEnabled(save);
    act_->SaveAsOpmlFile->setEnabled(saveAs);
}

void TFrmMain::BeginUpdate() {
    if (updateDepth_++ == 0) TrvOpml->setUpdatesEnabled(false);
}

void TFrmMain::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) TrvOpml->setUpdatesEnabled(true);
}

void TFrmMain::ClearTree() {
    selectionTimer_->stop();
    model_->Clear();
}

OutlineNode* TFrmMain::SelectedNode() const {
    const QModelIndex current = TrvOpml->currentIndex();
    if (!current.isValid() || !TrvOpml->selectionModel()->isSelected(current)) return nullptr;
    return model_->Node(current);
}

void TFrmMain::SelectNode(const OutlineNode* node) {
    TrvOpml->setCurrentIndex(model_->IndexOf(node));
    FlushSelectionChange();
}

void TFrmMain::FlushSelectionChange() {
    selectionTimer_->stop();
    TrvOpmlChange();
}

// Every folder opened, the first node selected and scrolled to the top.
void TFrmMain::ExpandAndSelectFirst() {
    if (model_->rowCount() == 0) return;
    TrvOpml->expandAll();
    const QModelIndex first = model_->index(0, 0);
    TrvOpml->setCurrentIndex(first);
    TrvOpml->scrollTo(first, QAbstractItemView::PositionAtTop);
    FlushSelectionChange();
}

void TFrmMain::ShowConnectFailure(const QString& url) {
    ShowMessageBox(QString::fromUtf8(kConnectFailed) + url, kErrorOk);
}

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

// ---------------------------------------------------------------- file commands

// After a scan: on success the tree is shown from its first node (and, when the
// scan replaced the document, its head becomes the document's); on failure the
// reason is shown and the document commands are off.
void TFrmMain::ShowScanOutcome(bool takeHead, bool canSave) {
    const OpmlScanOutcome outcome = model_->Reader().Outcome();
    if (outcome == OpmlScanOutcome::Success) {
        ExpandAndSelectFirst();
        if (takeHead) model_->SetHead(model_->Reader().ScratchHead());
        SetDocumentActions(true, canSave, true);
    } else {
        ShowMessageBox(Q(OutcomeMessage(outcome)), kErrorOk);
        SetDocumentActions(false, false, false);
    }
    TrvOpml->setFocus();
}

void TFrmMain::ActOpenOpmlFileExecute() {
    const QString path = dialogs_.GetOpenFileName(this, QStringLiteral("OPMLを開く..."),
                                                  QString::fromUtf8(kOpmlFilter));
    if (path.isEmpty()) return;
    ClearNodeFields();
    ClearTree();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    documentFileName_ = path;
    StatusText->setText(path);
    BeginUpdate();
    model_->ScanFile(S(path));
    EndUpdate();
    ShowScanOutcome(true, true);
    modified_ = false;
}

void TFrmMain::ActAddOpmlFileExecute() {
    const QString path = dialogs_.GetOpenFileName(this, QStringLiteral("OPMLを追加..."),
                                                  QString::fromUtf8(kOpmlFilter));
    if (path.isEmpty()) return;
    StatusText->setText(path);
    const int before = model_->NodeCount();
    BeginUpdate();
    model_->ScanFile(S(path));
    EndUpdate();
    if (model_->NodeCount() > before) modified_ = true;
    ShowScanOutcome(false, true);
}

bool TFrmMain::SaveTo(const QString& path) {
    const OpmlSaveResult result = SaveOpmlFile(S(ResolveDocumentPath(path)), model_->Document());
    if (!result.ok) {
        ShowMessageBox(Q(result.message.empty() ? std::string(kSaveFailedMessage) : result.message), kErrorOk);
        return false;
    }
    modified_ = false;
    return true;
}

void TFrmMain::ActSaveAsOpmlFileExecute() {
    const QString preset = documentFileName_.isEmpty() ? QStringLiteral("feeds.opml")
                                                       : QFileInfo(documentFileName_).fileName();
    saveCancelled_ = false;
    const QString path =
        dialogs_.GetSaveFileName(this, QStringLiteral("名前を付けて保存..."), preset,
                                 QString::fromUtf8(kOpmlFilter), QStringLiteral("opml"));
    if (path.isEmpty()) {
        saveCancelled_ = true;
        return;
    }
    if (SaveTo(path)) StatusText->setText(path);
}

void TFrmMain::DropFiles(const QStringList& paths) {
    const int before = model_->NodeCount();
    BeginUpdate();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable()) model_->ScanFile(S(path));
    }
    EndUpdate();
    if (model_->NodeCount() > before) {
        modified_ = true;
        ExpandAndSelectFirst();
        SetDocumentActions(true, true, true);
        TrvOpml->setFocus();
    }
}

void TFrmMain::ActOpmlPropertyExecute() {
    // The next open starts its head from the document's, as the dialog showed it.
    model_->Reader().ScratchHead() = model_->Head();
    FrmOpmlProperty->ShowHead(model_->Head());
    if (dialogs_.ExecDialog(FrmOpmlProperty) != QDialog::Accepted) return;
    model_->SetHead(FrmOpmlProperty->EditedHead());
    modified_ = true;
}

void TFrmMain::ActCallOptionDlgExecute() {
    FrmOption->ShowSettings(settings_);
    if (dialogs_.ExecDialog(FrmOption) == QDialog::Accepted) FrmOption->TakeInto(settings_);
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

// ---------------------------------------------------------------- network commands

QString TFrmMain::SearchUrl(const QString& text, int field) const {
    return Q(BulkfeedsSearchUrl(settings_.bulkfeedsHost, S(text), field));
}

QString TFrmMain::DiscoverUrl(const QString& pageUrl) const {
    return Q(BulkfeedsDiscoverUrl(settings_.bulkfeedsHost, settings_.apiKey, S(pageUrl)));
}

void TFrmMain::OpenFromUrl(const QString& url, const QString& placeholder) {
    ClearNodeFields();
    ClearTree();
    model_->AddNode(model_->Top(), S(placeholder), TOutlineData{});
    modified_ = true;
    // The placeholder must be seen while the request runs.
    TrvOpml->repaint();
    BeginUpdate();
    documentFileName_ = QStringLiteral("feeds.opml");
    StatusText->setText(url);
    const HttpResult result = http_.Get(S(url));
    ClearTree();
    if (!result.ok) {
        EndUpdate();
        ShowConnectFailure(url);
        StatusText->setText(QString());
        modified_ = false;
        return;
    }
    model_->ScanBuffer(std::string_view(result.body.constData(), static_cast<size_t>(result.body.size())));
    EndUpdate();
    ShowScanOutcome(true, false);
}

void TFrmMain::AddFromUrl(const QString& url) {
    StatusText->setText(url);
    const HttpResult result = http_.Get(S(url));
    if (!result.ok) {
        ShowConnectFailure(url);
        return;
    }
    const int before = model_->NodeCount();
    BeginUpdate();
    model_->ScanBuffer(std::string_view(result.body.constData(), static_cast<size_t>(result.body.size())));
    EndUpdate();
    if (model_->NodeCount() > before) modified_ = true;
    ShowScanOutcome(false, true);
    if (const OutlineNode* node = SelectedNode()) {
        TrvOpml->scrollTo(model_->IndexOf(node), QAbstractItemView::PositionAtTop);
    }
}

// The address of an OPML document, or of a Bulkfeeds search; empty when the
// dialog was cancelled or left blank.
QString TFrmMain::AskUrl(bool search, const QString& title) {
    if (!search) {
        FrmAppointOpmlUrl->setWindowTitle(title);
        if (dialogs_.ExecDialog(FrmAppointOpmlUrl) != QDialog::Accepted) return QString();
        return FrmAppointOpmlUrl->EdtOpmlUrl->text();
    }
    FrmSearchBulkfeeds->setWindowTitle(title);
    if (dialogs_.ExecDialog(FrmSearchBulkfeeds) != QDialog::Accepted) return QString();
    const QString text = FrmSearchBulkfeeds->EdtSearchString->text();
    if (text.isEmpty()) return QString();
    return SearchUrl(text, FrmSearchBulkfeeds->CbxSearchType->currentIndex());
}

void TFrmMain::ActOpenFromUrlExecute(bool search) {
    const QString url = AskUrl(search, search ? QStringLiteral("Bulkfeedsの検索結果を開く...")
                                              : QStringLiteral("URLからOPMLファイルを開く..."));
    if (!url.isEmpty()) OpenFromUrl(url, search ? QString::fromUtf8(kSearchingText) : QStringLiteral("接続中..."));
}

void TFrmMain::ActAddFromUrlExecute(bool search) {
    const QString url = AskUrl(search, search ? QStringLiteral("Bulkfeedsの検索結果を追加...")
                                              : QStringLiteral("URLからOPMLファイルを開く..."));
    if (!url.isEmpty()) AddFromUrl(url);
}

bool TFrmMain::FetchFeedInfo(const std::string& url) {
    const HttpResult result = http_.Get(url);
    if (!result.ok) {
        ShowConnectFailure(Q(url));
        return false;
    }
    // A feed adds no nodes, so the scan runs without an update bracket.
    model_->ScanBuffer(std::string_view(result.body.constData(), static_cast<size_t>(result.body.size())));
    return true;
}

std::string TFrmMain::DiscoverFeed(const std::string& pageUrl) {
    const QString discoverUrl = DiscoverUrl(Q(pageUrl));
    const HttpResult result = http_.Get(S(discoverUrl));
    if (!result.ok) {
        ShowConnectFailure(discoverUrl);
        return {};
    }
    return ParseDiscoverAnswer(Utf8ToLocal(result.body.toStdString()));
}

void TFrmMain::ActAddItemFromUrlExecute() {
    FlushSelectionChange();
    if (dialogs_.ExecDialog(FrmAddItemFromUrl) != QDialog::Accepted) return;
    const std::string pageUrl = S(FrmAddItemFromUrl->EdtUrl->text());
    if (pageUrl.empty()) return;

    OutlineNode& node = PlaceNewNode(kSearchingText, TOutlineData{"http://", "", pageUrl});
    TrvOpml->repaint();

    // The page's own feed link comes first; the discovery service, which needs
    // a key and may be gone, only when the page names no feed.
    bool pageFetched = false;
    std::string feedUrl = FindFeedOfPage(http_, pageUrl, &pageFetched);
    if (feedUrl.empty()) {
        if (!pageFetched) ShowConnectFailure(Q(pageUrl));
        if (settings_.apiKey.empty() && pageFetched) {
            ShowMessageBox(QStringLiteral("BulkfeedsのAPI Keyが未設定です。"), kErrorOk);
            FrmOption->ShowBulkfeedsPage();
            ActCallOptionDlgExecute();
        }
        if (!settings_.apiKey.empty()) {
            feedUrl = DiscoverFeed(pageUrl);
            if (feedUrl.empty()) ShowMessageBox(QStringLiteral("RSSのURLを取得できませんでした。"), kErrorOk);
        }
    }

    SelectNode(&node);
    // The feed's missing elements keep what the boxes hold: no placeholder.
    EdtRssTitle->setText(QString::fromUtf8(kNewItemText));
    if (!feedUrl.empty()) {
        if (!FetchFeedInfo(feedUrl)) {
            EdtRssUrl->setText(Q(feedUrl));
        } else {
            SetNodeBoxesFromChannel(feedUrl);
        }
    }
    FocusTitleBox();
}

void TFrmMain::ActUpdateFromRssExecute() {
    // The boxes must show this node before the feed's missing elements fall
    // back on them, and no delayed refill may run while the request does.
    FlushSelectionChange();
    OutlineNode* node = SelectedNode();
    if (node == nullptr || !node->data) return;
    const std::string xmlUrl = node->data->xmlUrl;
    if (xmlUrl.empty()) return;
    if (settings_.confirmOnUpdateFromRss) {
        const QString question = QStringLiteral(
            "アイテムを更新しますか?\n現在のタイトルや概要は失われ、RSSに記述されている内容に更新されます。");
        if (ShowMessageBox(question, kQuestionYesNo) != QMessageBox::Yes) return;
    }
    // The progress text is shown in the tree only, never stored as a title.
    const std::string oldText = node->text;
    model_->SetText(*node, "更新中...");
    TrvOpml->repaint();
    const bool fetched = FetchFeedInfo(xmlUrl);
    model_->SetText(*node, oldText);
    // A failed request leaves the item as it was.
    if (fetched) SetNodeBoxesFromChannel(xmlUrl);
}

void TFrmMain::ActCheckStatusExecute() {
    FlushSelectionChange();
    const OutlineNode* node = SelectedNode();
    if (node == nullptr || !node->data || node->data->xmlUrl.empty()) return;
    const HttpResult result = http_.Head(node->data->xmlUrl);
    if (!result.ok) {
        ShowMessageBox(Q(result.errorMessage), kErrorOk);
        return;
    }
    if (result.status == 200) ShowMessageBox(QStringLiteral("HTTP 1.1 200 OK."), kInformationOk);
}
