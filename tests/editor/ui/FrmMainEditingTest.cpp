#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "TreeWidgetNodes.h"
#include "UiTestSupport.h"
#include "UnitFrmOpmlProperty.h"
#include "UnitFrmOption.h"

#include <QCheckBox>
#include <QSettings>

namespace {

QTreeWidgetItem* Find(QTreeWidget* tree, const QString& text) {
    const QList<QTreeWidgetItem*> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

void Select(TFrmMain& w, QTreeWidgetItem* node) {
    w.TrvOpml->setCurrentItem(node);
    node->setSelected(true);
    w.FlushSelectionChange();
}

void FocusTree(TFrmMain& w) {
    w.TrvOpml->setFocus();
    QApplication::processEvents();
}

bool DocumentActions(TFrmMain& w, bool add, bool save, bool saveAs) {
    return w.ActAddOpmlFile->isEnabled() == add && w.ActAddOpmlFileFromUrl->isEnabled() == add &&
           w.ActAddBulkfeedsSearchResult->isEnabled() == add && w.ActSaveOpmlFile->isEnabled() == save &&
           w.ActSaveAsOpmlFile->isEnabled() == saveAs;
}

TEST_F(FrmMainTest, FirstStartShowsAnEmptyDocumentNamedFeedsOpmlWithDocumentActionsOff) {
    TFrmMain& w = Open();
    EXPECT_EQ(w.windowTitle(), "Corvane");
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 0);
    EXPECT_EQ(w.StatusText->text(), "feeds.opml");
    EXPECT_TRUE(DocumentActions(w, false, false, false));
    EXPECT_FALSE(w.ActDelete->isEnabled());
    EXPECT_FALSE(w.ActUpdateFromRss->isEnabled());
    for (QLineEdit* box : {w.EdtRssTitle, w.EdtRssUrl, w.EdtRssDesc, w.EdtSrcUrl}) EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(w.pos(), QPoint(80, 80));
    EXPECT_EQ(w.size(), QSize(320, 444));
    EXPECT_FALSE(w.Modified());
}

TEST_F(FrmMainTest, ActionsCarryTheirCaptionsAndShortcuts) {
    TFrmMain& w = Open();
    EXPECT_EQ(w.ActOpenOpmlFile->text(), "OPMLファイルを開く(&O)...");
    EXPECT_EQ(w.ActOpenOpmlFile->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(w.ActAddOpmlFile->shortcut(), QKeySequence("Ctrl+Shift+O"));
    EXPECT_EQ(w.ActSaveAsOpmlFile->shortcut(), QKeySequence("Ctrl+Shift+S"));
    EXPECT_EQ(w.ActAddItem->text(), "アイテムを追加(&I)");
    EXPECT_EQ(w.ActAddItemFromUrl->shortcut(), QKeySequence("Ctrl+Shift+N"));
    EXPECT_EQ(w.ActDelete->shortcut(), QKeySequence("Ctrl+D"));
    EXPECT_EQ(w.ActItemUp->shortcut(), QKeySequence("Ctrl+Up"));
    EXPECT_EQ(w.ActCallAboutDlg->text(), "Corvaneについて(&A)...");
    EXPECT_TRUE(w.PmnTrvOpml->actions().contains(w.ActCheckStatus));
}

TEST_F(FrmMainTest, CommandLineMergesEveryExistingFileAndKeepsTheFirstAsDocument) {
    const QString first = WriteFile("first.opml", kTwoLevelOpml);
    const QString second = WriteFile("second.opml",
                                     "<?xml version=\"1.0\"?><opml version=\"1.0\"><body>"
                                     "<outline text=\"D\" type=\"rss\" xmlUrl=\"http://127.0.0.1/d\"/></body></opml>");
    TFrmMain& w = Open({first, dir_.filePath("missing.opml"), second});
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\nC\nD\n");
    EXPECT_EQ(w.DocumentFileName(), first);
    EXPECT_EQ(w.StatusText->text(), first);
    EXPECT_TRUE(w.Modified());
    EXPECT_TRUE(DocumentActions(w, true, true, true));
    EXPECT_EQ(w.TrvOpml->currentItem(), w.TrvOpml->topLevelItem(0));
    EXPECT_TRUE(w.TrvOpml->topLevelItem(0)->isExpanded());
}

TEST_F(FrmMainTest, OneCommandLineFileOpensUnmodifiedWithItsHead) {
    const QString first = WriteFile("first.opml", kTwoLevelOpml);
    TFrmMain& w = Open({first});
    EXPECT_FALSE(w.Modified());
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_EQ(w.DocumentHead().dateCreated, "Mon, 7 Dec 2026 03:05:09 GMT");
}

TEST_F(FrmMainTest, MissingCommandLineFileGivesAnEmptyFeedsOpmlDocument) {
    TFrmMain& w = Open({dir_.filePath("nope.opml")});
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 0);
    EXPECT_EQ(w.StatusText->text(), "feeds.opml");
    EXPECT_TRUE(DocumentActions(w, false, false, false));
    EXPECT_TRUE(DialogHooks::TakeShownMessages().isEmpty());
}

TEST_F(FrmMainTest, AddItemDoesNothingWhileTheTitleBoxHasTheFocus) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    w.EdtRssTitle->setFocus();
    QApplication::processEvents();
    w.ActAddItem->trigger();
    EXPECT_EQ(Find(w.TrvOpml, "新規アイテム"), nullptr);
    FocusTree(w);
    w.ActAddItem->trigger();
    QTreeWidgetItem* added = Find(w.TrvOpml, "新規アイテム");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(OutlineData(added)->xmlUrl, "http://");
    EXPECT_EQ(OutlineData(added)->htmlUrl, "http://");
    EXPECT_EQ(w.focusWidget(), w.EdtRssTitle);
    EXPECT_EQ(w.EdtRssTitle->selectedText(), "新規アイテム");
}

TEST_F(FrmMainTest, NewNodesGoInsideASelectedFolderOrBesideASelectedItem) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "A"));
    FocusTree(w);
    w.ActAddItem->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\n  新規アイテム\nC\n");
    Select(w, Find(w.TrvOpml, "Folder"));
    w.ActAddFolder->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\n  新規アイテム\n  新規フォルダ\nC\n");
    Select(w, Find(w.TrvOpml, "C"));
    w.ActAddFolder->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\n  新規アイテム\n  新規フォルダ\nC\n新規フォルダ\n");
}

TEST_F(FrmMainTest, AddFolderIntoAnEmptyTreeEnablesSaveAsButNotSave) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "新規フォルダ\n");
    EXPECT_TRUE(DocumentActions(w, true, false, true));
    EXPECT_TRUE(w.Modified());
    EXPECT_TRUE(w.EdtRssTitle->isEnabled());
    EXPECT_FALSE(w.EdtRssUrl->isEnabled());
}

TEST_F(FrmMainTest, TypingInAFolderTitleRenamesItKeyByKey) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "Folder"));
    EXPECT_FALSE(w.Modified());  // filling the boxes changes nothing
    w.EdtRssTitle->setFocus();
    w.EdtRssTitle->end(false);
    QTest::keyClicks(w.EdtRssTitle, "X");
    EXPECT_EQ(w.TrvOpml->topLevelItem(0)->text(0).toStdString(), "FolderX");
    QTest::keyClicks(w.EdtRssTitle, "Y");
    EXPECT_EQ(w.TrvOpml->topLevelItem(0)->text(0).toStdString(), "FolderXY");
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, NodeBoxesEditTheSelectedItemsRecord) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QTreeWidgetItem* c = Find(w.TrvOpml, "C");
    Select(w, c);
    EXPECT_EQ(w.EdtRssUrl->text(), "http://127.0.0.1/c.xml");
    EXPECT_TRUE(w.ActUpdateFromRss->isEnabled());
    w.EdtRssDesc->setText("changed");
    w.EdtSrcUrl->setText("http://127.0.0.1/page");
    EXPECT_EQ(OutlineData(c)->description, "changed");
    EXPECT_EQ(OutlineData(c)->htmlUrl, "http://127.0.0.1/page");
    EXPECT_TRUE(w.Modified());
    Select(w, Find(w.TrvOpml, "Folder"));
    EXPECT_FALSE(w.EdtRssUrl->isEnabled());
    EXPECT_TRUE(w.EdtRssUrl->text().isEmpty());
    EXPECT_FALSE(w.ActUpdateFromRss->isEnabled());
    EXPECT_EQ(OutlineData(c)->description, "changed");
}

TEST_F(FrmMainTest, DeleteAsksAndANoKeepsTheNode) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "C"));
    DialogHooks::SetNextAnswer(QMessageBox::No);
    w.ActDelete->trigger();
    EXPECT_EQ(DialogHooks::TakeShownMessages(), QStringList{"本当に \"C\" を削除しますか?"});
    EXPECT_NE(Find(w.TrvOpml, "C"), nullptr);
    DialogHooks::SetNextAnswer(QMessageBox::Yes);
    w.ActDelete->trigger();
    EXPECT_EQ(Find(w.TrvOpml, "C"), nullptr);
    EXPECT_FALSE(w.Modified());  // deleting alone never marks the document
}

TEST_F(FrmMainTest, DeletingTheLastNodeClearsTheBoxesAndTheModifiedFlag) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    ASSERT_TRUE(w.Modified());
    DialogHooks::SetNextAnswer(QMessageBox::Yes);
    w.ActDelete->trigger();
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 0);
    EXPECT_FALSE(w.Modified());
    EXPECT_FALSE(w.ActDelete->isEnabled());
    EXPECT_FALSE(w.EdtRssTitle->isEnabled());
    EXPECT_TRUE(w.EdtRssTitle->text().isEmpty());
    EXPECT_TRUE(w.close());  // nothing to ask
    EXPECT_TRUE(DialogHooks::TakeShownMessages().isEmpty() == false);
}

TEST_F(FrmMainTest, DeletingAFolderTakesItsWholeSubtree) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "Folder"));
    DialogHooks::SetNextAnswer(QMessageBox::Yes);
    w.ActDelete->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "C\n");
}

struct MoveCase {
    const char* name;
    const char* node;
    bool up;
    const char* expected;
};

const MoveCase kMoves[] = {
    {"UpOnTheFirstNodeDoesNothing", "Folder", true, "Folder\n  A\n  B\nC\n"},
    {"UpOnFirstChildLeavesTheFolder", "A", true, "A\nFolder\n  B\nC\n"},
    {"UpSwapsWithThePreviousSibling", "B", true, "Folder\n  B\n  A\nC\n"},
    {"UpMovesAFolderWithItsChildren", "C", true, "C\nFolder\n  A\n  B\n"},
    {"DownSwapsWithTheNextSibling", "A", false, "Folder\n  B\n  A\nC\n"},
    {"DownOnLastChildLeavesTheFolder", "B", false, "Folder\n  A\nB\nC\n"},
    {"DownOnTheLastNodeDoesNothing", "C", false, "Folder\n  A\n  B\nC\n"},
    {"DownMovesAFolderPastItsSibling", "Folder", false, "C\nFolder\n  A\n  B\n"},
};

class FrmMainMoves : public FrmMainTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(FrmMainMoves, MoveKeepsTheNodeSelectedAndTheDocumentUnmodified) {
    const MoveCase& c = GetParam();
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QTreeWidgetItem* node = Find(w.TrvOpml, c.node);
    Select(w, node);
    (c.up ? w.ActItemUp : w.ActItemDown)->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), c.expected);
    EXPECT_EQ(w.TrvOpml->currentItem(), node);
    EXPECT_FALSE(w.Modified());
    if (node->parent() != nullptr) {
        EXPECT_TRUE(node->parent()->isExpanded());
    }
}

INSTANTIATE_TEST_SUITE_P(Tree, FrmMainMoves, ::testing::ValuesIn(kMoves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrmMainTest, MovingUpAndClosingAsksNothing) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "C"));
    w.ActItemUp->trigger();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(DialogHooks::TakeShownMessages().isEmpty());
}

QPoint LabelPoint(TFrmMain& w, QTreeWidgetItem* node) {
    const QRect rect = w.TrvOpml->visualItemRect(node);
    return QPoint(rect.left() + 20, rect.center().y());
}

QPoint RightOfLabelPoint(TFrmMain& w, QTreeWidgetItem* node) {
    const QRect rect = w.TrvOpml->visualItemRect(node);
    return QPoint(rect.right() - 2, rect.center().y());
}

TEST_F(FrmMainTest, DroppingOnAnItemPutsTheNodeBeforeIt) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "C"));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w.TrvOpml, "B")));
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  C\n  B\n");
    EXPECT_FALSE(w.Modified());
}

TEST_F(FrmMainTest, DroppingOnAFolderMakesTheNodeItsFirstChild) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "C"));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w.TrvOpml, "Folder")));
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  C\n  A\n  B\n");
}

TEST_F(FrmMainTest, DroppingRightOfALabelMovesTheNodeToTheEndOfTheTopLevel) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "A"));
    w.TrvOpmlDragDrop(RightOfLabelPoint(w, Find(w.TrvOpml, "B")));
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  B\nC\nA\n");
}

TEST_F(FrmMainTest, DroppingAFolderOntoItsOwnChildChangesNothing) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "Folder"));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w.TrvOpml, "A")));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w.TrvOpml, "Folder")));
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\nC\n");
}

TEST_F(FrmMainTest, DroppingBelowTheLastRowDoesNothing) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w.TrvOpml, "A"));
    w.TrvOpmlDragDrop(QPoint(5, w.TrvOpml->viewport()->height() - 2));
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\nC\n");
}

TEST_F(FrmMainTest, FilesDroppedFromTheDesktopAreMergedAndMissingOnesSkipped) {
    TFrmMain& w = Open();
    const QString file = WriteFile("drop.opml", kTwoLevelOpml);
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(dir_.filePath("gone.opml")), QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.TrvOpml->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.TrvOpml->viewport(), &drop);
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\nC\n");
    EXPECT_TRUE(DocumentActions(w, true, true, true));
    EXPECT_TRUE(w.Modified());
    EXPECT_EQ(w.DocumentFileName(), "feeds.opml");
    EXPECT_TRUE(DialogHooks::TakeShownMessages().isEmpty());
    delete mime;
}

TEST_F(FrmMainTest, OpenReplacesTheDocumentAndClearsTheModifiedFlag) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    const QString file = WriteFile("open.opml", kTwoLevelOpml);
    DialogHooks::SetNextFileName(file);
    w.ActOpenOpmlFile->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\nC\n");
    EXPECT_FALSE(w.Modified());
    EXPECT_EQ(w.DocumentFileName(), file);
    EXPECT_EQ(w.StatusText->text(), file);
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_TRUE(DocumentActions(w, true, true, true));
}

TEST_F(FrmMainTest, OpeningAFileThatIsNotOpmlSaysSoAndSwitchesDocumentActionsOff) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    DialogHooks::SetNextFileName(WriteFile("feed.xml", "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title></channel></rss>"));
    w.ActOpenOpmlFile->trigger();
    EXPECT_EQ(DialogHooks::TakeShownMessages(), QStringList{"OPMLファイルではないようです。"});
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 0);
    EXPECT_TRUE(DocumentActions(w, false, false, false));
}

TEST_F(FrmMainTest, AddFileAppendsAndKeepsTheDocumentNameAndHead) {
    const QString first = WriteFile("a.opml", kTwoLevelOpml);
    TFrmMain& w = Open({first});
    DialogHooks::SetNextFileName(WriteFile("b.opml",
        "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Other</title></head><body>"
        "<outline text=\"Z\" type=\"rss\" xmlUrl=\"http://127.0.0.1/z\"/></body></opml>"));
    w.ActAddOpmlFile->trigger();
    EXPECT_EQ(Shape(w.TrvOpml), "Folder\n  A\n  B\nC\nZ\n");
    EXPECT_EQ(w.DocumentFileName(), first);
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, SaveWritesTheOpenedFileAndClearsTheModifiedFlag) {
    const QString file = WriteFile("a.opml", kTwoLevelOpml);
    TFrmMain& w = Open({file});
    Select(w, Find(w.TrvOpml, "C"));
    w.EdtRssTitle->setText("Renamed & more");
    w.ActSaveOpmlFile->trigger();
    EXPECT_FALSE(w.Modified());
    const QByteArray saved = ReadFile(file);
    EXPECT_TRUE(saved.contains("<outline text=\"Renamed &amp; more\" type=\"rss\" xmlUrl=\"http://127.0.0.1/c.xml\""));
    EXPECT_TRUE(saved.contains("\t\t<title>Mine</title>\r\n"));
}

TEST_F(FrmMainTest, SaveAsWritesTheChosenPathButLaterSavesGoToTheOpenedFile) {
    const QString file = WriteFile("a.opml", kTwoLevelOpml);
    TFrmMain& w = Open({file});
    const QString copy = dir_.filePath("copy.opml");
    DialogHooks::SetNextFileName(copy);
    w.ActSaveAsOpmlFile->trigger();
    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_EQ(w.StatusText->text(), copy);
    EXPECT_EQ(w.DocumentFileName(), file);
}

TEST_F(FrmMainTest, AFailedSaveReportsAndKeepsTheModifiedFlag) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    DialogHooks::SetNextFileName(dir_.filePath("no/such/dir/x.opml"));
    w.ActSaveAsOpmlFile->trigger();
    EXPECT_EQ(DialogHooks::TakeShownMessages(), QStringList{"ファイルの保存に失敗しました。"});
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, ClosePromptCancelKeepsTheWindowAndNoClosesWithoutSaving) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    DialogHooks::SetNextAnswer(QMessageBox::Cancel);
    EXPECT_FALSE(w.close());
    EXPECT_EQ(DialogHooks::TakeShownMessages(), QStringList{"更新されています。保存しますか?"});
    DialogHooks::SetNextAnswer(QMessageBox::No);
    EXPECT_TRUE(w.close());
}

TEST_F(FrmMainTest, ClosePromptYesWithCancelledSaveDialogKeepsTheWindow) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    DialogHooks::SetNextAnswer(QMessageBox::Yes);
    DialogHooks::SetNextFileName(QString());
    EXPECT_FALSE(w.close());
    const QString target = dir_.filePath("closing.opml");
    DialogHooks::SetNextAnswer(QMessageBox::Yes);
    DialogHooks::SetNextFileName(target);
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(ReadFile(target).contains("<outline text=\"新規フォルダ\">"));
}

TEST_F(FrmMainTest, ClosePromptYesWithAFailedWriteKeepsTheWindow) {
    TFrmMain& w = Open();
    w.ActAddFolder->trigger();
    DialogHooks::SetNextAnswer(QMessageBox::Yes);
    DialogHooks::SetNextFileName(dir_.filePath("missing-dir/x.opml"));
    EXPECT_FALSE(w.close());
}

TEST_F(FrmMainTest, AboutBoxNamesTheProgramAndVersion) {
    TFrmMain& w = Open();
    w.ActCallAboutDlg->trigger();
    EXPECT_EQ(DialogHooks::TakeShownMessages(),
              QStringList{"Corvane 1.1.3\nRSSのリストが格納されているOPMLファイルのエディタです。"});
}

TEST_F(FrmMainTest, CancellingPropertiesRestoresTheTitleAndOkMarksModified) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    DialogHooks::SetNextDialogHandler([](QDialog* d) {
        static_cast<TFrmOpmlProperty*>(d)->EdtTitle->setText("Edited");
        return int(QDialog::Rejected);
    });
    w.ActOpmlProperty->trigger();
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_FALSE(w.Modified());
    DialogHooks::SetNextDialogHandler([](QDialog*) { return int(QDialog::Accepted); });
    w.ActOpmlProperty->trigger();
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, UncheckedDeleteConfirmationStaysOffAfterARestart) {
    {
        TFrmMain& w = Open();
        DialogHooks::SetNextDialogHandler([](QDialog* d) {
            static_cast<TFrmOption*>(d)->ckbConfirmOnDelete->setChecked(false);
            return int(QDialog::Accepted);
        });
        w.ActCallOptionDlg->trigger();
        EXPECT_FALSE(w.Settings().confirmOnDelete);
        w.move(120, 130);
        window_.reset();
    }
    TFrmMain& w = Open();
    EXPECT_FALSE(w.Settings().confirmOnDelete);
    EXPECT_EQ(w.pos(), QPoint(120, 130));
    w.ActAddFolder->trigger();
    w.ActDelete->trigger();
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 0);
    EXPECT_TRUE(DialogHooks::TakeShownMessages().isEmpty());
}

TEST_F(FrmMainTest, CancelledOptionsChangeNothing) {
    TFrmMain& w = Open();
    DialogHooks::SetNextDialogHandler([](QDialog* d) {
        auto* option = static_cast<TFrmOption*>(d);
        option->ckbConfirmOnClose->setChecked(false);
        option->edtApiKey->setText("abc");
        return int(QDialog::Rejected);
    });
    w.ActCallOptionDlg->trigger();
    EXPECT_TRUE(w.Settings().confirmOnClose);
    EXPECT_TRUE(w.Settings().apiKey.empty());
}

TEST_F(FrmMainTest, SelectedNodesShowTheSelectedImage) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QTreeWidgetItem* c = Find(w.TrvOpml, "C");
    Select(w, c);
    EXPECT_EQ(NodeSelectedImage(c), kImageFeedItemSelected);
    EXPECT_EQ(c->icon(0).cacheKey(), TreeImageList(w.TrvOpml)[kImageFeedItemSelected].cacheKey());
    QTreeWidgetItem* folder = Find(w.TrvOpml, "Folder");
    Select(w, folder);
    EXPECT_EQ(c->icon(0).cacheKey(), TreeImageList(w.TrvOpml)[kImageFeedItem].cacheKey());
    EXPECT_EQ(folder->icon(0).cacheKey(), TreeImageList(w.TrvOpml)[kImageFolderSelected].cacheKey());
}

}  // namespace

namespace {

TEST_F(FrmMainTest, ShortcutsReachTheirCommandsFromTheTree) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTreeWidgetItem* c = w.TrvOpml->findItems("C", Qt::MatchExactly | Qt::MatchRecursive).front();
    w.TrvOpml->setCurrentItem(c);
    w.FlushSelectionChange();
    w.TrvOpml->setFocus();
    QTest::keyClick(w.TrvOpml, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Shape(w.TrvOpml), "C\nFolder\n  A\n  B\n");
    QTest::keyClick(w.TrvOpml, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Shape(w.TrvOpml), "C\nFolder\n  A\n  B\n新規アイテム\n");
    // The title box now has the focus: Ctrl+N adds nothing more.
    QTest::keyClick(w.EdtRssTitle, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 3);
}

}  // namespace

namespace {

TEST_F(FrmMainTest, FilesDroppedOnTheStatusBarAreMergedToo) {
    TFrmMain& w = Open();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(WriteFile("drop.opml", kTwoLevelOpml))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    EXPECT_EQ(w.TrvOpml->topLevelItemCount(), 2);
}

TEST_F(FrmMainTest, ClickBelowTheLastRowKeepsTheSelection) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QTreeWidgetItem* c = w.TrvOpml->findItems("C", Qt::MatchExactly | Qt::MatchRecursive).front();
    w.TrvOpml->setCurrentItem(c);
    w.FlushSelectionChange();
    QTest::mouseClick(w.TrvOpml->viewport(), Qt::LeftButton, {}, QPoint(5, w.TrvOpml->viewport()->height() - 3));
    EXPECT_TRUE(c->isSelected());
    w.EdtRssDesc->setText("still attached");
    EXPECT_EQ(OutlineData(c)->description, "still attached");
}

}  // namespace
