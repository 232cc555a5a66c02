#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

// One QApplication for the whole test binary, on the offscreen platform.
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "test_tray";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* created = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}

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

// A loopback port nobody listens on right now.
inline int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A temporary application directory, removed again at the end.
class TempAppDirectory {
public:
    TempAppDirectory() {
        char pattern[] = "/tmp/quillo-tray-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempAppDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempAppDirectory(const TempAppDirectory&) = delete;
    TempAppDirectory& operator=(const TempAppDirectory&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
};
