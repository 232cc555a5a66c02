#pragma once

#include "UnitFrmBase.h"

class QLineEdit;
class QPushButton;

// Asks for the address of an OPML document; the caller sets the caption.
class TFrmAppointOpmlUrl : public TFrmBase {
    Q_OBJECT
public:
    explicit TFrmAppointOpmlUrl(QWidget* mainWindow);
    QLineEdit* EdtOpmlUrl;
    QPushButton* BtnOpen;
};
