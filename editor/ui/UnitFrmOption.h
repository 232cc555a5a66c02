#pragma once

#include "CorvaneSettings.h"
#include "UnitFrmBase.h"

class DialogHooks;
class QCheckBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QWidget;

// The options: three confirmation switches and the Bulkfeeds API key. The
// dialog keeps the page last shown between uses.
class TFrmOption : public TFrmBase {
    Q_OBJECT
public:
    // dialogs: the main window's; with nobody to ask, the registration link opens no browser.
    TFrmOption(QWidget* mainWindow, const DialogHooks& dialogs);

    // The registration link points at this host.
    void SetBulkfeedsHost(const QString& host);
    QString RegistrationUrl() const;
    void ShowBulkfeedsPage();
    // The boxes show the switches and key of settings; TakeInto writes them back.
    void ShowSettings(const CorvaneSettings& settings);
    void TakeInto(CorvaneSettings& settings) const;

    QTabWidget* PageControl;
    QWidget* tbsConfirm;
    QWidget* tbsBulkfeeds;
    QCheckBox* ckbConfirmOnClose;
    QCheckBox* ckbConfirmOnUpdateFromRss;
    QCheckBox* ckbConfirmOnDelete;
    QLineEdit* edtApiKey;
    QLabel* lblInfo2;

signals:
    // Emitted instead of opening the browser when the dialogs ask nobody.
    void RegistrationLinkOpened(const QString& url);

private:
    void lblInfo2Click();
    QString host_;
    const DialogHooks& dialogs_;
};
