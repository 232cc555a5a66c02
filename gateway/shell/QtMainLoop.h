#pragma once

#include "MainLoop.h"

#include <functional>
#include <memory>

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
    static std::unique_ptr<QtMainLoop> CreateIfDisplay(std::function<void()> exitCommand);

    // On the QApplication that already exists (tests).
    explicit QtMainLoop(std::function<void()> exitCommand);
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
    QtMainLoop(std::unique_ptr<QApplication> app, std::function<void()> exitCommand);

    // Declared first, so it outlives every widget.
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<MainObject> main_;
};
