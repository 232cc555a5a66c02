// What the files of TFrmMain share: the message box styles, string conversions,
// the box colouring and the window's actions.
#pragma once

#include <QString>

#include <string>

#include "UnitFrmMain.h"

class QLineEdit;

namespace frmmain {

// Message box styles of the editor.
enum BoxStyle { kErrorOk, kQuestionYesNo, kWarningYesNoCancel, kInformationOk };

const char* const kNewItemText = "新規アイテム";

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

// An enabled box has window colours, a disabled one menu colours.
void SetBoxEnabled(QLineEdit* box, bool enabled);

}  // namespace frmmain

struct TFrmMain::Actions {
    QAction* OpenOpmlFile;
    QAction* OpenOpmlFileFromUrl;
    QAction* OpenBulkfeedsSearchResult;
    QAction* AddOpmlFile;
    QAction* AddOpmlFileFromUrl;
    QAction* AddBulkfeedsSearchResult;
    QAction* SaveOpmlFile;
    QAction* SaveAsOpmlFile;
    QAction* ExitLwr;
    QAction* OpmlProperty;
    QAction* AddItem;
    QAction* AddItemFromUrl;
    QAction* AddFolder;
    QAction* UpdateFromRss;
    QAction* CheckStatus;
    QAction* Delete;
    QAction* CallOptionDlg;
    QAction* CallAboutDlg;
    QAction* ItemUp;
    QAction* ItemDown;
};
