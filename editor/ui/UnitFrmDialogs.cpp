#include "UnitFrmDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QString ExecFileDialog(QFileDialog& dialog) {
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace

QPoint ComputeDialogPosition(const QRect& mainWindow, const QSize& dialog, const QSize& workArea) {
    int left = mainWindow.left() + (mainWindow.width() - dialog.width()) / 2;
    int top = mainWindow.top() + (mainWindow.height() - dialog.height()) / 2;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (left + dialog.width() > workArea.width()) left = workArea.width() - dialog.width();
    if (top + dialog.height() > workArea.height()) top = workArea.height() - dialog.height();
    return {left, top};
}

void PlaceDialog(QDialog* dialog, const QWidget* mainWindow) {
    if (dialog == nullptr || mainWindow == nullptr) return;
    dialog->adjustSize();
    const QScreen* screen = mainWindow->screen() != nullptr ? mainWindow->screen() : QGuiApplication::primaryScreen();
    const QSize workArea = screen != nullptr ? screen->availableGeometry().size() : QSize(1024, 768);
    dialog->move(ComputeDialogPosition(mainWindow->frameGeometry(), dialog->frameGeometry().size(), workArea));
}

QStringList DialogHooks::TakeShownMessages() {
    QStringList shown;
    shown.swap(shown_);
    return shown;
}

// A name queued by a test answers the next file dialog; unanswered, the dialog is
// cancelled unless the person is asked. False when the real dialog is to be shown.
bool DialogHooks::AnswerFileDialog(QString& name) {
    if (!fileNames_.empty()) {
        name = fileNames_.front();
        fileNames_.pop_front();
        return true;
    }
    name.clear();
    return !AsksThePerson();
}

QMessageBox::StandardButton DialogHooks::ShowMessageBox(QWidget* owner, const QString& text,
                                                        QMessageBox::Icon icon,
                                                        QMessageBox::StandardButtons buttons) {
    shown_.push_back(text);
    if (!answers_.empty()) {
        const QMessageBox::StandardButton answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    QMessageBox box(icon, QStringLiteral("Corvane"), text, buttons, owner);
    if (buttons.testFlag(QMessageBox::Yes)) box.setDefaultButton(QMessageBox::Yes);
    if (!AsksThePerson()) {
        QAbstractButton* def = box.defaultButton();
        return def != nullptr ? box.standardButton(def) : QMessageBox::Ok;
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString DialogHooks::GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) {
    if (QString name; AnswerFileDialog(name)) return name;
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    return ExecFileDialog(dialog);
}

QString DialogHooks::GetSaveFileName(QWidget* owner, const QString& title, const QString& presetName,
                                     const QString& filter, const QString& defaultSuffix) {
    if (QString name; AnswerFileDialog(name)) return name;
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(presetName);
    // QFileDialog asks before overwriting an existing file by default.
    return ExecFileDialog(dialog);
}

int DialogHooks::ExecDialog(QDialog* dialog) {
    if (!dialogHandlers_.empty()) {
        std::function<int(QDialog*)> handler = std::move(dialogHandlers_.front());
        dialogHandlers_.pop_front();
        return handler(dialog);
    }
    if (!AsksThePerson()) return QDialog::Rejected;
    return dialog->exec();
}
