#pragma once

#include <QProcess>
#include <QString>

// editor_http_server.py on a loopback port, serving the tests' data folder; started for
// one test suite, stopped with the object.
class EditorHttpServer {
public:
    EditorHttpServer();
    ~EditorHttpServer();
    EditorHttpServer(const EditorHttpServer&) = delete;
    EditorHttpServer& operator=(const EditorHttpServer&) = delete;

    int Port() const { return port_; }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

private:
    QProcess process_;
    int port_ = 0;
};
