#include "UnitFrmOption.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "UnitFrmDialogs.h"

TFrmOption::TFrmOption(QWidget* mainWindow, const DialogHooks& dialogs)
    : TFrmBase(mainWindow), dialogs_(dialogs) {
    setObjectName("FrmOption");
    setWindowTitle(QStringLiteral("オプション"));

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");

    tbsConfirm = new QWidget;
    tbsConfirm->setObjectName("tbsConfirm");
    ckbConfirmOnClose = new QCheckBox(QStringLiteral("更新されていた場合、終了時に保存するかどうか確認する"), tbsConfirm);
    ckbConfirmOnClose->setObjectName("ckbConfirmOnClose");
    ckbConfirmOnUpdateFromRss = new QCheckBox(QStringLiteral("アイテムをRSSから更新する時に確認する"), tbsConfirm);
    ckbConfirmOnUpdateFromRss->setObjectName("ckbConfirmOnUpdateFromRss");
    ckbConfirmOnDelete = new QCheckBox(QStringLiteral("アイテム・フォルダを削除する時に確認する"), tbsConfirm);
    ckbConfirmOnDelete->setObjectName("ckbConfirmOnDelete");
    auto* confirmLayout = new QVBoxLayout(tbsConfirm);
    confirmLayout->addWidget(ckbConfirmOnClose);
    confirmLayout->addWidget(ckbConfirmOnUpdateFromRss);
    confirmLayout->addWidget(ckbConfirmOnDelete);
    confirmLayout->addStretch(1);
    PageControl->addTab(tbsConfirm, QStringLiteral("確認"));

    tbsBulkfeeds = new QWidget;
    tbsBulkfeeds->setObjectName("tbsBulkfeeds");
    auto* keyLabel = new QLabel(QStringLiteral("API Key:"), tbsBulkfeeds);
    edtApiKey = new QLineEdit(tbsBulkfeeds);
    edtApiKey->setObjectName("edtApiKey");
    keyLabel->setBuddy(edtApiKey);
    auto* info1 = new QLabel(QStringLiteral("BulkfeedsのAPI Keyの取得は以下のURLで行うことが出来ます。"), tbsBulkfeeds);
    info1->setWordWrap(true);
    lblInfo2 = new QLabel(tbsBulkfeeds);
    lblInfo2->setObjectName("lblInfo2");
    lblInfo2->setCursor(Qt::PointingHandCursor);
    lblInfo2->setTextFormat(Qt::RichText);
    lblInfo2->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(lblInfo2, &QLabel::linkActivated, this, [this](const QString&) { lblInfo2Click(); });
    auto* bulkLayout = new QVBoxLayout(tbsBulkfeeds);
    bulkLayout->addWidget(keyLabel);
    bulkLayout->addWidget(edtApiKey);
    bulkLayout->addWidget(info1);
    bulkLayout->addWidget(lblInfo2);
    bulkLayout->addStretch(1);
    PageControl->addTab(tbsBulkfeeds, QStringLiteral("Bulkfeeds"));

    QDialogButtonBox* buttons = MakeOkCancelButtons();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addWidget(buttons);
    SetBulkfeedsHost(QStringLiteral("bulkfeeds.net"));
    FixSize();
}

void TFrmOption::SetBulkfeedsHost(const QString& host) {
    host_ = host;
    const QString url = RegistrationUrl();
    lblInfo2->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(url.toHtmlEscaped()));
}

QString TFrmOption::RegistrationUrl() const {
    return QStringLiteral("http://") + host_ + QStringLiteral("/app/register_api.html");
}

void TFrmOption::ShowBulkfeedsPage() { PageControl->setCurrentWidget(tbsBulkfeeds); }

void TFrmOption::lblInfo2Click() {
    const QString url = RegistrationUrl();
    if (!dialogs_.AsksThePerson()) {
        emit RegistrationLinkOpened(url);
        return;
    }
    QDesktopServices::openUrl(QUrl(url));
}

void TFrmOption::ShowSettings(const CorvaneSettings& settings) {
    ckbConfirmOnClose->setChecked(settings.confirmOnClose);
    ckbConfirmOnUpdateFromRss->setChecked(settings.confirmOnUpdateFromRss);
    ckbConfirmOnDelete->setChecked(settings.confirmOnDelete);
    edtApiKey->setText(QString::fromStdString(settings.apiKey));
}

void TFrmOption::TakeInto(CorvaneSettings& settings) const {
    settings.confirmOnClose = ckbConfirmOnClose->isChecked();
    settings.confirmOnUpdateFromRss = ckbConfirmOnUpdateFromRss->isChecked();
    settings.confirmOnDelete = ckbConfirmOnDelete->isChecked();
    settings.apiKey = edtApiKey->text().toStdString();
}
