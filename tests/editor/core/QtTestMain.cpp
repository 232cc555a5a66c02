// The tree of the OPML model is a QTreeWidget, which needs an application object.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Nothing here is shown; listing the tests must work without a display too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
