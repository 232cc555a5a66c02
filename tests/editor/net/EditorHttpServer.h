#pragma once

#include <QProcess>
#include <QString>

// The loopback server of tests/support, started for one test suite.
class EditorHttpServer {
public:
    EditorHttpServer() {
        process_.setProgram(QStringLiteral("python3"));
        process_.setArguments({QStringLiteral(QUILLO_TEST_SUPPORT "/editor_http_server.py"),
                               QStringLiteral("--data"), QStringLiteral(QUILLO_TEST_DATA)});
        process_.start();
        if (!process_.waitForStarted(10000)) return;
        while (process_.waitForReadyRead(10000)) {
            const QByteArray line = process_.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                port_ = line.mid(5).toInt();
                break;
            }
        }
    }
    ~EditorHttpServer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    int Port() const { return port_; }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

private:
    QProcess process_;
    int port_ = 0;
};
