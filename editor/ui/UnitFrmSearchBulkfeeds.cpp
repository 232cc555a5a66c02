#include "UnitFrmSearchBulkfeeds.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

TFrmSearchBulkfeeds::TFrmSearchBulkfeeds(QWidget* mainWindow) : TFrmBase(mainWindow) {
    setObjectName("FrmSearchBulkfeeds");
    EdtSearchString = new QLineEdit(this);
    EdtSearchString->setObjectName("EdtSearchString");
    EdtSearchString->setMinimumWidth(220);
    CbxSearchType = new QComboBox(this);
    CbxSearchType->setObjectName("CbxSearchType");
    CbxSearchType->setEditable(false);
    CbxSearchType->addItems({QStringLiteral("Title"), QStringLiteral("Description"), QStringLiteral("URL")});
    CbxSearchType->setCurrentIndex(0);
    BtnSearch = new QPushButton(QStringLiteral("検索"), this);
    BtnSearch->setObjectName("BtnSearch");
    BtnSearch->setDefault(true);
    connect(BtnSearch, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout(this);
    row->addWidget(EdtSearchString, 1);
    row->addWidget(CbxSearchType);
    row->addWidget(BtnSearch);
    SetFocusBox(EdtSearchString);
    FixSize();
}
