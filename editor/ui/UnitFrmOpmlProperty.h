#pragma once

#include "OpmlDocument.h"
#include "UnitFrmBase.h"

class QLineEdit;

// The document head: title, owner, dates and style sheet of the OPML file.
// The boxes show a copy of the document's head; the two dates are shown as read.
class TFrmOpmlProperty : public TFrmBase {
    Q_OBJECT
public:
    explicit TFrmOpmlProperty(QWidget* mainWindow);

    void ShowHead(const OpmlHead& head);
    // The head as the boxes now hold it.
    OpmlHead EditedHead() const;

    QLineEdit* EdtTitle;
    QLineEdit* EdtOwnerName;
    QLineEdit* EdtOwnerEmail;
    QLineEdit* EdtDateCreated;
    QLineEdit* EdtDateModified;
    QLineEdit* EdtXmlStylesheet;
};
