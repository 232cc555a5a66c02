#include "UnitFrmAppointOpmlUrl.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

TFrmAppointOpmlUrl::TFrmAppointOpmlUrl(QWidget* mainWindow) : TFrmBase(mainWindow) {
    setObjectName("FrmAppointOpmlUrl");
    EdtOpmlUrl = new QLineEdit(QStringLiteral("http://"), this);
    EdtOpmlUrl->setObjectName("EdtOpmlUrl");
    EdtOpmlUrl->setMinimumWidth(320);
    BtnOpen = new QPushButton(QStringLiteral("開く"), this);
    BtnOpen->setObjectName("BtnOpen");
    BtnOpen->setDefault(true);
    connect(BtnOpen, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout(this);
    row->addWidget(EdtOpmlUrl, 1);
    row->addWidget(BtnOpen);
    SetFocusBox(EdtOpmlUrl);
    FixSize();
}
