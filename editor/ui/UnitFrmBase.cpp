#include "UnitFrmBase.h"

#include <QDialogButtonBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "UnitFrmDialogs.h"

TFrmBase::TFrmBase(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      mainWindow_(mainWindow) {
    setModal(true);
}

void TFrmBase::FixSize() {
    if (layout() != nullptr) layout()->setSizeConstraint(QLayout::SetFixedSize);
}

QDialogButtonBox* TFrmBase::MakeOkCancelButtons() {
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("BtnOk");
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("BtnCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return buttons;
}

void TFrmBase::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PlaceDialog(this, mainWindow_);
    if (focusBox_ != nullptr) {
        focusBox_->setFocus(Qt::OtherFocusReason);
        focusBox_->selectAll();
    }
}
