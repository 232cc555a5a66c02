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

std::unique_ptr<QtMainLoop> QtMainLoop::CreateIfDisplay(GatewayContext& context,
                                                        std::function<void()> exitCommand) {
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) return nullptr;
    // The platforms to try, in order: the user's choice, or Wayland and X11. A display
    // that does not answer falls through to offscreen, which means headless: boxes
    // nobody can see must not stop the server thread, and Qt must not abort the
    // program for want of a display. Only an explicit choice of offscreen keeps it.
    auto arguments = std::make_unique<QtArguments>();
    std::string& platforms = arguments->platforms;
    platforms = Set("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM")
                : Set("WAYLAND_DISPLAY") ? "wayland;xcb"
                                         : "xcb";
    const bool offscreenChosen = platforms.find("offscreen") != std::string::npos;
    if (!offscreenChosen) platforms += ";offscreen";
    arguments->argv = {arguments->name.data(), arguments->platformOption.data(), platforms.data(),
                       nullptr};
    auto app = std::make_unique<QApplication>(arguments->argc, arguments->argv.data());
    if (!offscreenChosen && QGuiApplication::platformName() == QLatin1String("offscreen"))
        return nullptr;
    return std::unique_ptr<QtMainLoop>(
        new QtMainLoop(std::move(arguments), std::move(app), context, std::move(exitCommand)));
}

QtMainLoop::QtMainLoop(GatewayContext& context, std::function<void()> exitCommand)
    : QtMainLoop(nullptr, nullptr, context, std::move(exitCommand)) {}

QtMainLoop::QtMainLoop(std::unique_ptr<QtArguments> arguments, std::unique_ptr<QApplication> app,
                       GatewayContext& context, std::function<void()> exitCommand)
    : arguments_(std::move(arguments)), app_(std::move(app)) {
    QApplication::setApplicationName(QStringLiteral("Quillo"));
    QApplication::setWindowIcon(QuilloIcon());
    // The about box and message boxes are the only windows; closing them must not end
    // the program.
    QApplication::setQuitOnLastWindowClosed(false);
    main_ = std::make_unique<MainObject>(context, std::move(exitCommand));
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
