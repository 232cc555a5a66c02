#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <functional>

#include "GatewayContext.h"
#include "LoopbackPort.h"
#include "TempDir.h"
#include "TestApp.h"

// A gateway context whose files are in a temporary directory of its own, for the
// main objects of tests that touch no files.
struct TestGateway {
    TempDir dir{"quillo-tray"};
    GatewayContext context{PortableAppLayout(dir.Path())};
};

// Calls `answer` with the next modal box once it is open; the box is still running
// its own loop then, so `answer` must close it.
inline void WhenModalBoxOpens(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer(&TestApp());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        answer(box);
    });
    timer->start();
}

// Runs the event loop until `done` holds or `timeoutMs` has passed.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (done()) return true;
        usleep(5000);
    }
    return done();
}

// An exit of the application outside its loop makes every later box return at once;
// a short run of the loop clears that for the next test.
inline void ForgetApplicationExit() {
    QTimer::singleShot(0, [] { QApplication::exit(0); });
    QApplication::exec();
}
