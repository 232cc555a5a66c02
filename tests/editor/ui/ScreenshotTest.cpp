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
    QPersistentModelIndex item = Find(w, "ITmedia NEWS");
    Tree(w)->setCurrentIndex(item);
    w.FlushSelectionChange();
    Tree(w)->setFocus();
    Save(&w, "editor-main.png");

    Form<TFrmOption>(w)->ckbConfirmOnClose->setChecked(true);
    Form<TFrmOption>(w)->ckbConfirmOnUpdateFromRss->setChecked(true);
    Form<TFrmOption>(w)->ckbConfirmOnDelete->setChecked(true);
    Save(Form<TFrmOption>(w), "editor-options.png");
    Form<TFrmOption>(w)->hide();
    Form<TFrmOption>(w)->ShowBulkfeedsPage();
    Form<TFrmOption>(w)->edtApiKey->setText("0123456789abcdef");
    Save(Form<TFrmOption>(w), "editor-options-bulkfeeds.png");
    Form<TFrmOption>(w)->hide();

    Save(Form<TFrmOpmlProperty>(w), "editor-properties.png");
    Form<TFrmOpmlProperty>(w)->hide();
    Form<TFrmAppointOpmlUrl>(w)->setWindowTitle("URLからOPMLファイルを開く...");
    Save(Form<TFrmAppointOpmlUrl>(w), "editor-open-url.png");
    Form<TFrmAppointOpmlUrl>(w)->hide();
    Save(Form<TFrmAddItemFromUrl>(w), "editor-add-item-from-url.png");
    Form<TFrmAddItemFromUrl>(w)->hide();
    Form<TFrmSearchBulkfeeds>(w)->setWindowTitle("Bulkfeedsの検索結果を開く...");
    Form<TFrmSearchBulkfeeds>(w)->EdtSearchString->setText("ニュース");
    Save(Form<TFrmSearchBulkfeeds>(w), "editor-search.png");
    Form<TFrmSearchBulkfeeds>(w)->hide();
}

}  // namespace
