#include "QtMainLoop.h"

#include "MainObject.h"
#include "TrayIcon.h"

#include <QApplication>

#include <cstdlib>
#include <string>

namespace {
bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}
}  // namespace

std::unique_ptr<QtMainLoop> QtMainLoop::CreateIfDisplay(std::function<void()> exitCommand) {
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) return nullptr;
    // The platforms to try, in order: the user's choice, or Wayland and X11. A display
    // that does not answer falls through to offscreen, which means headless: boxes
    // nobody can see must not stop the server thread, and Qt must not abort the
    // program for want of a display. Only an explicit choice of offscreen keeps it.
    static std::string platforms;
    platforms = Set("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM")
                : Set("WAYLAND_DISPLAY") ? "wayland;xcb"
                                         : "xcb";
    const bool offscreenChosen = platforms.find("offscreen") != std::string::npos;
    if (!offscreenChosen) platforms += ";offscreen";
    // QApplication keeps references to these for its whole life.
    static int argc = 3;
    static char name[] = "Quillo";
    static char platformOption[] = "-platform";
    static char* argv[] = {name, platformOption, platforms.data(), nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    if (!offscreenChosen && QGuiApplication::platformName() == QLatin1String("offscreen"))
        return nullptr;
    return std::unique_ptr<QtMainLoop>(new QtMainLoop(std::move(app), std::move(exitCommand)));
}

QtMainLoop::QtMainLoop(std::function<void()> exitCommand)
    : QtMainLoop(nullptr, std::move(exitCommand)) {}

QtMainLoop::QtMainLoop(std::unique_ptr<QApplication> app, std::function<void()> exitCommand)
    : app_(std::move(app)) {
    QApplication::setApplicationName(QStringLiteral("Quillo"));
    QApplication::setWindowIcon(QuilloIcon());
    // The about box and message boxes are the only windows; closing them must not end
    // the program.
    QApplication::setQuitOnLastWindowClosed(false);
    main_ = std::make_unique<MainObject>(std::move(exitCommand));
}

QtMainLoop::~QtMainLoop() = default;

int QtMainLoop::Run() {
    if (main_->IsClosed()) return 0;
    const int code = QApplication::exec();
    // A close that came from outside the main object (a session manager ending the
    // application) still takes the icon away.
    main_->Close();
    return code;
}

void QtMainLoop::PostClose() { main_->PostClose(); }

void QtMainLoop::AddTrayIcon() { main_->PostAddTrayIcon(); }
