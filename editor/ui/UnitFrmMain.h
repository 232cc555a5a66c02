#pragma once

#include <QMainWindow>

#include <memory>
#include <optional>
#include <string>

#include "CorvaneSettings.h"
#include "HttpClient.h"
#include "OutlineEditing.h"

class DialogHooks;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class OpmlTreeModel;
class TFrmAddItemFromUrl;
class TFrmAppointOpmlUrl;
class TFrmOpmlProperty;
class TFrmOption;
class TFrmSearchBulkfeeds;
class TTrvOpml;

// Corvane's main window: the feed-list tree, the boxes of the selected node, the
// status bar, the menus and every command on them. The document lives in the
// model; the widgets only show it. Widgets carry object names (TrvOpml,
// EdtRssTitle, ActSaveOpmlFile, ...) by which tests and style sheets find them.
// The member functions are defined by concern: UnitFrmMain.cpp (construction,
// widgets, menus, closing, shared helpers), FrmMainFileCommands.cpp,
// FrmMainEditCommands.cpp (with the node boxes) and FrmMainNetworkCommands.cpp.
class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    // settingsFile: the Corvane.ini read now and written when the window goes.
    // dialogs: where its boxes, file dialogs and forms are shown; it outlives the window.
    // arguments: the command-line file paths (without the program name).
    TFrmMain(std::string settingsFile, DialogHooks& dialogs, const QStringList& arguments,
             QWidget* parent = nullptr);
    ~TFrmMain() override;

    bool Modified() const { return modified_; }
    const QString& DocumentFileName() const { return documentFileName_; }
    const CorvaneSettings& Settings() const { return settings_; }
    HttpClient& Http() { return http_; }
    const OpmlHead& DocumentHead() const;

    // Runs the pending selection-change notification now (it is otherwise
    // delayed by 50 ms so keyboard scrolling through the tree stays smooth).
    void FlushSelectionChange();
    // Drops, as the tree reports them.
    void TrvOpmlDragDrop(const QPoint& viewportPos);
    void DropFiles(const QStringList& paths);
    // The search and discovery addresses for the configured host.
    QString SearchUrl(const QString& text, int field) const;
    QString DiscoverUrl(const QString& pageUrl) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Files dropped anywhere on the window, not only on the tree.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateWidgets();
    void CreateActions();
    void CreateMenus();
    void LoadCommandLine(const QStringList& arguments);
    int ShowMessageBox(const QString& text, int style);

    // Commands.
    void ActOpenOpmlFileExecute();
    void ActAddOpmlFileExecute();
    void ActSaveAsOpmlFileExecute();
    void ActOpmlPropertyExecute();
    void ActAddItemExecute();
    void ActAddFolderExecute();
    void ActDeleteExecute();
    void ActCallOptionDlgExecute();
    void ActOpenFromUrlExecute(bool search);
    void ActAddFromUrlExecute(bool search);
    void ActAddItemFromUrlExecute();
    void ActUpdateFromRssExecute();
    void ActCheckStatusExecute();

    // The node boxes: they show the selected node and write edits back to it.
    void TrvOpmlChange();
    void ClearNodeFields();
    void EditTitle();
    void EditRecord(QLineEdit* box, std::string TOutlineData::*field);
    void FocusTitleBox();
    void SetNodeBoxesFromChannel(const std::string& xmlUrl);

    // Helpers shared by the commands.
    void SetDocumentActions(bool addActions, bool save, bool saveAs);
    void BeginUpdate();
    void EndUpdate();
    void ClearTree();
    bool SaveTo(const QString& path);
    OutlineNode* SelectedNode() const;
    void SelectNode(const OutlineNode* node);
    void ExpandAndSelectFirst();
    OutlineNode& PlaceNewNode(const std::string& text, const std::optional<TOutlineData>& data);
    void MoveNode(OutlineNode* node, const std::optional<OutlinePlace>& place);
    void ShowScanOutcome(bool takeHead, bool canSave);
    void ShowConnectFailure(const QString& url);
    void OpenFromUrl(const QString& url, const QString& placeholder);
    void AddFromUrl(const QString& url);
    QString AskUrl(bool search, const QString& title);
    bool FetchFeedInfo(const std::string& url);
    std::string DiscoverFeed(const std::string& pageUrl);

    OpmlTreeModel* model_;
    HttpClient http_;
    const std::string settingsFile_;
    DialogHooks& dialogs_;
    CorvaneSettings settings_;
    QString documentFileName_ = QStringLiteral("feeds.opml");
    bool modified_ = false;
    bool saveCancelled_ = false;
    bool firstShown_ = false;
    int updateDepth_ = 0;
    QTimer* selectionTimer_;

    TTrvOpml* TrvOpml;
    QLineEdit* EdtRssTitle;
    QLineEdit* EdtRssUrl;
    QLineEdit* EdtRssDesc;
    QLineEdit* EdtSrcUrl;
    QLabel* StatusText;
    QMenu* PmnTrvOpml;
    struct Actions;
    std::unique_ptr<Actions> act_;

    TFrmAddItemFromUrl* FrmAddItemFromUrl;
    TFrmAppointOpmlUrl* FrmAppointOpmlUrl;
    TFrmOpmlProperty* FrmOpmlProperty;
    TFrmOption* FrmOption;
    TFrmSearchBulkfeeds* FrmSearchBulkfeeds;
};
