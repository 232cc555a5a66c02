#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class QDialog;
class QWidget;

// Where a dialog goes each time it is shown: centred on the main window,
// pulled back onto the work area when it would stick out to the left, the top,
// the right or the bottom. Divisions truncate toward zero.
QPoint ComputeDialogPosition(const QRect& mainWindow, const QSize& dialog, const QSize& workArea);

// Moves the dialog to ComputeDialogPosition for the main window's frame and
// the work area of the screen the main window is on.
void PlaceDialog(QDialog* dialog, const QWidget* mainWindow);

// Every modal box and file dialog of the editor goes through here, so tests
// can answer them without a person at the screen.
class DialogHooks {
public:
    // Tests switch this on; then an unanswered box returns its default button
    // and an unanswered file dialog counts as cancelled, instead of waiting.
    static void SetTestMode(bool on);
    static bool TestMode();

    static void SetNextAnswer(QMessageBox::StandardButton answer);
    static void SetNextFileName(const QString& path);  // empty: cancel
    // Runs instead of exec() for the next modal form; returns its result code.
    static void SetNextDialogHandler(std::function<int(QDialog*)> handler);

    // Texts of the boxes shown since the last call, oldest first.
    static QStringList TakeShownMessages();
    static void Reset();

    static QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                                      QMessageBox::Icon icon,
                                                      QMessageBox::StandardButtons buttons);
    // Returns an empty string when cancelled.
    static QString GetOpenFileName(QWidget* owner, const QString& title, const QString& filter);
    static QString GetSaveFileName(QWidget* owner, const QString& title, const QString& presetName,
                                   const QString& filter, const QString& defaultSuffix);
    static int ExecDialog(QDialog* dialog);
};
