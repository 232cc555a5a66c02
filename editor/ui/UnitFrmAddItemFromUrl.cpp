#include "UnitFrmAddItemFromUrl.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

TFrmAddItemFromUrl::TFrmAddItemFromUrl(QWidget* mainWindow) : TFrmBase(mainWindow) {
    setObjectName("FrmAddItemFromUrl");
    setWindowTitle(QStringLiteral("URLから項目を追加..."));
    EdtUrl = new QLineEdit(QStringLiteral("http://"), this);
    EdtUrl->setObjectName("EdtUrl");
    EdtUrl->setMinimumWidth(320);
    BtnAdd = new QPushButton(QStringLiteral("追加"), this);
    BtnAdd->setObjectName("BtnAdd");
    BtnAdd->setDefault(true);
    connect(BtnAdd, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout(this);
    row->addWidget(EdtUrl, 1);
    row->addWidget(BtnAdd);
    SetFocusBox(EdtUrl);
    FixSize();
}
