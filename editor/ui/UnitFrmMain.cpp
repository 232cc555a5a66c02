#include "UnitFrmMain.h"

#include <QAction>
#include <QCheckBox>
#include <cstring>
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

#include "FeedDiscovery.h"
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

bool ContainsNoCase(const std::string& hay, const std::string& needle, size_t* at = nullptr, size_t from = 0) {
    const auto it = std::search(hay.begin() + static_cast<std::ptrdiff_t>(std::min(from, hay.size())), hay.end(),
                                needle.begin(), needle.end(), [](char a, char b) {
                                    return std::tolower(static_cast<unsigned char>(a)) ==
                                           std::tolower(static_cast<unsigned char>(b));
                                });
    if (it == hay.end()) return false;
    if (at != nullptr) *at = static_cast<size_t>(it - hay.begin());
    return true;
}

// A page that is itself a feed needs no discovery.
bool LooksLikeFeed(const QByteArray& body) {
    const std::string start = body.left(2048).toStdString();
    return ContainsNoCase(start, "<rss") || ContainsNoCase(start, "<rdf:rdf") || ContainsNoCase(start, "<feed");
}

}  // namespace

// ---------------------------------------------------------------- TTrvOpml

TTrvOpml::TTrvOpml(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("TrvOpml");
    setHeaderHidden(true);
    setColumnCount(1);
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

TTrvOpml::DropZone TTrvOpml::ZoneAt(const QPoint& pos, QTreeWidgetItem** node) const {
    QTreeWidgetItem* item = itemAt(pos);
    if (node != nullptr) *node = item;
    if (item == nullptr) return DropZone::None;
    const QRect cell = visualItemRect(item);
    // The label ends after the icon, a small gap and the text.
    const int labelRight = cell.left() + iconSize().width() + 6 +
                           fontMetrics().horizontalAdvance(item->text(0)) + 4;
    return pos.x() <= labelRight ? DropZone::OnNode : DropZone::RightOfLabel;
}

void TTrvOpml::mousePressEvent(QMouseEvent* event) {
    // A click below the last row keeps the selection, so the node boxes never
    // show values that belong to no selected node.
    if (itemAt(event->position().toPoint()) == nullptr) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
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
        QStringList paths;
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) paths.push_back(url.toLocalFile());
        }
        if (onFilesDrop) onFilesDrop(paths);
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}

// ---------------------------------------------------------------- TFrmMain

TFrmMain::TFrmMain(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent) {
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
    FrmOption = new TFrmOption(this);
    FrmSearchBulkfeeds = new TFrmSearchBulkfeeds(this);
    FormCreate(arguments);
}

TFrmMain::~TFrmMain() {
    {
        settings_.top = y();
        settings_.left = x();
        settings_.height = height();
        settings_.width = width();
        SaveSettings(settings_);
    }
}

void TFrmMain::CreateWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    TrvOpml = new TTrvOpml(central);
    SetTreeImageList(TrvOpml, {QIcon(TreeImage(0)), QIcon(TreeImage(1)), QIcon(TreeImage(2)), QIcon(TreeImage(3))});
    layout->addWidget(TrvOpml, 1);

    PnlNodeData = new QWidget(central);
    PnlNodeData->setObjectName("PnlNodeData");
    PnlNodeData->setFixedHeight(104);
    auto* grid = new QGridLayout(PnlNodeData);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    auto addBox = [&](int row, const char* label, const char* name) {
        auto* box = new QLineEdit(PnlNodeData);
        box->setObjectName(name);
        auto* caption = new QLabel(QString::fromUtf8(label), PnlNodeData);
        caption->setBuddy(box);
        grid->addWidget(caption, row, 0);
        grid->addWidget(box, row, 1);
        return box;
    };
    EdtRssTitle = addBox(0, "タイトル:", "EdtRssTitle");
    EdtRssUrl = addBox(1, "URL:", "EdtRssUrl");
    EdtRssDesc = addBox(2, "概要:", "EdtRssDesc");
    EdtSrcUrl = addBox(3, "ソースのURL:", "EdtSrcUrl");
    grid->setColumnStretch(1, 1);
    layout->addWidget(PnlNodeData);
    setCentralWidget(central);

    StatusText = new QLabel(this);
    StatusText->setObjectName("StatusText");
    statusBar()->setObjectName("StatusBar");
    statusBar()->addWidget(StatusText, 1);

    for (QLineEdit* box : {EdtRssTitle, EdtRssUrl, EdtRssDesc, EdtSrcUrl}) SetBoxEnabled(box, false);

    connect(EdtRssTitle, &QLineEdit::textChanged, this, &TFrmMain::EdtRssTitleChange);
    connect(EdtRssUrl, &QLineEdit::textChanged, this, &TFrmMain::EdtRssUrlChange);
    connect(EdtRssDesc, &QLineEdit::textChanged, this, &TFrmMain::EdtRssDescChange);
    connect(EdtSrcUrl, &QLineEdit::textChanged, this, &TFrmMain::EdtSrcUrlChange);
    connect(TrvOpml, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
                UpdateSelectionIcons(current, previous);
                selectionTimer_->start();
            });
    connect(TrvOpml, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PmnTrvOpml->popup(TrvOpml->viewport()->mapToGlobal(pos)); });
    TrvOpml->onNodeDrop = [this](const QPoint& pos) { TrvOpmlDragDrop(pos); };
    TrvOpml->onFilesDrop = [this](const QStringList& paths) { DropFiles(paths); };
    setAcceptDrops(true);
}

void TFrmMain::CreateActions() {
    auto make = [this](QAction*& action, const char* name, const char* caption, QKeySequence key,
                       bool enabled, void (TFrmMain::*handler)()) {
        action = new QAction(QString::fromUtf8(caption), this);
        action->setObjectName(name);
        if (!key.isEmpty()) action->setShortcut(key);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    make(ActOpenOpmlFile, "ActOpenOpmlFile", "OPMLファイルを開く(&O)...", QKeySequence("Ctrl+O"), true,
         &TFrmMain::ActOpenOpmlFileExecute);
    make(ActOpenOpmlFileFromUrl, "ActOpenOpmlFileFromUrl", "URLからOPMLファイルを開く(&P)...", {}, true,
         &TFrmMain::ActOpenOpmlFileFromUrlExecute);
    make(ActOpenBulkfeedsSearchResult, "ActOpenBulkfeedsSearchResult", "Bulkfeedsの検索結果を開く(&B)...", {},
         true, &TFrmMain::ActOpenBulkfeedsSearchResultExecute);
    make(ActAddOpmlFile, "ActAddOpmlFile", "OPMLファイルを追加(&D)...", QKeySequence("Ctrl+Shift+O"), false,
         &TFrmMain::ActAddOpmlFileExecute);
    make(ActAddOpmlFileFromUrl, "ActAddOpmlFileFromUrl", "URLからOPMLファイルを追加(&M)...", {}, false,
         &TFrmMain::ActAddOpmlFileFromUrlExecute);
    make(ActAddBulkfeedsSearchResult, "ActAddBulkfeedsSearchResult", "Bulkfeedsの検索結果を追加(&U)...", {},
         false, &TFrmMain::ActAddBulkfeedsSearchResultExecute);
    make(ActSaveOpmlFile, "ActSaveOpmlFile", "上書き保存(&S)...", QKeySequence("Ctrl+S"), false,
         &TFrmMain::ActSaveOpmlFileExecute);
    make(ActSaveAsOpmlFile, "ActSaveAsOpmlFile", "名前を付けて保存(&A)...", QKeySequence("Ctrl+Shift+S"), false,
         &TFrmMain::ActSaveAsOpmlFileExecute);
    ActExitLwr = new QAction(QStringLiteral("終了(&X)"), this);
    ActExitLwr->setObjectName("ActExitLwr");
    ActExitLwr->setShortcut(QKeySequence("Alt+F4"));
    connect(ActExitLwr, &QAction::triggered, this, &QWidget::close);
    addAction(ActExitLwr);
    make(ActOpmlProperty, "ActOpmlProperty", "OPMLファイルのプロパティ(&R)...", {}, true,
         &TFrmMain::ActOpmlPropertyExecute);
    make(ActAddItem, "ActAddItem", "アイテムを追加(&I)", QKeySequence("Ctrl+N"), true, &TFrmMain::ActAddItemExecute);
    make(ActAddItemFromUrl, "ActAddItemFromUrl", "URLからアイテムを追加(&T)...", QKeySequence("Ctrl+Shift+N"), true,
         &TFrmMain::ActAddItemFromUrlExecute);
    make(ActAddFolder, "ActAddFolder", "フォルダを追加(&F)", {}, true, &TFrmMain::ActAddFolderExecute);
    make(ActUpdateFromRss, "ActUpdateFromRss", "アイテムを更新(&U)...", {}, false, &TFrmMain::ActUpdateFromRssExecute);
    make(ActCheckStatus, "ActCheckStatus", "ステータスをチェック", {}, true, &TFrmMain::ActCheckStatusExecute);
    make(ActDelete, "ActDelete", "削除(&D)...", QKeySequence("Ctrl+D"), false, &TFrmMain::ActDeleteExecute);
    make(ActCallOptionDlg, "ActCallOptionDlg", "オプション(&O)", {}, true, &TFrmMain::ActCallOptionDlgExecute);
    make(ActCallAboutDlg, "ActCallAboutDlg", "Corvaneについて(&A)...", {}, true, &TFrmMain::ActCallAboutDlgExecute);
    make(ActItemUp, "ActItemUp", "上へ", QKeySequence("Ctrl+Up"), true, &TFrmMain::ActItemUpExecute);
    make(ActItemDown, "ActItemDown", "下へ", QKeySequence("Ctrl+Down"), true, &TFrmMain::ActItemDownExecute);
}

void TFrmMain::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName("MnuFile");
    file->addActions({ActOpenOpmlFile, ActOpenOpmlFileFromUrl, ActOpenBulkfeedsSearchResult});
    file->addSeparator();
    file->addActions({ActAddOpmlFile, ActAddOpmlFileFromUrl, ActAddBulkfeedsSearchResult});
    file->addSeparator();
    file->addActions({ActSaveOpmlFile, ActSaveAsOpmlFile});
    file->addSeparator();
    file->addAction(ActExitLwr);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName("MnuEdit");
    edit->addAction(ActOpmlProperty);
    edit->addSeparator();
    edit->addActions({ActAddItem, ActAddItemFromUrl, ActAddFolder});
    edit->addSeparator();
    edit->addAction(ActUpdateFromRss);
    edit->addSeparator();
    edit->addAction(ActDelete);
    edit->addSeparator();
    edit->addActions({ActItemUp, ActItemDown});

    QMenu* tools = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
    tools->setObjectName("MnuTools");
    tools->addAction(ActCallOptionDlg);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName("MnuHelp");
    help->addAction(ActCallAboutDlg);

    PmnTrvOpml = new QMenu(this);
    PmnTrvOpml->setObjectName("PmnTrvOpml");
    PmnTrvOpml->addActions({ActAddItem, ActAddItemFromUrl, ActAddFolder});
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addAction(ActUpdateFromRss);
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addAction(ActCheckStatus);
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addActions({ActItemUp, ActItemDown});
    PmnTrvOpml->addSeparator();
    PmnTrvOpml->addAction(ActDelete);
}

void TFrmMain::FormCreate(const QStringList& arguments) {
    reader_.SetMessageSink([this](const std::string& text) { ShowMessageBox(Q(text), kErrorOk); });
    reader_.SetNodeBoxesProvider([this] {
        ChannelInfo info;
        if (SelectedNode() != nullptr) {
            info.title = S(EdtRssTitle->text());
            info.link = S(EdtSrcUrl->text());
            info.description = S(EdtRssDesc->text());
        }
        return info;
    });

    settings_ = LoadSettings();
    move(settings_.left, settings_.top);
    resize(std::max(1, settings_.width), std::max(1, settings_.height));
    setMinimumSize(232, 270 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    FrmOption->SetBulkfeedsHost(Q(settings_.bulkfeedsHost));

    modified_ = false;
    http_.SetUserAgent(HttpClient::kDefaultUserAgent);
    documentFileName_ = QStringLiteral("feeds.opml");

    BeginUpdate();
    bool first = true;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isFile() && info.isReadable()) {
            const int before = NodeCount();
            ScanFileIntoTree(S(argument));
            if (first) {
                documentFileName_ = info.absoluteFilePath();
                modified_ = false;
            } else if (NodeCount() > before) {
                modified_ = true;
            }
        }
        first = false;
    }
    EndUpdate();
    if (NodeCount() > 0) {
        ExpandAndSelectFirst(TrvOpml);
        AfterExpandAndSelectFirst();
        SetDocumentActions(true, true, true);
    }
}

void TFrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (firstShown_) return;
    firstShown_ = true;
    CopyScratchHeadToDocument();
    SetStatusText(documentFileName_);
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
    event->accept();
}

namespace {

QStringList LocalFiles(const QMimeData* mime) {
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    }
    return paths;
}

}  // namespace

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
            return DialogHooks::ShowMessageBox(this, text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
        case kWarningYesNoCancel:
            return DialogHooks::ShowMessageBox(this, text, QMessageBox::Warning,
                                               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        case kInformationOk:
            return DialogHooks::ShowMessageBox(this, text, QMessageBox::Information, QMessageBox::Ok);
        default:
            return DialogHooks::ShowMessageBox(this, text, QMessageBox::Critical, QMessageBox::Ok);
    }
}

// ---------------------------------------------------------------- helpers

void TFrmMain::CopyScratchHeadToDocument() { head_ = reader_.ScratchHead(); }

void TFrmMain::ScanFileIntoTree(const std::string& path) {
    scanned_.Clear();
    reader_.ScanFile(path);
    AppendToTree(TrvOpml, scanned_);
    scanned_.Clear();
}

void TFrmMain::ScanBufferIntoTree(const QByteArray& bytes) {
    scanned_.Clear();
    reader_.ScanBuffer(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    AppendToTree(TrvOpml, scanned_);
    scanned_.Clear();
}

OpmlScanOutcome TFrmMain::ScanOutcome() const {
    return JudgeScan(reader_.OpmlSeen(), TrvOpml->topLevelItemCount());
}

void TFrmMain::SetBoxEnabled(QLineEdit* box, bool enabled) {
    box->setEnabled(enabled);
    // An enabled box has window colours, a disabled one menu colours.
    QPalette palette = box->palette();
    const QPalette app = QApplication::palette();
    palette.setColor(QPalette::Disabled, QPalette::Base, app.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Disabled, QPalette::Text, app.color(QPalette::Active, QPalette::ButtonText));
    palette.setColor(QPalette::Active, QPalette::Base, app.color(QPalette::Active, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::Base, app.color(QPalette::Inactive, QPalette::Base));
    box->setPalette(palette);
}

void TFrmMain::ClearNodeFields() {
    for (QLineEdit* box : {EdtRssTitle, EdtRssUrl, EdtRssDesc, EdtSrcUrl}) {
        const QSignalBlocker block(box);
        box->clear();
        SetBoxEnabled(box, false);
    }
}

void TFrmMain::SetDocumentActions(bool addActions, bool save, bool saveAs) {
    ActAddOpmlFile->setEnabled(addActions);
    ActAddOpmlFileFromUrl->setEnabled(addActions);
    ActAddBulkfeedsSearchResult->setEnabled(addActions);
    ActSaveOpmlFile->setEnabled(save);
    ActSaveAsOpmlFile->setEnabled(saveAs);
}

void TFrmMain::SetStatusText(const QString& text) { StatusText->setText(text); }

void TFrmMain::BeginUpdate() {
    if (updateDepth_++ == 0) TrvOpml->setUpdatesEnabled(false);
}

void TFrmMain::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) TrvOpml->setUpdatesEnabled(true);
}

void TFrmMain::ClearTree() {
    selectionTimer_->stop();
    TrvOpml->clear();
}

int TFrmMain::NodeCount() const {
    int count = 0;
    for (QTreeWidgetItemIterator it(TrvOpml); *it != nullptr; ++it) ++count;
    return count;
}

QTreeWidgetItem* TFrmMain::SelectedNode() const {
    QTreeWidgetItem* node = TrvOpml->currentItem();
    return node != nullptr && node->isSelected() ? node : nullptr;
}

void TFrmMain::SelectNode(QTreeWidgetItem* node) {
    TrvOpml->setCurrentItem(node);
    if (node != nullptr) node->setSelected(true);
    FlushSelectionChange();
}

void TFrmMain::FlushSelectionChange() {
    selectionTimer_->stop();
    TrvOpmlChange();
}

void TFrmMain::AfterExpandAndSelectFirst() {
    UpdateSelectionIcons(TrvOpml->currentItem(), nullptr);
    FlushSelectionChange();
}

void TFrmMain::UpdateSelectionIcons(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    const QList<QIcon> images = TreeImageList(TrvOpml);
    auto iconOf = [&images](int index) { return index >= 0 && index < images.size() ? images[index] : QIcon(); };
    if (previous != nullptr) previous->setIcon(0, iconOf(NodeImage(previous)));
    if (current != nullptr) current->setIcon(0, iconOf(NodeSelectedImage(current)));
}

QString TFrmMain::ResolveDocumentPath(const QString& name) const {
    // A bare name is kept beside the program, never in the working directory.
    if (QDir::isAbsolutePath(name)) return name;
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

void TFrmMain::ShowConnectFailure(const QString& url) {
    ShowMessageBox(QString::fromUtf8(kConnectFailed) + url, kErrorOk);
}

// ---------------------------------------------------------------- handlers

void TFrmMain::TrvOpmlChange() {
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr) return;
    ActDelete->setEnabled(true);
    SetBoxEnabled(EdtRssTitle, true);
    EdtRssTitle->setText(Q(NodeText(node)));
    EdtRssTitle->setCursorPosition(0);
    const std::optional<TOutlineData> data = OutlineData(node);
    if (data) {
        for (QLineEdit* box : {EdtRssUrl, EdtRssDesc, EdtSrcUrl}) SetBoxEnabled(box, true);
        EdtRssUrl->setText(Q(data->xmlUrl));
        EdtRssDesc->setText(Q(data->description));
        EdtSrcUrl->setText(Q(data->htmlUrl));
        // Long addresses show their beginning, where they differ most.
        for (QLineEdit* box : {EdtRssUrl, EdtRssDesc, EdtSrcUrl}) box->setCursorPosition(0);
        ActUpdateFromRss->setEnabled(true);
    } else {
        for (QLineEdit* box : {EdtRssUrl, EdtRssDesc, EdtSrcUrl}) {
            SetBoxEnabled(box, false);
            box->clear();
        }
        ActUpdateFromRss->setEnabled(false);
    }
}

void TFrmMain::EdtRssTitleChange() {
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr || !EdtRssTitle->isEnabled()) return;
    const std::string text = S(EdtRssTitle->text());
    if (text == NodeText(node)) return;
    modified_ = true;
    SetNodeText(node, text);
}

namespace {

template <typename Field>
bool StoreBoxInRecord(QTreeWidgetItem* node, const QLineEdit* box, Field field) {
    if (node == nullptr) return false;
    std::optional<TOutlineData> data = OutlineData(node);
    if (!data) return false;
    const std::string text = box->text().toStdString();
    if ((*data).*field == text) return false;
    (*data).*field = text;
    SetOutlineData(node, *data);
    return true;
}

}  // namespace

void TFrmMain::EdtRssUrlChange() {
    if (StoreBoxInRecord(SelectedNode(), EdtRssUrl, &TOutlineData::xmlUrl)) modified_ = true;
}

void TFrmMain::EdtRssDescChange() {
    if (StoreBoxInRecord(SelectedNode(), EdtRssDesc, &TOutlineData::description)) modified_ = true;
}

void TFrmMain::EdtSrcUrlChange() {
    if (StoreBoxInRecord(SelectedNode(), EdtSrcUrl, &TOutlineData::htmlUrl)) modified_ = true;
}

// ---------------------------------------------------------------- file commands

// After a scan: on success the tree is shown from its first node (and, when the
// scan replaced the document, its head becomes the document's); on failure the
// reason is shown and the document commands are off.
void TFrmMain::ShowScanOutcome(bool takeHead, bool canSave) {
    const OpmlScanOutcome outcome = ScanOutcome();
    if (outcome == OpmlScanOutcome::Success) {
        ExpandAndSelectFirst(TrvOpml);
        AfterExpandAndSelectFirst();
        if (takeHead) CopyScratchHeadToDocument();
        SetDocumentActions(true, canSave, true);
    } else {
        ShowMessageBox(Q(OutcomeMessage(outcome)), kErrorOk);
        SetDocumentActions(false, false, false);
    }
    TrvOpml->setFocus();
}

void TFrmMain::ActOpenOpmlFileExecute() {
    const QString path = DialogHooks::GetOpenFileName(this, QStringLiteral("OPMLを開く..."), QString::fromUtf8(kOpmlFilter));
    if (path.isEmpty()) return;
    ClearNodeFields();
    BeginUpdate();
    ClearTree();
    EndUpdate();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    documentFileName_ = path;
    SetStatusText(path);
    BeginUpdate();
    ScanFileIntoTree(S(path));
    EndUpdate();
    ShowScanOutcome(true, true);
    modified_ = false;
}

void TFrmMain::ActAddOpmlFileExecute() {
    const QString path = DialogHooks::GetOpenFileName(this, QStringLiteral("OPMLを追加..."), QString::fromUtf8(kOpmlFilter));
    if (path.isEmpty()) return;
    SetStatusText(path);
    const int before = NodeCount();
    BeginUpdate();
    ScanFileIntoTree(S(path));
    EndUpdate();
    if (NodeCount() > before) modified_ = true;
    ShowScanOutcome(false, true);
}

bool TFrmMain::SaveTo(const QString& path) {
    OutlineNode top;
    CopyFromTree(TrvOpml, top);
    const OpmlSaveResult result = SaveOpmlFile(S(ResolveDocumentPath(path)), head_, top);
    if (!result.ok) {
        ShowMessageBox(Q(result.message.empty() ? std::string(kSaveFailedMessage) : result.message), kErrorOk);
        return false;
    }
    modified_ = false;
    return true;
}

void TFrmMain::ActSaveOpmlFileExecute() { SaveTo(documentFileName_); }

void TFrmMain::ActSaveAsOpmlFileExecute() {
    const QString preset = documentFileName_.isEmpty() ? QStringLiteral("feeds.opml")
                                                       : QFileInfo(documentFileName_).fileName();
    saveCancelled_ = false;
    const QString path = DialogHooks::GetSaveFileName(this, QStringLiteral("名前を付けて保存..."), preset,
                                                      QString::fromUtf8(kOpmlFilter), QStringLiteral("opml"));
    if (path.isEmpty()) {
        saveCancelled_ = true;
        return;
    }
    if (SaveTo(path)) SetStatusText(path);
}

void TFrmMain::DropFiles(const QStringList& paths) {
    const int before = NodeCount();
    BeginUpdate();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable()) ScanFileIntoTree(S(path));
    }
    EndUpdate();
    if (NodeCount() > before) {
        modified_ = true;
        ExpandAndSelectFirst(TrvOpml);
        AfterExpandAndSelectFirst();
        SetDocumentActions(true, true, true);
        TrvOpml->setFocus();
    }
}

void TFrmMain::ActOpmlPropertyExecute() {
    // The next open starts its head from the document's, as the dialog showed it.
    reader_.ScratchHead() = head_;
    FrmOpmlProperty->ShowHead(head_);
    if (DialogHooks::ExecDialog(FrmOpmlProperty) == QDialog::Accepted) {
        head_ = FrmOpmlProperty->EditedHead();
        modified_ = true;
    }
}

void TFrmMain::ActCallOptionDlgExecute() {
    FrmOption->ckbConfirmOnClose->setChecked(settings_.confirmOnClose);
    FrmOption->ckbConfirmOnUpdateFromRss->setChecked(settings_.confirmOnUpdateFromRss);
    FrmOption->ckbConfirmOnDelete->setChecked(settings_.confirmOnDelete);
    FrmOption->edtApiKey->setText(Q(settings_.apiKey));
    if (DialogHooks::ExecDialog(FrmOption) != QDialog::Accepted) return;
    settings_.confirmOnClose = FrmOption->ckbConfirmOnClose->isChecked();
    settings_.confirmOnUpdateFromRss = FrmOption->ckbConfirmOnUpdateFromRss->isChecked();
    settings_.confirmOnDelete = FrmOption->ckbConfirmOnDelete->isChecked();
    settings_.apiKey = S(FrmOption->edtApiKey->text());
}

void TFrmMain::ActCallAboutDlgExecute() {
    ShowMessageBox(QStringLiteral("Corvane 1.1.3\nRSSのリストが格納されているOPMLファイルのエディタです。"), kInformationOk);
}

// ---------------------------------------------------------------- editing commands

QTreeWidgetItem* TFrmMain::PlaceNewNode(const std::string& text, const TOutlineData* data) {
    QTreeWidgetItem* selected = SelectedNode();
    QTreeWidgetItem* parent = nullptr;
    if (selected != nullptr) parent = IsFeedItem(selected) ? selected->parent() : selected;
    QTreeWidgetItem* node = data != nullptr ? CreateFeedItemNode(TrvOpml, parent, text, *data)
                                            : CreateFolderNode(TrvOpml, parent, text);
    if (parent != nullptr) parent->setExpanded(true);
    if (selected == nullptr) SetDocumentActions(true, false, true);
    modified_ = true;
    SelectNode(node);
    TrvOpml->scrollToItem(node);
    return node;
}

void TFrmMain::ActAddItemExecute() {
    if (focusWidget() != TrvOpml) return;
    const TOutlineData data{"http://", "", "http://"};
    PlaceNewNode(kNewItemText, &data);
    SetBoxEnabled(EdtRssTitle, true);
    EdtRssTitle->setFocus();
    EdtRssTitle->selectAll();
}

void TFrmMain::ActAddFolderExecute() {
    PlaceNewNode("新規フォルダ", nullptr);
    SetBoxEnabled(EdtRssTitle, true);
    EdtRssTitle->setFocus();
    EdtRssTitle->selectAll();
}

void TFrmMain::ActDeleteExecute() {
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr) return;
    if (settings_.confirmOnDelete) {
        const QString question = QStringLiteral("本当に \"") + node->text(0) + QStringLiteral("\" を削除しますか?");
        if (ShowMessageBox(question, kQuestionYesNo) != QMessageBox::Yes) return;
    }
    selectionTimer_->stop();
    delete node;  // its children and their records go with it
    if (NodeCount() == 0) {
        ClearNodeFields();
        ActUpdateFromRss->setEnabled(false);
        ActDelete->setEnabled(false);
        modified_ = false;
    } else {
        FlushSelectionChange();
    }
}

namespace {

void SaveExpansion(QTreeWidgetItem* node, std::vector<std::pair<QTreeWidgetItem*, bool>>& states) {
    states.emplace_back(node, node->isExpanded());
    for (int i = 0; i < node->childCount(); ++i) SaveExpansion(node->child(i), states);
}

bool IsInSubtree(const QTreeWidgetItem* node, const QTreeWidgetItem* root) {
    for (const QTreeWidgetItem* p = node; p != nullptr; p = p->parent()) {
        if (p == root) return true;
    }
    return false;
}

}  // namespace

void TFrmMain::MoveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent, int index) {
    if (node == nullptr || IsInSubtree(newParent, node)) return;
    std::vector<std::pair<QTreeWidgetItem*, bool>> expansion;
    SaveExpansion(node, expansion);
    BeginUpdate();
    const QSignalBlocker block(TrvOpml);
    QTreeWidgetItem* oldParent = node->parent();
    const int oldIndex = oldParent != nullptr ? oldParent->indexOfChild(node) : TrvOpml->indexOfTopLevelItem(node);
    if (oldParent == newParent && oldIndex < index) --index;  // the slot shifts once the node is out
    if (oldParent != nullptr) oldParent->takeChild(oldIndex);
    else TrvOpml->takeTopLevelItem(oldIndex);
    if (newParent != nullptr) {
        newParent->insertChild(index, node);
        newParent->setExpanded(true);
    } else {
        TrvOpml->insertTopLevelItem(index, node);
    }
    for (const auto& [item, expanded] : expansion) item->setExpanded(expanded);
    TrvOpml->setCurrentItem(node);
    node->setSelected(true);
    EndUpdate();
    UpdateSelectionIcons(node, nullptr);
    TrvOpml->scrollToItem(node);
    FlushSelectionChange();
}

namespace {

int IndexInParent(QTreeWidgetItem* node) {
    return node->parent() != nullptr ? node->parent()->indexOfChild(node)
                                     : node->treeWidget()->indexOfTopLevelItem(node);
}

int SiblingCount(const QTreeWidgetItem* node) {
    return node->parent() != nullptr ? node->parent()->childCount() : node->treeWidget()->topLevelItemCount();
}

// The last node of the tree in display order (expanded or not).
QTreeWidgetItem* LastNode(QTreeWidget* tree) {
    if (tree->topLevelItemCount() == 0) return nullptr;
    QTreeWidgetItem* node = tree->topLevelItem(tree->topLevelItemCount() - 1);
    while (node->childCount() > 0) node = node->child(node->childCount() - 1);
    return node;
}

}  // namespace

void TFrmMain::ActItemUpExecute() {
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr || node == TrvOpml->topLevelItem(0)) return;
    const int index = IndexInParent(node);
    if (index > 0) {
        MoveNode(node, node->parent(), index - 1);
    } else if (QTreeWidgetItem* folder = node->parent(); folder != nullptr) {
        MoveNode(node, folder->parent(), IndexInParent(folder));
    }
}

void TFrmMain::ActItemDownExecute() {
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr || node == LastNode(TrvOpml)) return;
    const int index = IndexInParent(node);
    if (index + 1 < SiblingCount(node)) {
        // The next sibling moves up before the node: the two swap places.
        QTreeWidgetItem* parent = node->parent();
        QTreeWidgetItem* next = parent != nullptr ? parent->child(index + 1) : TrvOpml->topLevelItem(index + 1);
        std::vector<std::pair<QTreeWidgetItem*, bool>> expansion;
        SaveExpansion(next, expansion);
        BeginUpdate();
        {
            const QSignalBlocker block(TrvOpml);
            if (parent != nullptr) parent->insertChild(index, parent->takeChild(index + 1));
            else TrvOpml->insertTopLevelItem(index, TrvOpml->takeTopLevelItem(index + 1));
            for (const auto& [item, expanded] : expansion) item->setExpanded(expanded);
            TrvOpml->setCurrentItem(node);
            node->setSelected(true);
        }
        EndUpdate();
        UpdateSelectionIcons(node, nullptr);
        FlushSelectionChange();
        return;
    }
    // Last child of its folder: out of the folder, just after it (at the end
    // of the folder's own level when the folder is the last there).
    QTreeWidgetItem* folder = node->parent();
    if (folder == nullptr) return;
    MoveNode(node, folder->parent(), IndexInParent(folder) + 1);
}

void TFrmMain::TrvOpmlDragDrop(const QPoint& viewportPos) {
    QTreeWidgetItem* dragged = SelectedNode();
    if (dragged == nullptr) return;
    QTreeWidgetItem* target = nullptr;
    switch (TrvOpml->ZoneAt(viewportPos, &target)) {
        case TTrvOpml::DropZone::OnNode:
            if (IsInSubtree(target, dragged)) return;
            if (IsFeedItem(target)) MoveNode(dragged, target->parent(), IndexInParent(target));
            else MoveNode(dragged, target, 0);
            break;
        case TTrvOpml::DropZone::RightOfLabel:
            MoveNode(dragged, nullptr, TrvOpml->topLevelItemCount());
            break;
        case TTrvOpml::DropZone::None:
            break;
    }
}

// ---------------------------------------------------------------- network commands

QString TFrmMain::SearchUrl(const QString& text, int field) const {
    static const char* const kFields[] = {";field=title", ";field=description", ";field=link"};
    const char* suffix = field >= 0 && field < 3 ? kFields[field] : kFields[0];
    return QStringLiteral("http://") + Q(settings_.bulkfeedsHost) + QStringLiteral("/app/search.opml?q=") +
           Q(UrlEncodeQuery(LocalToUtf8(S(text)))) + QString::fromLatin1(suffix);
}

QString TFrmMain::DiscoverUrl(const QString& pageUrl) const {
    return QStringLiteral("http://") + Q(settings_.bulkfeedsHost) + QStringLiteral("/app/discover.xml?url=") +
           Q(UrlEncodeQuery(LocalToUtf8(S(pageUrl)))) + QStringLiteral(";apikey=") + Q(settings_.apiKey);
}

void TFrmMain::OpenFromUrl(const QString& url, const QString& placeholder) {
    ClearNodeFields();
    BeginUpdate();
    ClearTree();
    QTreeWidgetItem* waiting = CreateFeedItemNode(TrvOpml, nullptr, S(placeholder), TOutlineData{});
    Q_UNUSED(waiting);
    modified_ = true;
    // The placeholder must be seen while the request runs.
    EndUpdate();
    TrvOpml->repaint();
    BeginUpdate();
    documentFileName_ = QStringLiteral("feeds.opml");
    SetStatusText(url);
    const HttpResult result = http_.Get(S(url));
    if (!result.ok) {
        ClearTree();
        EndUpdate();
        ShowConnectFailure(url);
        SetStatusText(QString());
        modified_ = false;
        return;
    }
    ClearTree();
    ScanBufferIntoTree(result.body);
    EndUpdate();
    ShowScanOutcome(true, false);
}

void TFrmMain::AddFromUrl(const QString& url) {
    SetStatusText(url);
    const HttpResult result = http_.Get(S(url));
    if (!result.ok) {
        ShowConnectFailure(url);
        return;
    }
    const int before = NodeCount();
    BeginUpdate();
    ScanBufferIntoTree(result.body);
    EndUpdate();
    if (NodeCount() > before) modified_ = true;
    ShowScanOutcome(false, true);
    if (QTreeWidgetItem* node = SelectedNode()) TrvOpml->scrollToItem(node, QAbstractItemView::PositionAtTop);
}

// Both ask with the dialog titled `title`; an empty answer means cancelled or left blank.
QString TFrmMain::AskOpmlUrl(const QString& title) {
    FrmAppointOpmlUrl->setWindowTitle(title);
    if (DialogHooks::ExecDialog(FrmAppointOpmlUrl) != QDialog::Accepted) return QString();
    return FrmAppointOpmlUrl->EdtOpmlUrl->text();
}

QString TFrmMain::AskSearchUrl(const QString& title) {
    FrmSearchBulkfeeds->setWindowTitle(title);
    if (DialogHooks::ExecDialog(FrmSearchBulkfeeds) != QDialog::Accepted) return QString();
    const QString text = FrmSearchBulkfeeds->EdtSearchString->text();
    if (text.isEmpty()) return QString();
    return SearchUrl(text, FrmSearchBulkfeeds->CbxSearchType->currentIndex());
}

void TFrmMain::ActOpenOpmlFileFromUrlExecute() {
    const QString url = AskOpmlUrl(QStringLiteral("URLからOPMLファイルを開く..."));
    if (!url.isEmpty()) OpenFromUrl(url, QStringLiteral("接続中..."));
}

void TFrmMain::ActOpenBulkfeedsSearchResultExecute() {
    const QString url = AskSearchUrl(QStringLiteral("Bulkfeedsの検索結果を開く..."));
    if (!url.isEmpty()) OpenFromUrl(url, QString::fromUtf8(kSearchingText));
}

void TFrmMain::ActAddOpmlFileFromUrlExecute() {
    const QString url = AskOpmlUrl(QStringLiteral("URLからOPMLファイルを開く..."));
    if (!url.isEmpty()) AddFromUrl(url);
}

void TFrmMain::ActAddBulkfeedsSearchResultExecute() {
    const QString url = AskSearchUrl(QStringLiteral("Bulkfeedsの検索結果を追加..."));
    if (!url.isEmpty()) AddFromUrl(url);
}

bool TFrmMain::FetchFeedInfo(const std::string& url) {
    const HttpResult result = http_.Get(url);
    if (!result.ok) {
        ShowConnectFailure(Q(url));
        return false;
    }
    // A feed adds no nodes, so the scan runs without an update bracket.
    ScanBufferIntoTree(result.body);
    return true;
}

std::string TFrmMain::FindFeedOfPage(const std::string& pageUrl, bool* pageFetched) {
    // Pages move (http to https, a new path) far more often than feeds, so this one
    // fetch follows a few redirects the way a browser would; links are resolved
    // against the address that answered.
    std::string url = pageUrl;
    HttpResult page = http_.Get(url);
    for (int hop = 0; hop < 5 && page.ok && page.status >= 300 && page.status < 400 &&
                      !page.location.empty();
         ++hop) {
        url = page.location;
        page = http_.Get(url);
    }
    *pageFetched = page.ok;
    if (!page.ok) return {};
    if (LooksLikeFeed(page.body)) return url;
    const std::vector<std::string> feeds = FindFeedLinks(page.body.toStdString(), url);
    return feeds.empty() ? std::string() : feeds.front();
}

std::string TFrmMain::DiscoverFeed(const std::string& pageUrl) {
    const QString discoverUrl = DiscoverUrl(Q(pageUrl));
    const HttpResult result = http_.Get(S(discoverUrl));
    std::string response;
    if (result.ok) {
        response = Utf8ToLocal(result.body.toStdString());
    } else {
        ShowConnectFailure(discoverUrl);
    }
    size_t open = 0;
    size_t close = 0;
    if (!ContainsNoCase(response, "<success>", &open)) return {};
    const size_t start = open + std::strlen("<success>");
    if (!ContainsNoCase(response, "</success>", &close, start)) return {};
    // The address as the service wrote it, without the layout white space
    // some answers put around it.
    std::string url = response.substr(start, close - start);
    const size_t first = url.find_first_not_of(" \t\r\n");
    const size_t last = url.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : url.substr(first, last - first + 1);
}

void TFrmMain::ActAddItemFromUrlExecute() {
    FlushSelectionChange();
    if (DialogHooks::ExecDialog(FrmAddItemFromUrl) != QDialog::Accepted) return;
    const std::string pageUrl = S(FrmAddItemFromUrl->EdtUrl->text());
    if (pageUrl.empty()) return;

    const TOutlineData data{"http://", "", pageUrl};
    QTreeWidgetItem* node = PlaceNewNode(kSearchingText, &data);
    TrvOpml->repaint();

    // The page's own feed link comes first; the discovery service, which needs
    // a key and may be gone, only when the page names no feed.
    bool pageFetched = false;
    std::string feedUrl = FindFeedOfPage(pageUrl, &pageFetched);
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

    SelectNode(node);
    if (!feedUrl.empty()) {
        // The feed's missing elements keep what the boxes hold: no placeholder.
        EdtRssTitle->setText(QString::fromUtf8(kNewItemText));
        if (!FetchFeedInfo(feedUrl)) {
            EdtRssUrl->setText(Q(feedUrl));
        } else {
            SetNodeBoxesFromChannel(feedUrl);
        }
        SetNodeImages(node, kImageFeedItem, kImageFeedItemSelected);
        UpdateSelectionIcons(node, nullptr);
    } else {
        EdtRssTitle->setText(QString::fromUtf8(kNewItemText));
    }
    SetBoxEnabled(EdtRssTitle, true);
    EdtRssTitle->setFocus();
    EdtRssTitle->selectAll();
}

void TFrmMain::SetNodeBoxesFromChannel(const std::string& xmlUrl) {
    const ChannelInfo channel = reader_.Channel();
    EdtRssTitle->setText(Q(channel.title));
    EdtRssUrl->setText(Q(xmlUrl));
    EdtRssDesc->setText(Q(channel.description));
    EdtSrcUrl->setText(Q(channel.link));
}

void TFrmMain::ActUpdateFromRssExecute() {
    // The boxes must show this node before the feed's missing elements fall
    // back on them, and no delayed refill may run while the request does.
    FlushSelectionChange();
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr || !IsFeedItem(node)) return;
    const std::string xmlUrl = OutlineData(node)->xmlUrl;
    if (xmlUrl.empty()) return;
    if (settings_.confirmOnUpdateFromRss) {
        const QString question = QStringLiteral(
            "アイテムを更新しますか?\n現在のタイトルや概要は失われ、RSSに記述されている内容に更新されます。");
        if (ShowMessageBox(question, kQuestionYesNo) != QMessageBox::Yes) return;
    }
    const std::string oldText = NodeText(node);
    const bool wasModified = modified_;
    {
        // The progress text is shown in the tree only, never stored as a title.
        const QSignalBlocker block(EdtRssTitle);
        SetNodeText(node, "更新中...");
    }
    TrvOpml->repaint();
    if (!FetchFeedInfo(xmlUrl)) {
        // A failed request leaves the item as it was.
        SetNodeText(node, oldText);
        modified_ = wasModified;
        return;
    }
    SetNodeText(node, oldText);
    SetNodeBoxesFromChannel(xmlUrl);
}

void TFrmMain::ActCheckStatusExecute() {
    FlushSelectionChange();
    QTreeWidgetItem* node = SelectedNode();
    if (node == nullptr || !IsFeedItem(node)) return;
    const std::string xmlUrl = OutlineData(node)->xmlUrl;
    if (xmlUrl.empty()) return;
    const HttpResult result = http_.Head(xmlUrl);
    if (!result.ok) {
        ShowMessageBox(Q(result.errorMessage), kErrorOk);
        return;
    }
    if (result.status == 200) ShowMessageBox(QStringLiteral("HTTP 1.1 200 OK."), kInformationOk);
}
