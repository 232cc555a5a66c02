#include "TestApp.h"

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "quillo_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* created = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}
