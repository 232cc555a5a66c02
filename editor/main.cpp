#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane");
    QMessageBox::information(nullptr, "Corvane", "Corvane is not built yet.");
    return 0;
}
