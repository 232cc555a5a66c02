#include "AboutBox.h"

#include "MainObject.h"
#include "TrayIcon.h"
#include "TrayTestSupport.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Stands for the desktop's browser.
class BrowserStub : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

std::string LabelText(QWidget& box, const char* name) {
    auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text().toStdString() : "(missing)";
}

TEST(AboutBox, ShowsTitleVersionCreditAddressAndIcon) {
    TestApp();
    AboutBox box;
    EXPECT_EQ(box.windowTitle().toStdString(), "バージョン情報");
    EXPECT_EQ(LabelText(box, "AboutVersion"), "Quillo Ver 1.3.0");
    EXPECT_EQ(LabelText(box, "AboutCredit"), AboutBox::kCredit);
    EXPECT_EQ(LabelText(box, "AboutUrl"), std::string("URL  ") + AboutBox::kHomePage);
    auto* icon = box.findChild<QLabel*>(QStringLiteral("AboutIcon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
}

TEST(AboutBox, HasOkAsDefaultAndTheHomePageButton) {
    TestApp();
    AboutBox box;
    EXPECT_EQ(box.OkButton().text().toStdString(), "OK");
    EXPECT_TRUE(box.OkButton().isDefault());
    EXPECT_EQ(box.HomePageButton().text().toStdString(), "ホームページを開く");
    EXPECT_FALSE(box.HomePageButton().isDefault());
    EXPECT_EQ(box.findChildren<QPushButton*>().size(), 2);
}

TEST(AboutBox, HomePageButtonOpensTheAddressAndLeavesTheBoxOpenUntilOk) {
    TestApp();
    BrowserStub browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "Open");
    TestGateway gateway;
    MainObject main(gateway.context, {});
    bool stillOpen = false;
    bool wasModal = false;
    WhenModalBoxOpens([&](QWidget* box) {
        auto* about = qobject_cast<AboutBox*>(box);
        ASSERT_NE(about, nullptr);
        wasModal = about->isModal();
        about->HomePageButton().click();
        QApplication::processEvents();
        stillOpen = about->isVisible() && main.OpenAboutBox() == about;
        about->OkButton().click();
    });
    main.OnCommand(kCommandAbout);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0].toString().toStdString(), AboutBox::kHomePage);
    EXPECT_EQ(main.OpenAboutBox(), nullptr);
}

TEST(AboutBox, EnterPressesOk) {
    TestApp();
    TestGateway gateway;
    MainObject main(gateway.context, {});
    bool accepted = false;
    WhenModalBoxOpens([&](QWidget* box) {
        auto* about = qobject_cast<AboutBox*>(box);
        ASSERT_NE(about, nullptr);
        QObject::connect(about, &QDialog::accepted, [&] { accepted = true; });
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(about, &enter);
        if (about->isVisible()) about->reject();
    });
    main.OnCommand(kCommandAbout);
    EXPECT_TRUE(accepted);
}

TEST(AboutBox, ExitCommandWhileTheBoxIsOpenClosesBoth) {
    TestApp();
    int stops = 0;
    TestGateway gateway;
    MainObject main(gateway.context, [&] { ++stops; });
    WhenModalBoxOpens([&](QWidget*) { main.OnCommand(kCommandExit); });
    main.OnCommand(kCommandAbout);
    EXPECT_EQ(main.OpenAboutBox(), nullptr);
    EXPECT_TRUE(main.IsClosed());
    EXPECT_EQ(stops, 1);
    ForgetApplicationExit();
}

}  // namespace

#include "AboutBoxTest.moc"
