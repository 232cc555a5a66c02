// The main window itself: construction, widgets, actions and menus, showing and
// closing, the message boxes, the options dialog and the helpers the commands share.
#include "UnitFrmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

#include "FrmMainSupport.h"
#include "OpmlTreeModel.h"
#include "TrvOpml.h"
#include "UnitFrmAddItemFromUrl.h"
#include "UnitFrmAppointOpmlUrl.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmMainImages.h"
#include "UnitFrmOpmlProperty.h"
#include "UnitFrmOption.h"
#include "UnitFrmSearchBulkfeeds.h"

using namespace frmmain;

void frmmain::SetBoxEnabled(QLineEdit* box, bool enabled) {
    box->setEnabled(enabled);
    QPalette palette = box->palette();
    const QPalette app = QApplication::palette();
    palette.setColor(QPalette::Disabled, QPalette::Base, app.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Disabled, QPalette::Text, app.color(QPalette::Active, QPalette::ButtonText));
    palette.setColor(QPalette::Active, QPalette::Base, app.color(QPalette::Active, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::Base, app.color(QPalette::Inactive, QPalette::Base));
    box->setPalette(palette);
}

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

void TFrmMain::ActCallOptionDlgExecute() {
    FrmOption->ShowSettings(settings_);
    if (dialogs_.ExecDialog(FrmOption) == QDialog::Accepted) FrmOption->TakeInto(settings_);
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
