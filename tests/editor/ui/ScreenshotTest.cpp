// Pictures of the window and dialogs for the documentation. Runs only when
// CORVANE_SCREENSHOT_DIR names a folder, under a real display (Xvfb):
//   CORVANE_SCREENSHOT_DIR=docs QT_QPA_PLATFORM=xcb xvfb-run -a corvane_ui_window_test --gtest_filter='Screenshot*'
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "UnitFrmAddItemFromUrl.h"
#include "UnitFrmAppointOpmlUrl.h"
#include "UnitFrmOpmlProperty.h"
#include "UnitFrmOption.h"
#include "UnitFrmSearchBulkfeeds.h"

namespace {

const QByteArray kSampleList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<opml version=\"1.0\"><head><title>わたしのフィード</title><ownerName>山田太郎</ownerName>"
    "<ownerEmail>taro@example.jp</ownerEmail><dateCreated>Mon, 7 Dec 2026 03:05:09 GMT</dateCreated>"
    "<dateModified>Tue, 8 Dec 2026 01:00:00 GMT</dateModified></head><body>\n"
    "<outline text=\"ニュース\">\n"
    "<outline text=\"NHKニュース\" type=\"rss\" xmlUrl=\"https://www.nhk.or.jp/rss/news/cat0.xml\" description=\"NHKの主要ニュース\" htmlUrl=\"https://www.nhk.or.jp/news/\"/>\n"
    "<outline text=\"ITmedia NEWS\" type=\"rss\" xmlUrl=\"https://rss.itmedia.co.jp/rss/2.0/news_bursts.xml\" description=\"IT関連の速報\" htmlUrl=\"https://www.itmedia.co.jp/news/\"/>\n"
    "</outline>\n"
    "<outline text=\"技術\">\n"
    "<outline text=\"Debian News\" type=\"rss\" xmlUrl=\"https://www.debian.org/News/news\" description=\"Debian project news\" htmlUrl=\"https://www.debian.org/News/\"/>\n"
    "<outline text=\"ブログ\"><outline text=\"開発日記\" type=\"rss\" xmlUrl=\"http://example.jp/diary/index.rdf\" description=\"毎日の開発メモ\" htmlUrl=\"http://example.jp/diary/\"/></outline>\n"
    "</outline>\n"
    "<outline text=\"Planet Debian\" type=\"rss\" xmlUrl=\"https://planet.debian.org/rss20.xml\" description=\"\" htmlUrl=\"https://planet.debian.org/\"/>\n"
    "</body></opml>\n";

class Screenshot : public FrmMainTest {
protected:
    void SetUp() override {
        FrmMainTest::SetUp();
        outDir_ = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
        if (outDir_.isEmpty()) GTEST_SKIP() << "CORVANE_SCREENSHOT_DIR is not set";
    }
    void Save(QWidget* widget, const QString& name) {
        widget->show();
        widget->raise();
        for (int i = 0; i < 10; ++i) {
            QApplication::processEvents();
            QTest::qWait(20);
        }
        EXPECT_TRUE(widget->grab().save(outDir_ + "/" + name));
    }
    QString outDir_;
};

TEST_F(Screenshot, MainWindowAndDialogs) {
    TFrmMain& w = Open({WriteFile("feedlist.xml", kSampleList)});
    w.resize(360, 460);
    QTreeWidgetItem* item = w.TrvOpml->findItems("ITmedia NEWS", Qt::MatchExactly | Qt::MatchRecursive).front();
    w.TrvOpml->setCurrentItem(item);
    item->setSelected(true);
    w.FlushSelectionChange();
    w.TrvOpml->setFocus();
    Save(&w, "editor-main.png");

    w.FrmOption->ckbConfirmOnClose->setChecked(true);
    w.FrmOption->ckbConfirmOnUpdateFromRss->setChecked(true);
    w.FrmOption->ckbConfirmOnDelete->setChecked(true);
    Save(w.FrmOption, "editor-options.png");
    w.FrmOption->hide();
    w.FrmOption->ShowBulkfeedsPage();
    w.FrmOption->edtApiKey->setText("0123456789abcdef");
    Save(w.FrmOption, "editor-options-bulkfeeds.png");
    w.FrmOption->hide();

    Save(w.FrmOpmlProperty, "editor-properties.png");
    w.FrmOpmlProperty->hide();
    w.FrmAppointOpmlUrl->setWindowTitle("URLからOPMLファイルを開く...");
    Save(w.FrmAppointOpmlUrl, "editor-open-url.png");
    w.FrmAppointOpmlUrl->hide();
    Save(w.FrmAddItemFromUrl, "editor-add-item-from-url.png");
    w.FrmAddItemFromUrl->hide();
    w.FrmSearchBulkfeeds->setWindowTitle("Bulkfeedsの検索結果を開く...");
    w.FrmSearchBulkfeeds->EdtSearchString->setText("ニュース");
    Save(w.FrmSearchBulkfeeds, "editor-search.png");
    w.FrmSearchBulkfeeds->hide();
}

}  // namespace
