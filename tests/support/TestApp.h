#pragma once

#include <QApplication>

// The one QApplication of a test binary, made on first use: on the offscreen platform
// unless QT_QPA_PLATFORM names another, and not quitting when its last window closes,
// so a test's window or box closing never ends another test's loop.
QApplication& TestApp();
