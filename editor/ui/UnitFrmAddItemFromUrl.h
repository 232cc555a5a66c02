#pragma once

#include "UnitFrmBase.h"

class QLineEdit;
class QPushButton;

// Asks for the address of a web page whose feed becomes a new item.
class TFrmAddItemFromUrl : public TFrmBase {
    Q_OBJECT
public:
    explicit TFrmAddItemFromUrl(QWidget* mainWindow);
    QLineEdit* EdtUrl;
    QPushButton* BtnAdd;
};
