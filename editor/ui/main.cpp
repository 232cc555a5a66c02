#include <QApplication>
#include <QStringList>

#include "CorvaneSettings.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QStringList files = QApplication::arguments();
    files.removeFirst();  // the program itself
    const CorvanePaths paths = ResolveCorvanePaths();
    // Installed and started from the menu: Quillo's own feed list.
    if (files.isEmpty() && !paths.defaultFeedList.empty())
        files << QString::fromStdString(paths.defaultFeedList);
    DialogHooks dialogs;
    TFrmMain window(paths.settingsFile, dialogs, files);
    window.show();
    return QApplication::exec();
}
