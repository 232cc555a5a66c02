#include "AboutBox.h"

#include "TrayIcon.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowIcon(QuilloIcon());
    // A caption with a close box, no help or resize buttons.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("AboutIcon"));
    icon->setPixmap(QuilloIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* version = new QLabel(QString::fromUtf8(kVersion), this);
    version->setObjectName(QStringLiteral("AboutVersion"));
    auto* credit = new QLabel(QString::fromUtf8(kCredit), this);
    credit->setObjectName(QStringLiteral("AboutCredit"));
    auto* url = new QLabel(QStringLiteral("URL  ") + QString::fromUtf8(kHomePage), this);
    url->setObjectName(QStringLiteral("AboutUrl"));
    url->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("AboutOk"));
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    homePage_ = new QPushButton(QString::fromUtf8(kOpenHomePage), this);
    homePage_->setObjectName(QStringLiteral("AboutOpenHomePage"));
    // Enter presses OK, never the home-page button.
    homePage_->setAutoDefault(false);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(14);
    layout->addWidget(icon, 0, 0, 4, 1);
    layout->addWidget(version, 0, 1);
    layout->addWidget(credit, 1, 1);
    layout->addWidget(url, 2, 1);
    layout->addWidget(homePage_, 3, 1, Qt::AlignLeft);
    layout->addWidget(ok_, 0, 2, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(homePage_, &QPushButton::clicked, this, [] {
        // A missing browser is not reported; the box stays open either way.
        QDesktopServices::openUrl(QUrl(QString::fromUtf8(kHomePage)));
    });
}
