#include <QApplication>
#include <QStringList>

#include "UnitFrmMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QStringList files = QApplication::arguments();
    files.removeFirst();  // the program itself
    TFrmMain window(files);
    window.show();
    return QApplication::exec();
}
