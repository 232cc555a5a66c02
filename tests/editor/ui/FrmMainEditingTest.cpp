#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "UnitFrmMainImages.h"
#include "UiTestSupport.h"
#include "UnitFrmOpmlProperty.h"
#include "UnitFrmOption.h"

#include <QCheckBox>
#include <QSettings>

namespace {

void Select(TFrmMain& w, const QModelIndex& node) {
    Tree(w)->setCurrentIndex(node);
    w.FlushSelectionChange();
}

void FocusTree(TFrmMain& w) {
    Tree(w)->setFocus();
    QApplication::processEvents();
}

bool DocumentActions(TFrmMain& w, bool add, bool save, bool saveAs) {
    return Act(w, "ActAddOpmlFile")->isEnabled() == add && Act(w, "ActAddOpmlFileFromUrl")->isEnabled() == add &&
           Act(w, "ActAddBulkfeedsSearchResult")->isEnabled() == add && Act(w, "ActSaveOpmlFile")->isEnabled() == save &&
           Act(w, "ActSaveAsOpmlFile")->isEnabled() == saveAs;
}

TEST_F(FrmMainTest, FirstStartShowsAnEmptyDocumentNamedFeedsOpmlWithDocumentActionsOff) {
    TFrmMain& w = Open();
    EXPECT_EQ(w.windowTitle(), "Corvane");
    EXPECT_EQ(TopCount(w), 0);
    EXPECT_EQ(Status(w)->text(), "feeds.opml");
    EXPECT_TRUE(DocumentActions(w, false, false, false));
    EXPECT_FALSE(Act(w, "ActDelete")->isEnabled());
    EXPECT_FALSE(Act(w, "ActUpdateFromRss")->isEnabled());
    for (QLineEdit* box : {Box(w, "EdtRssTitle"), Box(w, "EdtRssUrl"), Box(w, "EdtRssDesc"), Box(w, "EdtSrcUrl")}) EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(w.pos(), QPoint(80, 80));
    EXPECT_EQ(w.size(), QSize(320, 444));
    EXPECT_FALSE(w.Modified());
}

TEST_F(FrmMainTest, ActionsCarryTheirCaptionsAndShortcuts) {
    TFrmMain& w = Open();
    EXPECT_EQ(Act(w, "ActOpenOpmlFile")->text(), "OPMLファイルを開く(&O)...");
    EXPECT_EQ(Act(w, "ActOpenOpmlFile")->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(Act(w, "ActAddOpmlFile")->shortcut(), QKeySequence("Ctrl+Shift+O"));
    EXPECT_EQ(Act(w, "ActSaveAsOpmlFile")->shortcut(), QKeySequence("Ctrl+Shift+S"));
    EXPECT_EQ(Act(w, "ActAddItem")->text(), "アイテムを追加(&I)");
    EXPECT_EQ(Act(w, "ActAddItemFromUrl")->shortcut(), QKeySequence("Ctrl+Shift+N"));
    EXPECT_EQ(Act(w, "ActDelete")->shortcut(), QKeySequence("Ctrl+D"));
    EXPECT_EQ(Act(w, "ActItemUp")->shortcut(), QKeySequence("Ctrl+Up"));
    EXPECT_EQ(Act(w, "ActCallAboutDlg")->text(), "Corvaneについて(&A)...");
    EXPECT_TRUE(w.findChild<QMenu*>("PmnTrvOpml")->actions().contains(Act(w, "ActCheckStatus")));
}

TEST_F(FrmMainTest, CommandLineMergesEveryExistingFileAndKeepsTheFirstAsDocument) {
    const QString first = WriteFile("first.opml", kTwoLevelOpml);
    const QString second = WriteFile("second.opml",
                                     "<?xml version=\"1.0\"?><opml version=\"1.0\"><body>"
                                     "<outline text=\"D\" type=\"rss\" xmlUrl=\"http://127.0.0.1/d\"/></body></opml>");
    TFrmMain& w = Open({first, dir_.filePath("missing.opml"), second});
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\nD\n");
    EXPECT_EQ(w.DocumentFileName(), first);
    EXPECT_EQ(Status(w)->text(), first);
    EXPECT_TRUE(w.Modified());
    EXPECT_TRUE(DocumentActions(w, true, true, true));
    EXPECT_EQ(Tree(w)->currentIndex(), Top(w, 0));
    EXPECT_TRUE(Tree(w)->isExpanded(Top(w, 0)));
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
    EXPECT_EQ(TopCount(w), 0);
    EXPECT_EQ(Status(w)->text(), "feeds.opml");
    EXPECT_TRUE(DocumentActions(w, false, false, false));
    EXPECT_TRUE(dialogs_.TakeShownMessages().isEmpty());
}

TEST_F(FrmMainTest, AddItemDoesNothingWhileTheTitleBoxHasTheFocus) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Box(w, "EdtRssTitle")->setFocus();
    QApplication::processEvents();
    Act(w, "ActAddItem")->trigger();
    EXPECT_FALSE(Find(w, "新規アイテム").isValid());
    FocusTree(w);
    Act(w, "ActAddItem")->trigger();
    QPersistentModelIndex added = Find(w, "新規アイテム");
    ASSERT_TRUE(added.isValid());
    EXPECT_EQ(Record(w, added)->xmlUrl, "http://");
    EXPECT_EQ(Record(w, added)->htmlUrl, "http://");
    EXPECT_EQ(w.focusWidget(), Box(w, "EdtRssTitle"));
    EXPECT_EQ(Box(w, "EdtRssTitle")->selectedText(), "新規アイテム");
}

TEST_F(FrmMainTest, NewNodesGoInsideASelectedFolderOrBesideASelectedItem) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "A"));
    FocusTree(w);
    Act(w, "ActAddItem")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\n  新規アイテム\nC\n");
    Select(w, Find(w, "Folder"));
    Act(w, "ActAddFolder")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\n  新規アイテム\n  新規フォルダ\nC\n");
    Select(w, Find(w, "C"));
    Act(w, "ActAddFolder")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\n  新規アイテム\n  新規フォルダ\nC\n新規フォルダ\n");
}

TEST_F(FrmMainTest, AddFolderIntoAnEmptyTreeEnablesSaveAsButNotSave) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "新規フォルダ\n");
    EXPECT_TRUE(DocumentActions(w, true, false, true));
    EXPECT_TRUE(w.Modified());
    EXPECT_TRUE(Box(w, "EdtRssTitle")->isEnabled());
    EXPECT_FALSE(Box(w, "EdtRssUrl")->isEnabled());
}

TEST_F(FrmMainTest, TypingInAFolderTitleRenamesItKeyByKey) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "Folder"));
    EXPECT_FALSE(w.Modified());  // filling the boxes changes nothing
    Box(w, "EdtRssTitle")->setFocus();
    Box(w, "EdtRssTitle")->end(false);
    QTest::keyClicks(Box(w, "EdtRssTitle"), "X");
    EXPECT_EQ(Text(Top(w, 0)).toStdString(), "FolderX");
    QTest::keyClicks(Box(w, "EdtRssTitle"), "Y");
    EXPECT_EQ(Text(Top(w, 0)).toStdString(), "FolderXY");
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, NodeBoxesEditTheSelectedItemsRecord) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QPersistentModelIndex c = Find(w, "C");
    Select(w, c);
    EXPECT_EQ(Box(w, "EdtRssUrl")->text(), "http://127.0.0.1/c.xml");
    EXPECT_TRUE(Act(w, "ActUpdateFromRss")->isEnabled());
    Box(w, "EdtRssDesc")->setText("changed");
    Box(w, "EdtSrcUrl")->setText("http://127.0.0.1/page");
    EXPECT_EQ(Record(w, c)->description, "changed");
    EXPECT_EQ(Record(w, c)->htmlUrl, "http://127.0.0.1/page");
    EXPECT_TRUE(w.Modified());
    Select(w, Find(w, "Folder"));
    EXPECT_FALSE(Box(w, "EdtRssUrl")->isEnabled());
    EXPECT_TRUE(Box(w, "EdtRssUrl")->text().isEmpty());
    EXPECT_FALSE(Act(w, "ActUpdateFromRss")->isEnabled());
    EXPECT_EQ(Record(w, c)->description, "changed");
}

TEST_F(FrmMainTest, DeleteAsksAndANoKeepsTheNode) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "C"));
    dialogs_.SetNextAnswer(QMessageBox::No);
    Act(w, "ActDelete")->trigger();
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"本当に \"C\" を削除しますか?"});
    EXPECT_TRUE(Find(w, "C").isValid());
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    Act(w, "ActDelete")->trigger();
    EXPECT_FALSE(Find(w, "C").isValid());
    EXPECT_FALSE(w.Modified());  // deleting alone never marks the document
}

TEST_F(FrmMainTest, DeletingTheLastNodeClearsTheBoxesAndTheModifiedFlag) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    ASSERT_TRUE(w.Modified());
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    Act(w, "ActDelete")->trigger();
    EXPECT_EQ(TopCount(w), 0);
    EXPECT_FALSE(w.Modified());
    EXPECT_FALSE(Act(w, "ActDelete")->isEnabled());
    EXPECT_FALSE(Box(w, "EdtRssTitle")->isEnabled());
    EXPECT_TRUE(Box(w, "EdtRssTitle")->text().isEmpty());
    EXPECT_TRUE(w.close());  // nothing to ask
    EXPECT_TRUE(dialogs_.TakeShownMessages().isEmpty() == false);
}

TEST_F(FrmMainTest, DeletingAFolderTakesItsWholeSubtree) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "Folder"));
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    Act(w, "ActDelete")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "C\n");
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
    QPersistentModelIndex node = Find(w, c.node);
    Select(w, node);
    (c.up ? Act(w, "ActItemUp") : Act(w, "ActItemDown"))->trigger();
    EXPECT_EQ(Shape(Tree(w)), c.expected);
    EXPECT_EQ(Tree(w)->currentIndex(), node);
    EXPECT_FALSE(w.Modified());
    if (node.parent().isValid()) {
        EXPECT_TRUE(Tree(w)->isExpanded(node.parent()));
    }
}

INSTANTIATE_TEST_SUITE_P(Tree, FrmMainMoves, ::testing::ValuesIn(kMoves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrmMainTest, MovingUpAndClosingAsksNothing) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "C"));
    Act(w, "ActItemUp")->trigger();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(dialogs_.TakeShownMessages().isEmpty());
}

QPoint LabelPoint(TFrmMain& w, QPersistentModelIndex node) {
    const QRect rect = Tree(w)->visualRect(node);
    return QPoint(rect.left() + 20, rect.center().y());
}

QPoint RightOfLabelPoint(TFrmMain& w, QPersistentModelIndex node) {
    const QRect rect = Tree(w)->visualRect(node);
    return QPoint(rect.right() - 2, rect.center().y());
}

TEST_F(FrmMainTest, DroppingOnAnItemPutsTheNodeBeforeIt) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "C"));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w, "B")));
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  C\n  B\n");
    EXPECT_FALSE(w.Modified());
}

TEST_F(FrmMainTest, DroppingOnAFolderMakesTheNodeItsFirstChild) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "C"));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w, "Folder")));
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  C\n  A\n  B\n");
}

TEST_F(FrmMainTest, DroppingRightOfALabelMovesTheNodeToTheEndOfTheTopLevel) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "A"));
    w.TrvOpmlDragDrop(RightOfLabelPoint(w, Find(w, "B")));
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  B\nC\nA\n");
}

TEST_F(FrmMainTest, DroppingAFolderOntoItsOwnChildChangesNothing) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "Folder"));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w, "A")));
    w.TrvOpmlDragDrop(LabelPoint(w, Find(w, "Folder")));
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\n");
}

TEST_F(FrmMainTest, DroppingBelowTheLastRowDoesNothing) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    Select(w, Find(w, "A"));
    w.TrvOpmlDragDrop(QPoint(5, Tree(w)->viewport()->height() - 2));
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\n");
}

TEST_F(FrmMainTest, FilesDroppedFromTheDesktopAreMergedAndMissingOnesSkipped) {
    TFrmMain& w = Open();
    const QString file = WriteFile("drop.opml", kTwoLevelOpml);
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(dir_.filePath("gone.opml")), QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree(w)->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree(w)->viewport(), &drop);
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\n");
    EXPECT_TRUE(DocumentActions(w, true, true, true));
    EXPECT_TRUE(w.Modified());
    EXPECT_EQ(w.DocumentFileName(), "feeds.opml");
    EXPECT_TRUE(dialogs_.TakeShownMessages().isEmpty());
    delete mime;
}

TEST_F(FrmMainTest, OpenReplacesTheDocumentAndClearsTheModifiedFlag) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    const QString file = WriteFile("open.opml", kTwoLevelOpml);
    dialogs_.SetNextFileName(file);
    Act(w, "ActOpenOpmlFile")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\n");
    EXPECT_FALSE(w.Modified());
    EXPECT_EQ(w.DocumentFileName(), file);
    EXPECT_EQ(Status(w)->text(), file);
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_TRUE(DocumentActions(w, true, true, true));
}

TEST_F(FrmMainTest, OpeningAFileThatIsNotOpmlSaysSoAndSwitchesDocumentActionsOff) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    dialogs_.SetNextFileName(WriteFile(
        "feed.xml",
        "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title></channel></rss>"));
    Act(w, "ActOpenOpmlFile")->trigger();
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"OPMLファイルではないようです。"});
    EXPECT_EQ(TopCount(w), 0);
    EXPECT_TRUE(DocumentActions(w, false, false, false));
}

TEST_F(FrmMainTest, AddFileAppendsAndKeepsTheDocumentNameAndHead) {
    const QString first = WriteFile("a.opml", kTwoLevelOpml);
    TFrmMain& w = Open({first});
    dialogs_.SetNextFileName(WriteFile(
        "b.opml",
        "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Other</title></head><body>"
        "<outline text=\"Z\" type=\"rss\" xmlUrl=\"http://127.0.0.1/z\"/></body></opml>"));
    Act(w, "ActAddOpmlFile")->trigger();
    EXPECT_EQ(Shape(Tree(w)), "Folder\n  A\n  B\nC\nZ\n");
    EXPECT_EQ(w.DocumentFileName(), first);
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, SaveWritesTheOpenedFileAndClearsTheModifiedFlag) {
    const QString file = WriteFile("a.opml", kTwoLevelOpml);
    TFrmMain& w = Open({file});
    Select(w, Find(w, "C"));
    Box(w, "EdtRssTitle")->setText("Renamed & more");
    Act(w, "ActSaveOpmlFile")->trigger();
    EXPECT_FALSE(w.Modified());
    const QByteArray saved = ReadFile(file);
    EXPECT_TRUE(saved.contains("<outline text=\"Renamed &amp; more\" type=\"rss\" xmlUrl=\"http://127.0.0.1/c.xml\""));
    EXPECT_TRUE(saved.contains("\t\t<title>Mine</title>\r\n"));
}

TEST_F(FrmMainTest, SaveAsWritesTheChosenPathButLaterSavesGoToTheOpenedFile) {
    const QString file = WriteFile("a.opml", kTwoLevelOpml);
    TFrmMain& w = Open({file});
    const QString copy = dir_.filePath("copy.opml");
    dialogs_.SetNextFileName(copy);
    Act(w, "ActSaveAsOpmlFile")->trigger();
    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_EQ(Status(w)->text(), copy);
    EXPECT_EQ(w.DocumentFileName(), file);
}

TEST_F(FrmMainTest, AFailedSaveReportsAndKeepsTheModifiedFlag) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    dialogs_.SetNextFileName(dir_.filePath("no/such/dir/x.opml"));
    Act(w, "ActSaveAsOpmlFile")->trigger();
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"ファイルの保存に失敗しました。"});
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, ClosePromptCancelKeepsTheWindowAndNoClosesWithoutSaving) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    dialogs_.SetNextAnswer(QMessageBox::Cancel);
    EXPECT_FALSE(w.close());
    EXPECT_EQ(dialogs_.TakeShownMessages(), QStringList{"更新されています。保存しますか?"});
    dialogs_.SetNextAnswer(QMessageBox::No);
    EXPECT_TRUE(w.close());
}

TEST_F(FrmMainTest, ClosePromptYesWithCancelledSaveDialogKeepsTheWindow) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    dialogs_.SetNextFileName(QString());
    EXPECT_FALSE(w.close());
    const QString target = dir_.filePath("closing.opml");
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    dialogs_.SetNextFileName(target);
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(ReadFile(target).contains("<outline text=\"新規フォルダ\">"));
}

TEST_F(FrmMainTest, ClosePromptYesWithAFailedWriteKeepsTheWindow) {
    TFrmMain& w = Open();
    Act(w, "ActAddFolder")->trigger();
    dialogs_.SetNextAnswer(QMessageBox::Yes);
    dialogs_.SetNextFileName(dir_.filePath("missing-dir/x.opml"));
    EXPECT_FALSE(w.close());
}

TEST_F(FrmMainTest, AboutBoxNamesTheProgramAndVersion) {
    TFrmMain& w = Open();
    Act(w, "ActCallAboutDlg")->trigger();
    EXPECT_EQ(
        dialogs_.TakeShownMessages(),
        QStringList{"Corvane 1.1.3\nRSSのリストが格納されているOPMLファイルのエディタです。"});
}

TEST_F(FrmMainTest, CancellingPropertiesRestoresTheTitleAndOkMarksModified) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    dialogs_.SetNextDialogHandler([](QDialog* d) {
        static_cast<TFrmOpmlProperty*>(d)->EdtTitle->setText("Edited");
        return int(QDialog::Rejected);
    });
    Act(w, "ActOpmlProperty")->trigger();
    EXPECT_EQ(w.DocumentHead().title, "Mine");
    EXPECT_FALSE(w.Modified());
    dialogs_.SetNextDialogHandler([](QDialog*) { return int(QDialog::Accepted); });
    Act(w, "ActOpmlProperty")->trigger();
    EXPECT_TRUE(w.Modified());
}

TEST_F(FrmMainTest, UncheckedDeleteConfirmationStaysOffAfterARestart) {
    {
        TFrmMain& w = Open();
        dialogs_.SetNextDialogHandler([](QDialog* d) {
            static_cast<TFrmOption*>(d)->ckbConfirmOnDelete->setChecked(false);
            return int(QDialog::Accepted);
        });
        Act(w, "ActCallOptionDlg")->trigger();
        EXPECT_FALSE(w.Settings().confirmOnDelete);
        w.move(120, 130);
        window_.reset();
    }
    TFrmMain& w = Open();
    EXPECT_FALSE(w.Settings().confirmOnDelete);
    EXPECT_EQ(w.pos(), QPoint(120, 130));
    Act(w, "ActAddFolder")->trigger();
    Act(w, "ActDelete")->trigger();
    EXPECT_EQ(TopCount(w), 0);
    EXPECT_TRUE(dialogs_.TakeShownMessages().isEmpty());
}

TEST_F(FrmMainTest, CancelledOptionsChangeNothing) {
    TFrmMain& w = Open();
    dialogs_.SetNextDialogHandler([](QDialog* d) {
        auto* option = static_cast<TFrmOption*>(d);
        option->ckbConfirmOnClose->setChecked(false);
        option->edtApiKey->setText("abc");
        return int(QDialog::Rejected);
    });
    Act(w, "ActCallOptionDlg")->trigger();
    EXPECT_TRUE(w.Settings().confirmOnClose);
    EXPECT_TRUE(w.Settings().apiKey.empty());
}

TEST_F(FrmMainTest, SelectedNodesShowTheSelectedImage) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QPersistentModelIndex c = Find(w, "C");
    Select(w, c);
    // The view draws a selected row's icon in the selected mode.
    auto image = [](const QModelIndex& node, QIcon::Mode mode) {
        return qvariant_cast<QIcon>(node.data(Qt::DecorationRole)).pixmap(QSize(16, 16), mode).toImage();
    };
    EXPECT_EQ(image(c, QIcon::Selected), TreeImage(kImageFeedItemSelected).toImage());
    EXPECT_EQ(image(c, QIcon::Normal), TreeImage(kImageFeedItem).toImage());
    QPersistentModelIndex folder = Find(w, "Folder");
    Select(w, folder);
    EXPECT_FALSE(IsSelected(w, c));
    EXPECT_TRUE(IsSelected(w, folder));
    EXPECT_EQ(image(folder, QIcon::Selected), TreeImage(kImageFolderSelected).toImage());
    EXPECT_EQ(image(folder, QIcon::Normal), TreeImage(kImageFolder).toImage());
}

}  // namespace

namespace {

TEST_F(FrmMainTest, ShortcutsReachTheirCommandsFromTheTree) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QPersistentModelIndex c = Find(w, "C");
    Tree(w)->setCurrentIndex(c);
    w.FlushSelectionChange();
    Tree(w)->setFocus();
    QTest::keyClick(Tree(w), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Shape(Tree(w)), "C\nFolder\n  A\n  B\n");
    QTest::keyClick(Tree(w), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Shape(Tree(w)), "C\nFolder\n  A\n  B\n新規アイテム\n");
    // The title box now has the focus: Ctrl+N adds nothing more.
    QTest::keyClick(Box(w, "EdtRssTitle"), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(TopCount(w), 3);
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
    EXPECT_EQ(TopCount(w), 2);
}

TEST_F(FrmMainTest, ClickBelowTheLastRowKeepsTheSelection) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QPersistentModelIndex c = Find(w, "C");
    Tree(w)->setCurrentIndex(c);
    w.FlushSelectionChange();
    QTest::mouseClick(Tree(w)->viewport(), Qt::LeftButton, {}, QPoint(5, Tree(w)->viewport()->height() - 3));
    EXPECT_TRUE(IsSelected(w, c));
    Box(w, "EdtRssDesc")->setText("still attached");
    EXPECT_EQ(Record(w, c)->description, "still attached");
}

}  // namespace
