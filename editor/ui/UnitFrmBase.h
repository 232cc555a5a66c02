#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;

// Common ground of the editor's secondary windows: modal, fixed border, on
// top, placed over the main window every time they are shown, and the named
// box focused with its text selected.
class TFrmBase : public QDialog {
    Q_OBJECT
public:
    explicit TFrmBase(QWidget* mainWindow);

protected:
    void showEvent(QShowEvent* event) override;
    void SetFocusBox(QLineEdit* box) { focusBox_ = box; }
    // Called once the content is built: the size then stays fixed.
    void FixSize();
    // OK (the default, accepts) and キャンセル (rejects), named BtnOk and BtnCancel.
    QDialogButtonBox* MakeOkCancelButtons();

private:
    QWidget* mainWindow_;
    QLineEdit* focusBox_ = nullptr;
};
