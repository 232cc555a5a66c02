#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "UnitFrmAddItemFromUrl.h"
#include "UnitFrmAppointOpmlUrl.h"
#include "UnitFrmOpmlProperty.h"
#include "UnitFrmOption.h"
#include "UnitFrmSearchBulkfeeds.h"

namespace {

// Runs body once the dialog is up and showing, inside its own exec().
int ExecWith(QDialog* dialog, std::function<void(QDialog*)> body) {
    QTimer::singleShot(0, dialog, [dialog, body] {
        QApplication::processEvents();
        body(dialog);
    });
    return dialog->exec();
}

TEST_F(FrmMainTest, DialogsAreCreatedOnceWithTheirCaptions) {
    TFrmMain& w = Open();
    EXPECT_EQ(w.FrmOption->windowTitle().toStdString(), "オプション");
    EXPECT_EQ(w.FrmOpmlProperty->windowTitle().toStdString(), "OPMLファイルのプロパティ");
    EXPECT_EQ(w.FrmAddItemFromUrl->windowTitle().toStdString(), "URLから項目を追加...");
    EXPECT_EQ(w.FrmAppointOpmlUrl->EdtOpmlUrl->text().toStdString(), "http://");
    EXPECT_EQ(w.FrmAddItemFromUrl->EdtUrl->text().toStdString(), "http://");
    EXPECT_TRUE(w.FrmSearchBulkfeeds->EdtSearchString->text().isEmpty());
    const QComboBox* type = w.FrmSearchBulkfeeds->CbxSearchType;
    ASSERT_EQ(type->count(), 3);
    EXPECT_EQ(type->itemText(2).toStdString(), "URL");
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_FALSE(type->isEditable());
    EXPECT_TRUE(w.FrmOpmlProperty->EdtDateCreated->isReadOnly());
    EXPECT_TRUE(w.FrmOpmlProperty->EdtDateModified->isReadOnly());
    EXPECT_FALSE(w.FrmOpmlProperty->EdtTitle->isReadOnly());
}

TEST_F(FrmMainTest, UrlDialogFocusesItsBoxWithTheTextSelectedAndKeepsWhatWasTyped) {
    TFrmMain& w = Open();
    QString selected;
    const int result = ExecWith(w.FrmAppointOpmlUrl, [&](QDialog* d) {
        auto* f = static_cast<TFrmAppointOpmlUrl*>(d);
        selected = f->EdtOpmlUrl->selectedText();
        EXPECT_EQ(QApplication::focusWidget(), f->EdtOpmlUrl);
        QTest::keyClicks(f->EdtOpmlUrl, "http://127.0.0.1/x.opml");
        QTest::keyClick(f->EdtOpmlUrl, Qt::Key_Return);  // the default button
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(selected.toStdString(), "http://");
    EXPECT_EQ(w.FrmAppointOpmlUrl->EdtOpmlUrl->text().toStdString(), "http://127.0.0.1/x.opml");
}

TEST_F(FrmMainTest, EscapeClosesEachInputDialogWithoutOk) {
    TFrmMain& w = Open();
    for (QDialog* dialog : std::initializer_list<QDialog*>{w.FrmAppointOpmlUrl, w.FrmAddItemFromUrl,
                                                           w.FrmSearchBulkfeeds, w.FrmOpmlProperty, w.FrmOption}) {
        const int result = ExecWith(dialog, [](QDialog* d) { QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Escape); });
        EXPECT_EQ(result, QDialog::Rejected) << dialog->objectName().toStdString();
    }
}

TEST_F(FrmMainTest, PropertiesFocusTheTitleWithItsTextSelected) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QString selected;
    DialogHooks::SetNextDialogHandler([&](QDialog* d) {
        return ExecWith(d, [&](QDialog* shown) {
            selected = static_cast<TFrmOpmlProperty*>(shown)->EdtTitle->selectedText();
            shown->reject();
        });
    });
    w.ActOpmlProperty->trigger();
    EXPECT_EQ(selected.toStdString(), "Mine");
}

TEST_F(FrmMainTest, DialogOfAWindowPartlyOffTheLeftEdgeIsPlacedAtLeftZero) {
    TFrmMain& w = Open();
    w.move(-200, 100);
    QApplication::processEvents();
    QPoint placed;
    ExecWith(w.FrmAddItemFromUrl, [&](QDialog* d) {
        placed = d->frameGeometry().topLeft();
        d->reject();
    });
    EXPECT_EQ(placed.x(), 0);
    const QRect main = w.frameGeometry();
    const QSize size = w.FrmAddItemFromUrl->frameGeometry().size();
    EXPECT_EQ(placed.y(), main.top() + (main.height() - size.height()) / 2);
}

TEST_F(FrmMainTest, OptionsOpenOnTheLastShownPage) {
    TFrmMain& w = Open();
    EXPECT_EQ(w.FrmOption->PageControl->currentWidget(), w.FrmOption->tbsConfirm);
    w.FrmOption->ShowBulkfeedsPage();
    ExecWith(w.FrmOption, [](QDialog* d) { d->reject(); });
    EXPECT_EQ(w.FrmOption->PageControl->currentWidget(), w.FrmOption->tbsBulkfeeds);
}

TEST_F(FrmMainTest, OptionsOkStoresTheSwitchesAndTheKey) {
    TFrmMain& w = Open();
    DialogHooks::SetNextDialogHandler([](QDialog* d) {
        return ExecWith(d, [](QDialog* shown) {
            auto* f = static_cast<TFrmOption*>(shown);
            EXPECT_TRUE(f->ckbConfirmOnUpdateFromRss->isChecked());
            f->ckbConfirmOnUpdateFromRss->setChecked(false);
            f->edtApiKey->setText("secret");
            f->findChild<QPushButton*>("BtnOk")->click();
        });
    });
    w.ActCallOptionDlg->trigger();
    EXPECT_FALSE(w.Settings().confirmOnUpdateFromRss);
    EXPECT_EQ(w.Settings().apiKey, "secret");
    window_.reset();  // settings reach the file when the window goes
    EXPECT_EQ(LoadSettings().apiKey, "secret");
    EXPECT_FALSE(LoadSettings().confirmOnUpdateFromRss);
}

TEST_F(FrmMainTest, RegistrationLinkOpensTheConfiguredHostsPage) {
    CorvaneSettings settings;
    settings.bulkfeedsHost = "127.0.0.1:8080";
    SaveSettings(settings);
    TFrmMain& w = Open();
    EXPECT_EQ(w.FrmOption->RegistrationUrl().toStdString(), "http://127.0.0.1:8080/app/register_api.html");
    QSignalSpy opened(w.FrmOption, &TFrmOption::RegistrationLinkOpened);
    emit w.FrmOption->lblInfo2->linkActivated(w.FrmOption->RegistrationUrl());
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.front().front().toString().toStdString(), "http://127.0.0.1:8080/app/register_api.html");
    EXPECT_TRUE(w.FrmOption->lblInfo2->text().contains("<a href="));
}

TEST_F(FrmMainTest, MainWindowCannotShrinkBelowItsMinimumClientArea) {
    TFrmMain& w = Open();
    w.resize(10, 10);
    QApplication::processEvents();
    EXPECT_GE(w.width(), 232);
    EXPECT_GE(w.height(), 270);
}

}  // namespace
