#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <utility>

class QDialog;
class QWidget;

// Where a dialog goes each time it is shown: centred on the main window,
// pulled back onto the work area when it would stick out to the left, the top,
// the right or the bottom. Divisions truncate toward zero.
QPoint ComputeDialogPosition(const QRect& mainWindow, const QSize& dialog, const QSize& workArea);

// Moves the dialog to ComputeDialogPosition for the main window's frame and
// the work area of the screen the main window is on.
void PlaceDialog(QDialog* dialog, const QWidget* mainWindow);

// Every modal box, file dialog and form of a window goes through its DialogHooks,
// so tests can answer them without a person at the screen.
class DialogHooks {
public:
    // What a box, file dialog or form nobody answered does: ask the person, or (in
    // tests) return its default button, count as cancelled, be rejected, and open no
    // browser.
    enum class Unanswered { Ask, TakeDefault };
    explicit DialogHooks(Unanswered unanswered = Unanswered::Ask) : unanswered_(unanswered) {}
    DialogHooks(const DialogHooks&) = delete;
    DialogHooks& operator=(const DialogHooks&) = delete;

    bool AsksThePerson() const { return unanswered_ == Unanswered::Ask; }

    void SetNextAnswer(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
    void SetNextFileName(const QString& path) { fileNames_.push_back(path); }  // empty: cancel
    // Runs instead of exec() for the next modal form; returns its result code.
    void SetNextDialogHandler(std::function<int(QDialog*)> handler) {
        dialogHandlers_.push_back(std::move(handler));
    }

    // Texts of the boxes shown since the last call, oldest first.
    QStringList TakeShownMessages();

    QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                               QMessageBox::Icon icon,
                                               QMessageBox::StandardButtons buttons);
    // Returns an empty string when cancelled.
    QString GetOpenFileName(QWidget* owner, const QString& title, const QString& filter);
    QString GetSaveFileName(QWidget* owner, const QString& title, const QString& presetName,
                            const QString& filter, const QString& defaultSuffix);
    int ExecDialog(QDialog* dialog);

private:
    bool AnswerFileDialog(QString& name);

    Unanswered unanswered_;
    std::deque<QMessageBox::StandardButton> answers_;
    std::deque<QString> fileNames_;
    std::deque<std::function<int(QDialog*)>> dialogHandlers_;
    QStringList shown_;
};
