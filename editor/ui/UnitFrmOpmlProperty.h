#pragma once

#include "UnitFrmBase.h"

class QLineEdit;

// The document head: title, owner, dates and style sheet of the OPML file.
// Its boxes are the head the writer saves; the two dates are shown as read.
class TFrmOpmlProperty : public TFrmBase {
    Q_OBJECT
public:
    explicit TFrmOpmlProperty(QWidget* mainWindow);

    QLineEdit* EdtTitle;
    QLineEdit* EdtOwnerName;
    QLineEdit* EdtOwnerEmail;
    QLineEdit* EdtDateCreated;
    QLineEdit* EdtDateModified;
    QLineEdit* EdtXmlStylesheet;
};
