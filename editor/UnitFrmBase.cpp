#include "UnitFrmBase.h"

#include <QLayout>
#include <QLineEdit>
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

void TFrmBase::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PlaceDialog(this, mainWindow_);
    if (focusBox_ != nullptr) {
        focusBox_->setFocus(Qt::OtherFocusReason);
        focusBox_->selectAll();
    }
}
