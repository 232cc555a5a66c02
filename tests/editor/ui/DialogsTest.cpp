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
    EXPECT_EQ(Form<TFrmOption>(w)->windowTitle().toStdString(), "オプション");
    EXPECT_EQ(Form<TFrmOpmlProperty>(w)->windowTitle().toStdString(), "OPMLファイルのプロパティ");
    EXPECT_EQ(Form<TFrmAddItemFromUrl>(w)->windowTitle().toStdString(), "URLから項目を追加...");
    EXPECT_EQ(Form<TFrmAppointOpmlUrl>(w)->EdtOpmlUrl->text().toStdString(), "http://");
    EXPECT_EQ(Form<TFrmAddItemFromUrl>(w)->EdtUrl->text().toStdString(), "http://");
    EXPECT_TRUE(Form<TFrmSearchBulkfeeds>(w)->EdtSearchString->text().isEmpty());
    const QComboBox* type = Form<TFrmSearchBulkfeeds>(w)->CbxSearchType;
    ASSERT_EQ(type->count(), 3);
    EXPECT_EQ(type->itemText(2).toStdString(), "URL");
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_FALSE(type->isEditable());
    EXPECT_TRUE(Form<TFrmOpmlProperty>(w)->EdtDateCreated->isReadOnly());
    EXPECT_TRUE(Form<TFrmOpmlProperty>(w)->EdtDateModified->isReadOnly());
    EXPECT_FALSE(Form<TFrmOpmlProperty>(w)->EdtTitle->isReadOnly());
}

TEST_F(FrmMainTest, UrlDialogFocusesItsBoxWithTheTextSelectedAndKeepsWhatWasTyped) {
    TFrmMain& w = Open();
    QString selected;
    const int result = ExecWith(Form<TFrmAppointOpmlUrl>(w), [&](QDialog* d) {
        auto* f = static_cast<TFrmAppointOpmlUrl*>(d);
        selected = f->EdtOpmlUrl->selectedText();
        EXPECT_EQ(QApplication::focusWidget(), f->EdtOpmlUrl);
        QTest::keyClicks(f->EdtOpmlUrl, "http://127.0.0.1/x.opml");
        QTest::keyClick(f->EdtOpmlUrl, Qt::Key_Return);  // the default button
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(selected.toStdString(), "http://");
    EXPECT_EQ(Form<TFrmAppointOpmlUrl>(w)->EdtOpmlUrl->text().toStdString(), "http://127.0.0.1/x.opml");
}

TEST_F(FrmMainTest, EscapeClosesEachInputDialogWithoutOk) {
    TFrmMain& w = Open();
    for (QDialog* dialog : std::initializer_list<QDialog*>{Form<TFrmAppointOpmlUrl>(w), Form<TFrmAddItemFromUrl>(w),
                                                           Form<TFrmSearchBulkfeeds>(w), Form<TFrmOpmlProperty>(w), Form<TFrmOption>(w)}) {
        const int result = ExecWith(dialog, [](QDialog* d) { QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Escape); });
        EXPECT_EQ(result, QDialog::Rejected) << dialog->objectName().toStdString();
    }
}

TEST_F(FrmMainTest, PropertiesFocusTheTitleWithItsTextSelected) {
    TFrmMain& w = Open({WriteFile("a.opml", kTwoLevelOpml)});
    QString selected;
    dialogs_.SetNextDialogHandler([&](QDialog* d) {
        return ExecWith(d, [&](QDialog* shown) {
            selected = static_cast<TFrmOpmlProperty*>(shown)->EdtTitle->selectedText();
            shown->reject();
        });
    });
    Act(w, "ActOpmlProperty")->trigger();
    EXPECT_EQ(selected.toStdString(), "Mine");
}

TEST_F(FrmMainTest, DialogOfAWindowPartlyOffTheLeftEdgeIsPlacedAtLeftZero) {
    TFrmMain& w = Open();
    w.move(-200, 100);
    QApplication::processEvents();
    QPoint placed;
    ExecWith(Form<TFrmAddItemFromUrl>(w), [&](QDialog* d) {
        placed = d->frameGeometry().topLeft();
        d->reject();
    });
    EXPECT_EQ(placed.x(), 0);
    const QRect main = w.frameGeometry();
    const QSize size = Form<TFrmAddItemFromUrl>(w)->frameGeometry().size();
    EXPECT_EQ(placed.y(), main.top() + (main.height() - size.height()) / 2);
}

TEST_F(FrmMainTest, OptionsOpenOnTheLastShownPage) {
    TFrmMain& w = Open();
    EXPECT_EQ(Form<TFrmOption>(w)->PageControl->currentWidget(), Form<TFrmOption>(w)->tbsConfirm);
    Form<TFrmOption>(w)->ShowBulkfeedsPage();
    ExecWith(Form<TFrmOption>(w), [](QDialog* d) { d->reject(); });
    EXPECT_EQ(Form<TFrmOption>(w)->PageControl->currentWidget(), Form<TFrmOption>(w)->tbsBulkfeeds);
}

TEST_F(FrmMainTest, OptionsOkStoresTheSwitchesAndTheKey) {
    TFrmMain& w = Open();
    dialogs_.SetNextDialogHandler([](QDialog* d) {
        return ExecWith(d, [](QDialog* shown) {
            auto* f = static_cast<TFrmOption*>(shown);
            EXPECT_TRUE(f->ckbConfirmOnUpdateFromRss->isChecked());
            f->ckbConfirmOnUpdateFromRss->setChecked(false);
            f->edtApiKey->setText("secret");
            f->findChild<QPushButton*>("BtnOk")->click();
        });
    });
    Act(w, "ActCallOptionDlg")->trigger();
    EXPECT_FALSE(w.Settings().confirmOnUpdateFromRss);
    EXPECT_EQ(w.Settings().apiKey, "secret");
    window_.reset();  // settings reach the file when the window goes
    EXPECT_EQ(LoadSettings(SettingsFile()).apiKey, "secret");
    EXPECT_FALSE(LoadSettings(SettingsFile()).confirmOnUpdateFromRss);
}

TEST_F(FrmMainTest, RegistrationLinkOpensTheConfiguredHostsPage) {
    CorvaneSettings settings;
    settings.bulkfeedsHost = "127.0.0.1:8080";
    SaveSettings(settings, SettingsFile());
    TFrmMain& w = Open();
    EXPECT_EQ(Form<TFrmOption>(w)->RegistrationUrl().toStdString(), "http://127.0.0.1:8080/app/register_api.html");
    QSignalSpy opened(Form<TFrmOption>(w), &TFrmOption::RegistrationLinkOpened);
    emit Form<TFrmOption>(w)->lblInfo2->linkActivated(Form<TFrmOption>(w)->RegistrationUrl());
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.front().front().toString().toStdString(), "http://127.0.0.1:8080/app/register_api.html");
    EXPECT_TRUE(Form<TFrmOption>(w)->lblInfo2->text().contains("<a href="));
}

TEST_F(FrmMainTest, MainWindowCannotShrinkBelowItsMinimumClientArea) {
    TFrmMain& w = Open();
    w.resize(10, 10);
    QApplication::processEvents();
    EXPECT_GE(w.width(), 232);
    EXPECT_GE(w.height(), 270);
}

}  // namespace
