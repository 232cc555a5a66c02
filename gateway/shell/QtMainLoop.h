#pragma once

#include "MainLoop.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

class GatewayContext;
class MainObject;
class QApplication;

// The main loop with a display: a Qt event loop on the main thread, with the hidden
// main object, the tray icon and the message boxes. The shutdown rules are those of
// the headless loop: the exit command (tray menu, SIGINT, SIGTERM) stops the server
// and ends Run; PostClose ends Run from any thread.
class QtMainLoop : public MainLoop {
public:
    // A loop with its own QApplication, or null when there is no display (neither
    // DISPLAY nor WAYLAND_DISPLAY) or no windowing platform answers; the gateway then
    // runs headless. Call on the main thread, after BlockExitSignals.
    static std::unique_ptr<QtMainLoop> CreateIfDisplay(GatewayContext& context,
                                                       std::function<void()> exitCommand);

    // On the QApplication that already exists (tests). The context gets the loop's boxes
    // and gives the tray its refresh progress; it must outlive the loop.
    QtMainLoop(GatewayContext& context, std::function<void()> exitCommand);
    ~QtMainLoop() override;
    QtMainLoop(const QtMainLoop&) = delete;
    QtMainLoop& operator=(const QtMainLoop&) = delete;

    int Run() override;
    void PostClose() override;

    // Any thread: shows the tray icon (the server thread calls it once the settings
    // are read, unless they disable the icon).
    void AddTrayIcon();

    MainObject& Main() { return *main_; }

private:
    // The command line QApplication is made with; it keeps references to it for its
    // whole life.
    struct QtArguments {
        std::string platforms;
        std::string name = "Quillo";
        std::string platformOption = "-platform";
        int argc = 3;
        std::array<char*, 4> argv{};
    };

    QtMainLoop(std::unique_ptr<QtArguments> arguments, std::unique_ptr<QApplication> app,
               GatewayContext& context, std::function<void()> exitCommand);

    // Declared first, so they outlive every widget.
    std::unique_ptr<QtArguments> arguments_;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<MainObject> main_;
};
