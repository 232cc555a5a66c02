#pragma once

// The main thread's loop: what the hidden window's message loop is on the desktop.
// The tray shell puts a Qt event loop behind the same two calls.
class MainLoop {
public:
    virtual ~MainLoop() = default;
    // Runs until closed; returns the exit code (0 in every normal exit).
    virtual int Run() = 0;
    // Ends Run from any thread, like WM_CLOSE sent to the hidden window.
    virtual void PostClose() = 0;
};
