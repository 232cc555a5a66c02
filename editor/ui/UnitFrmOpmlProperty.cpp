#include "UnitFrmOpmlProperty.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPalette>
#include <QVBoxLayout>

TFrmOpmlProperty::TFrmOpmlProperty(QWidget* mainWindow) : TFrmBase(mainWindow) {
    setObjectName("FrmOpmlProperty");
    setWindowTitle(QStringLiteral("OPMLファイルのプロパティ"));
    auto makeBox = [this](const char* name) {
        auto* box = new QLineEdit(this);
        box->setObjectName(name);
        box->setMinimumWidth(300);
        return box;
    };
    EdtTitle = makeBox("EdtTitle");
    EdtOwnerName = makeBox("EdtOwnerName");
    EdtOwnerEmail = makeBox("EdtOwnerEmail");
    EdtDateCreated = makeBox("EdtDateCreated");
    EdtDateModified = makeBox("EdtDateModified");
    EdtXmlStylesheet = makeBox("EdtXmlStylesheet");
    // Dates come from the file and are never edited by hand.
    for (QLineEdit* date : {EdtDateCreated, EdtDateModified}) {
        date->setReadOnly(true);
        QPalette palette = date->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        date->setPalette(palette);
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("タイトル:"), EdtTitle);
    form->addRow(QStringLiteral("作成者の名前:"), EdtOwnerName);
    form->addRow(QStringLiteral("作成者のアドレス:"), EdtOwnerEmail);
    form->addRow(QStringLiteral("作成日時:"), EdtDateCreated);
    form->addRow(QStringLiteral("更新日時:"), EdtDateModified);
    form->addRow(QStringLiteral("XMLスタイルシート:"), EdtXmlStylesheet);

    QDialogButtonBox* buttons = MakeOkCancelButtons();

    // Escape closes the form (QDialog maps it to reject); named for tests.
    auto* closeForm = new QAction(this);
    closeForm->setObjectName("ActCloseForm");
    closeForm->setShortcut(Qt::Key_Escape);
    connect(closeForm, &QAction::triggered, this, &QDialog::reject);
    addAction(closeForm);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    SetFocusBox(EdtTitle);
    FixSize();
}

void TFrmOpmlProperty::ShowHead(const OpmlHead& head) {
    EdtTitle->setText(QString::fromStdString(head.title));
    EdtOwnerName->setText(QString::fromStdString(head.ownerName));
    EdtOwnerEmail->setText(QString::fromStdString(head.ownerEmail));
    EdtDateCreated->setText(QString::fromStdString(head.dateCreated));
    EdtDateModified->setText(QString::fromStdString(head.dateModified));
    EdtXmlStylesheet->setText(QString::fromStdString(head.stylesheetHref));
}

OpmlHead TFrmOpmlProperty::EditedHead() const {
    return {EdtTitle->text().toStdString(),        EdtOwnerName->text().toStdString(),
            EdtOwnerEmail->text().toStdString(),   EdtDateCreated->text().toStdString(),
            EdtDateModified->text().toStdString(), EdtXmlStylesheet->text().toStdString()};
}
