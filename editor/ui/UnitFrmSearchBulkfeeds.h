#pragma once

#include "UnitFrmBase.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// Asks for a search text and the field it is looked for in; the caller sets
// the caption.
class TFrmSearchBulkfeeds : public TFrmBase {
    Q_OBJECT
public:
    explicit TFrmSearchBulkfeeds(QWidget* mainWindow);
    QLineEdit* EdtSearchString;
    QComboBox* CbxSearchType;
    QPushButton* BtnSearch;
};
