#include "UnitFrmDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

struct HookState {
    bool testMode = false;
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<QString> fileNames;
    std::deque<std::function<int(QDialog*)>> dialogHandlers;
    QStringList shown;
};

HookState& State() {
    static HookState state;
    return state;
}

// A name queued by a test answers the next file dialog; in test mode without one
// the dialog is cancelled. False when the real dialog is to be shown.
bool AnswerFileDialogFromHooks(QString& name) {
    HookState& s = State();
    if (!s.fileNames.empty()) {
        name = s.fileNames.front();
        s.fileNames.pop_front();
        return true;
    }
    name.clear();
    return s.testMode;
}

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

void DialogHooks::SetTestMode(bool on) { State().testMode = on; }
bool DialogHooks::TestMode() { return State().testMode; }
void DialogHooks::SetNextAnswer(QMessageBox::StandardButton answer) { State().answers.push_back(answer); }
void DialogHooks::SetNextFileName(const QString& path) { State().fileNames.push_back(path); }
void DialogHooks::SetNextDialogHandler(std::function<int(QDialog*)> handler) {
    State().dialogHandlers.push_back(std::move(handler));
}

QStringList DialogHooks::TakeShownMessages() {
    QStringList shown;
    shown.swap(State().shown);
    return shown;
}

void DialogHooks::Reset() {
    HookState& s = State();
    s.answers.clear();
    s.fileNames.clear();
    s.dialogHandlers.clear();
    s.shown.clear();
}

QMessageBox::StandardButton DialogHooks::ShowMessageBox(QWidget* owner, const QString& text,
                                                        QMessageBox::Icon icon,
                                                        QMessageBox::StandardButtons buttons) {
    HookState& s = State();
    s.shown.push_back(text);
    if (!s.answers.empty()) {
        const QMessageBox::StandardButton answer = s.answers.front();
        s.answers.pop_front();
        return answer;
    }
    QMessageBox box(icon, QStringLiteral("Corvane"), text, buttons, owner);
    if (buttons.testFlag(QMessageBox::Yes)) box.setDefaultButton(QMessageBox::Yes);
    if (s.testMode) {
        QAbstractButton* def = box.defaultButton();
        return def != nullptr ? box.standardButton(def) : QMessageBox::Ok;
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString DialogHooks::GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) {
    if (QString name; AnswerFileDialogFromHooks(name)) return name;
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    return ExecFileDialog(dialog);
}

QString DialogHooks::GetSaveFileName(QWidget* owner, const QString& title, const QString& presetName,
                                     const QString& filter, const QString& defaultSuffix) {
    if (QString name; AnswerFileDialogFromHooks(name)) return name;
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(presetName);
    // QFileDialog asks before overwriting an existing file by default.
    return ExecFileDialog(dialog);
}

int DialogHooks::ExecDialog(QDialog* dialog) {
    HookState& s = State();
    if (!s.dialogHandlers.empty()) {
        std::function<int(QDialog*)> handler = std::move(s.dialogHandlers.front());
        s.dialogHandlers.pop_front();
        return handler(dialog);
    }
    if (s.testMode) return QDialog::Rejected;
    return dialog->exec();
}
