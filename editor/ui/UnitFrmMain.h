#pragma once

#include <QMainWindow>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>

#include "CorvaneSettings.h"
#include "HttpClient.h"
#include "OpmlReader.h"
#include "TreeWidgetNodes.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class TFrmAddItemFromUrl;
class TFrmAppointOpmlUrl;
class TFrmOpmlProperty;
class TFrmOption;
class TFrmSearchBulkfeeds;

// The tree of the main window. It reports drops to the window, which decides
// what they mean: nodes dragged inside the tree, or files from the desktop.
class TTrvOpml : public QTreeWidget {
    Q_OBJECT
public:
    explicit TTrvOpml(QWidget* parent);

    // Where a drop at a viewport position lands.
    enum class DropZone { None, OnNode, RightOfLabel };
    DropZone ZoneAt(const QPoint& viewportPos, QTreeWidgetItem** node) const;

    std::function<void(const QPoint&)> onNodeDrop;
    std::function<void(const QStringList&)> onFilesDrop;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// Corvane's main window: the feed-list tree, the boxes of the selected node,
// the status bar, the menus and every command on them.
class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    // arguments: the command-line file paths (without the program name).
    explicit TFrmMain(const QStringList& arguments, QWidget* parent = nullptr);
    ~TFrmMain() override;

    // Components, named as the commands and tests know them.
    TTrvOpml* TrvOpml;
    QWidget* PnlNodeData;
    QLineEdit* EdtRssTitle;
    QLineEdit* EdtRssUrl;
    QLineEdit* EdtRssDesc;
    QLineEdit* EdtSrcUrl;
    QLabel* StatusText;
    QMenu* PmnTrvOpml;

    QAction* ActOpenOpmlFile;
    QAction* ActOpenOpmlFileFromUrl;
    QAction* ActOpenBulkfeedsSearchResult;
    QAction* ActAddOpmlFile;
    QAction* ActAddOpmlFileFromUrl;
    QAction* ActAddBulkfeedsSearchResult;
    QAction* ActSaveOpmlFile;
    QAction* ActSaveAsOpmlFile;
    QAction* ActExitLwr;
    QAction* ActOpmlProperty;
    QAction* ActAddItem;
    QAction* ActAddItemFromUrl;
    QAction* ActAddFolder;
    QAction* ActUpdateFromRss;
    QAction* ActCheckStatus;
    QAction* ActDelete;
    QAction* ActCallOptionDlg;
    QAction* ActCallAboutDlg;
    QAction* ActItemUp;
    QAction* ActItemDown;

    TFrmAddItemFromUrl* FrmAddItemFromUrl;
    TFrmAppointOpmlUrl* FrmAppointOpmlUrl;
    TFrmOpmlProperty* FrmOpmlProperty;
    TFrmOption* FrmOption;
    TFrmSearchBulkfeeds* FrmSearchBulkfeeds;

    // Document state.
    bool Modified() const { return modified_; }
    const QString& DocumentFileName() const { return documentFileName_; }
    const CorvaneSettings& Settings() const { return settings_; }
    HttpClient& Http() { return http_; }
    OpmlReader& Reader() { return reader_; }
    const OpmlHead& DocumentHead() const { return head_; }

    // Runs the pending selection-change notification now (it is otherwise
    // delayed by 50 ms so keyboard scrolling through the tree stays smooth).
    void FlushSelectionChange();
    // Drops, as the tree reports them; public so tests can drive them.
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
    void CreateActions();
    void CreateMenus();
    void CreateWidgets();
    void FormCreate(const QStringList& arguments);

    int ShowMessageBox(const QString& text, int style);

    // Commands.
    void ActOpenOpmlFileExecute();
    void ActAddOpmlFileExecute();
    void ActSaveOpmlFileExecute();
    void ActSaveAsOpmlFileExecute();
    void ActOpmlPropertyExecute();
    void ActAddItemExecute();
    void ActAddFolderExecute();
    void ActDeleteExecute();
    void ActItemUpExecute();
    void ActItemDownExecute();
    void ActCallOptionDlgExecute();
    void ActCallAboutDlgExecute();
    void ActOpenOpmlFileFromUrlExecute();
    void ActOpenBulkfeedsSearchResultExecute();
    void ActAddOpmlFileFromUrlExecute();
    void ActAddBulkfeedsSearchResultExecute();
    void ActAddItemFromUrlExecute();
    void ActUpdateFromRssExecute();
    void ActCheckStatusExecute();

    // Handlers.
    void TrvOpmlChange();
    void EdtRssTitleChange();
    void EdtRssUrlChange();
    void EdtRssDescChange();
    void EdtSrcUrlChange();

    // Helpers shared by the commands.
    void ClearNodeFields();
    void SetBoxEnabled(QLineEdit* box, bool enabled);
    void SetDocumentActions(bool addActions, bool save, bool saveAs);
    void SetStatusText(const QString& text);
    void BeginUpdate();
    void EndUpdate();
    void ClearTree();
    int NodeCount() const;
    bool SaveTo(const QString& path);
    QTreeWidgetItem* SelectedNode() const;
    void SelectNode(QTreeWidgetItem* node);
    void AfterExpandAndSelectFirst();
    void UpdateSelectionIcons(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    // Appends a new node by the placement rule of the add commands.
    QTreeWidgetItem* PlaceNewNode(const std::string& text, const TOutlineData* data);
    void MoveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent, int index);
    void CopyScratchHeadToDocument();
    // Reads into the tree: outlines are appended at the end of its top level.
    void ScanFileIntoTree(const std::string& path);
    void ScanBufferIntoTree(const QByteArray& bytes);
    OpmlScanOutcome ScanOutcome() const;
    void ShowScanOutcome(bool takeHead, bool canSave);
    void ShowConnectFailure(const QString& url);
    void OpenFromUrl(const QString& url, const QString& placeholder);
    void AddFromUrl(const QString& url);
    QString AskOpmlUrl(const QString& title);
    QString AskSearchUrl(const QString& title);
    bool FetchFeedInfo(const std::string& url);
    std::string FindFeedOfPage(const std::string& pageUrl, bool* pageFetched);
    std::string DiscoverFeed(const std::string& pageUrl);
    void SetNodeBoxesFromChannel(const std::string& xmlUrl);
    QString ResolveDocumentPath(const QString& name) const;

    OutlineNode scanned_;  // what the last scan read, before it joins the tree
    OpmlReader reader_{scanned_};
    OpmlHead head_;
    HttpClient http_;
    CorvaneSettings settings_;
    QString documentFileName_ = QStringLiteral("feeds.opml");
    bool modified_ = false;
    bool saveCancelled_ = false;
    bool firstShown_ = false;
    int updateDepth_ = 0;
    QTimer* selectionTimer_;
};
